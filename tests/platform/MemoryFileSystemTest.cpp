// The in-memory file system is what most core tests stand on; these cases keep its own teardown sound.
#include "platform/fakes/MemoryFileSystem.h"

#include <gtest/gtest.h>

#include <string>

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

}  // namespace
}  // namespace vask
