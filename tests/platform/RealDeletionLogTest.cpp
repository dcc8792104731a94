// The deletion log on a real, full tmpfs: a record cut short by the full disk must not swallow the next
// record's header. Needs root to mount; skipped otherwise.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include "disposal/DeletionLog.h"
#include "platform/linux/PosixFileSystem.h"
#include "platform/linux/SystemClock.h"
#include "tests/platform/FileHelpers.h"
#include "tests/platform/TempTree.h"

namespace vask {
namespace {

using vask::testing::Read;

// Undoes the test's mount and change of folder, whatever happened.
struct Restore {
    std::string mountPoint;
    std::string folder;
    ~Restore() {
        if (!folder.empty() && ::chdir(folder.c_str()) != 0) ADD_FAILURE() << "chdir back";
        if (!mountPoint.empty()) ::umount2(mountPoint.c_str(), MNT_DETACH);
    }
};

TEST(RealDeletionLog, ARecordCutByAFullDiskLeavesTheNextOnALineOfItsOwn) {
    if (::geteuid() != 0) GTEST_SKIP() << "mounting needs root";
    testing::TempTree tree;
    ASSERT_TRUE(tree.Folder("cwd"));
    const std::string cwd = tree.Path("cwd");
    if (::mount("tmpfs", cwd.c_str(), "tmpfs", 0, "size=64k") != 0) {
        GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
    }
    Restore restore{cwd, ""};
    char previous[4096];
    ASSERT_NE(::getcwd(previous, sizeof previous), nullptr);
    restore.folder = previous;
    ASSERT_EQ(::chdir(cwd.c_str()), 0);

    // Half a page of earlier records, then everything else taken by another file: the next record fills the
    // log's page and is cut in the middle of a line.
    ASSERT_TRUE(tree.File("cwd/Vask.Log", std::string(2000, 'x') + "\r\n"));
    const int filler = ::open((cwd + "/filler").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(filler, 0);
    const std::string block(4096, 'f');
    while (::write(filler, block.data(), block.size()) > 0) {
    }
    ::close(filler);

    PosixFileSystem fs;
    SystemClock clock;
    SearchState state;
    state.timeSearch = 1141176030;
    for (int i = 0; i < 100; ++i)
        state.results.Append("/data/a-file-name-of-some-length-" + std::to_string(1000 + i) + ".bak", 1, {});
    EXPECT_EQ(WriteDeletionLog(fs, clock, state, false, false).code(), ENOSPC);
    const std::string cut = Read(cwd + "/Vask.Log");
    ASSERT_EQ(cut.size(), 4096u);
    ASSERT_NE(cut.substr(cut.size() - 2), "\r\n");  // cut inside a line

    ::unlink((cwd + "/filler").c_str());
    state.results.Clear();
    state.results.Append("/data/after.bak", 1, {});
    EXPECT_TRUE(WriteDeletionLog(fs, clock, state, false, true).ok());
    const std::string log = Read(cwd + "/Vask.Log");
    EXPECT_EQ(log.substr(0, 4096), cut);
    const std::string rest = log.substr(4096);
    EXPECT_EQ(rest.substr(0, 9), "\r\n---<<< ") << rest;
    EXPECT_NE(rest.find(">>>------<Silent>------\r\n/data/after.bak\r\n<1file(s), 1Byte>\r\n"),
              std::string::npos)
        << rest;
}

}  // namespace
}  // namespace vask
