// The in-memory file system is what most core tests stand on; these cases keep its own teardown sound.
#include "platform/fakes/MemoryFileSystem.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <string>
#include <vector>

namespace vask {
namespace {

constexpr int kDeep = 100000;  // far past what a recursive teardown survives on an 8 MiB stack

std::string DeepPath(const std::string& top, int depth) {
    std::string path = top;
    for (int i = 0; i < depth; ++i)
        path += "/d";
    return path;
}

TEST(MemoryFileSystem, ADeepSubtreeGoesWithoutRecursionAndAHeldNodeKeepsItsOwn) {
    MemoryFileSystem fs;
    fs.AddFile(DeepPath("/v", kDeep) + "/bottom.bak", 3);
    // Held like an open folder handle: removing /v must not free what lies below it.
    auto middle = fs.Find(DeepPath("/v", kDeep / 2));
    ASSERT_TRUE(middle);
    std::weak_ptr<MemoryFileSystem::Node> top = fs.Find("/v");

    ASSERT_TRUE(fs.Remove("/v"));
    EXPECT_TRUE(top.expired());
    EXPECT_FALSE(fs.Find("/v"));
    auto node = middle;
    for (int i = kDeep / 2; i < kDeep; ++i) {
        auto it = node->children.find("d");
        ASSERT_NE(it, node->children.end()) << "depth " << i;
        node = it->second;
    }
    ASSERT_EQ(node->children.count("bottom.bak"), 1u);
    EXPECT_EQ(node->children["bottom.bak"]->size, 3u);
    std::weak_ptr<MemoryFileSystem::Node> bottom = node->children["bottom.bak"];
    node.reset();
    middle.reset();
    EXPECT_TRUE(bottom.expired());
}

TEST(MemoryFileSystem, DeepAndSelfContainingTreesAreMarkedAndFreed) {
    std::weak_ptr<MemoryFileSystem::Node> deepFile;
    std::weak_ptr<MemoryFileSystem::Node> loop;
    {
        MemoryFileSystem fs;
        deepFile = fs.AddFile(DeepPath("/v", kDeep) + "/x.bak");
        auto folder = fs.AddFolder("/w/loop");
        folder->children["again"] = folder;  // a bind mount of the folder inside itself
        loop = folder;
        folder.reset();

        fs.SetDevice("/v", 7);
        fs.SetDevice("/w", 8);
        EXPECT_EQ(deepFile.lock()->device, 7u);
        EXPECT_EQ(fs.Find("/w/loop/again/again")->device, 8u);
        EXPECT_EQ(fs.Find("/")->device, 1u);
    }
    EXPECT_TRUE(deepFile.expired());
    EXPECT_TRUE(loop.expired());
}

// Handles reached one subfolder at a time spell the same paths as handles opened by path: in Path(), in
// what a hook is shown, in failures on a path, and after OpenParent; and a handle kDeep levels down, whose
// folders above were all closed, still spells its whole path and goes cleanly.
TEST(MemoryFileSystem, HandlesReachedStepByStepSeeTheirFullPaths) {
    struct Case {
        FsOperation op;
        const char* failingPath;  // what the hook is shown and FailOnPath matches
        std::function<Status(Directory&)> call;
    };
    const Case cases[] = {
        {FsOperation::ReadEntries, "/v/a/b/", [](Directory& d) { return d.ReadEntries().status(); }},
        {FsOperation::StatSelf, "/v/a/b/", [](Directory& d) { return d.StatSelf().status(); }},
        {FsOperation::StatEntry, "/v/a/b/f.bak", [](Directory& d) { return d.StatEntry("f.bak").status(); }},
        {FsOperation::OpenSubfolder, "/v/a/b/c/", [](Directory& d) { return d.OpenSubfolder("c").status(); }},
        {FsOperation::OpenParent, "/v/a/b/", [](Directory& d) { return d.OpenParent().status(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.failingPath);
        MemoryFileSystem fs;
        fs.AddFile("/v/a/b/c/f.bak");
        fs.AddFile("/v/a/b/f.bak");
        auto top = fs.OpenFolder("/v");
        ASSERT_TRUE(top);
        auto a = top.value()->OpenSubfolder("a");
        ASSERT_TRUE(a);
        auto b = a.value()->OpenSubfolder("b");
        ASSERT_TRUE(b);
        EXPECT_EQ(b.value()->Path(), "/v/a/b/");
        auto up = b.value()->OpenParent();
        ASSERT_TRUE(up);
        EXPECT_EQ(up.value()->Path(), "/v/a/");
        std::vector<std::string> seen;
        fs.SetHook([&](FsOperation op, const std::string& path) {
            if (op == c.op) seen.push_back(path);
        });
        EXPECT_TRUE(c.call(*b.value()));
        fs.FailOnPath(c.op, c.failingPath, EIO);
        const Status failed = c.call(*b.value());
        EXPECT_EQ(failed.code(), EIO);
        EXPECT_EQ(seen, (std::vector<std::string>{c.failingPath, c.failingPath}));
    }

    MemoryFileSystem fs;
    fs.AddFolder(DeepPath("/v", kDeep));
    auto opened = fs.OpenFolder("/v");
    ASSERT_TRUE(opened);
    std::unique_ptr<Directory> handle = std::move(opened.value());
    for (int depth = 0; depth < kDeep; ++depth) {
        auto sub = handle->OpenSubfolder("d");
        ASSERT_TRUE(sub);
        handle = std::move(sub.value());  // the folder above closes; its path lives on in the link
    }
    EXPECT_EQ(handle->Path().size(), DeepPath("/v", kDeep).size() + 1);
    handle.reset();
}

}  // namespace
}  // namespace vask
