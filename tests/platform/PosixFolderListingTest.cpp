// The adapter's calls for the walk: a folder listed into one buffer, and the test of its files, with
// io_uring and on the plain path.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <map>

#include "platform/linux/KernelBatch.h"
#include "platform/linux/PosixFileSystem.h"
#include "tests/platform/TempTree.h"

namespace vask {
namespace {

using vask::testing::TempTree;

class BatchingSwitch {
  public:
    explicit BatchingSwitch(bool on) { SetKernelBatching(on); }
    ~BatchingSwitch() { SetKernelBatching(true); }
};

TEST(PosixFolderListing, ABigFolderListsLikeReadEntries) {
    TempTree tree;
    // Long names: far more than one getdents64 buffer, so the listing grows and keeps earlier names.
    for (int i = 0; i < 3000; ++i)
        ASSERT_TRUE(tree.File(std::string(200, 'n') + std::to_string(i)));
    ASSERT_TRUE(tree.Folder("sub"));
    ASSERT_TRUE(tree.Symlink("sub", "link"));
    PosixFileSystem fs;
    auto folder = fs.OpenFolder(tree.Root());
    ASSERT_TRUE(folder);
    auto entries = folder.value()->ReadEntries();
    ASSERT_TRUE(entries);
    FolderListing listing;
    for (int round = 0; round < 2; ++round) {  // a second listing of the same folder starts afresh
        ASSERT_TRUE(folder.value()->ReadListing(listing));
        ASSERT_EQ(listing.Size(), entries.value().size());
        ASSERT_EQ(listing.Size(), 3002u);
        for (std::size_t i = 0; i < listing.Size(); ++i) {
            ASSERT_EQ(listing.Name(i), entries.value()[i].name);
            ASSERT_EQ(listing[i].kind, entries.value()[i].kind);
            ASSERT_EQ(std::string(listing.CName(i)), entries.value()[i].name);
        }
    }
}

TEST(PosixFolderListing, CheckFilesAgreesWithLstatOnBothPaths) {
    TempTree tree;
    ASSERT_TRUE(tree.File("plain", "12345"));
    ASSERT_TRUE(tree.File("readonly", "1", 0444));
    ASSERT_TRUE(tree.Folder("dir"));
    ASSERT_TRUE(tree.Symlink("plain", "link"));
    ASSERT_EQ(::mkfifo(tree.Path("fifo").c_str(), 0666), 0);
    for (int i = 0; i < 150; ++i)  // more than one submission's worth
        ASSERT_TRUE(tree.File("f" + std::to_string(i), std::string(static_cast<std::size_t>(i), 'x')));
    std::vector<std::string> names{"plain", "readonly", "dir", "link", "fifo", "missing"};
    for (int i = 0; i < 150; ++i)
        names.push_back("f" + std::to_string(i));

    const bool root = ::geteuid() == 0;
    for (const bool batched : {true, false}) {
        SCOPED_TRACE(batched ? "io_uring" : "plain");
        BatchingSwitch batching(batched);
        PosixFileSystem fs;
        auto folder = fs.OpenFolder(tree.Root());
        ASSERT_TRUE(folder);
        std::vector<FileCheck> checks(names.size());
        for (std::size_t i = 0; i < names.size(); ++i)
            checks[i].name = names[i].c_str();
        folder.value()->CheckFiles(checks);
        for (std::size_t i = 0; i < names.size(); ++i) {
            SCOPED_TRACE(names[i]);
            struct stat st;
            if (::lstat(tree.Path(names[i]).c_str(), &st) != 0) {
                EXPECT_EQ(checks[i].error, ENOENT);
                EXPECT_FALSE(checks[i].writable);
                continue;
            }
            ASSERT_EQ(checks[i].error, 0);
            EXPECT_EQ(checks[i].status.device, st.st_dev);
            EXPECT_EQ(checks[i].status.inode, st.st_ino);
            EXPECT_EQ(checks[i].status.size, static_cast<std::uint64_t>(st.st_size));
            EXPECT_EQ(checks[i].status.mtimeSeconds, st.st_mtim.tv_sec);
            EXPECT_EQ(checks[i].status.mtimeNanoseconds, st.st_mtim.tv_nsec);
            EXPECT_EQ(checks[i].status.mode, st.st_mode & 07777);
            // Only regular files are ever writable; a read-only one only for the superuser.
            const bool expected = S_ISREG(st.st_mode) && (root || names[i] != "readonly");
            EXPECT_EQ(checks[i].writable, expected);
        }
    }
}

}  // namespace
}  // namespace vask
