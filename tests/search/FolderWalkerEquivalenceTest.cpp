// The walker, with and without its read-ahead thread and with any open-folder budget, finds exactly what the
// plain one-call-at-a-time walk finds: the same files, in the same order, with the same sizes and identities.
#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <thread>

#include "platform/fakes/FakeClock.h"
#include "platform/fakes/MemoryFileSystem.h"
#include "search/FolderWalker.h"
#include "tests/support/ReferenceWalker.h"

namespace vask {
namespace {

class NullHost : public WalkerHost {
  public:
    void PumpMessages() override {}
    void ShowStatusText(const std::string&) override {}
};

// A tree of every kind of thing the walk decides about, the same for a given seed.
void BuildRandomTree(MemoryFileSystem& fs, unsigned seed) {
    std::mt19937 random(seed);
    const auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    const char* stems[] = {"a", "B", "old", "Z9", "\xe6\x97\xa7", "x y", ".h", "report", "\xff"};
    const char* extensions[] = {".bak", ".BAK", ".tmp", ".txt", "", ".b", ".bak.vask-Ab3dE9z0"};
    std::vector<std::string> folders{"/v/"};
    for (int i = 0; i < 60; ++i) {
        const std::string parent = folders[pick(static_cast<int>(folders.size()))];
        const std::string folder = parent + stems[pick(9)] + std::to_string(i) + "/";
        const int kind = pick(12);
        auto node = fs.AddFolder(folder, kind == 0 ? 0555 : kind == 1 ? 01777 : 0755);
        if (kind == 2) node->ownerId = 0;
        if (kind == 3) fs.SetDevice(folder, 9);
        folders.push_back(folder);
    }
    for (int i = 0; i < 400; ++i) {
        const std::string name = folders[pick(static_cast<int>(folders.size()))] + stems[pick(9)] +
                                 std::to_string(pick(40)) + extensions[pick(7)];
        const int kind = pick(20);
        if (kind == 0) {
            fs.AddSymlink(name);
        } else if (kind == 1) {
            fs.AddOther(name);
        } else {
            auto file =
                fs.AddFile(name, static_cast<std::uint64_t>(pick(5000)), 1600000000 + pick(20) * 86400,
                           kind == 2   ? 0444
                           : kind == 3 ? 0600
                                       : 0666);
            if (kind == 4) file->ownerId = 1001;
            if (kind == 5) file->immutable = true;
        }
    }
    fs.Find("/v/")->children["self"] = fs.Find("/v/");  // a folder that contains itself
}

struct Case {
    const char* name;
    std::vector<std::string> patterns;
    bool ageCheck;
    bool readOnlyFolders;
    bool temp;
    std::uint32_t uid;
};

TEST(FolderWalkerEquivalence, SameResultsInTheSameOrderAsThePlainWalk) {
    const std::vector<Case> cases = {
        {"two patterns", {"*.bak", "*.tmp"}, false, false, false, 1000},
        {"overlapping patterns and age", {"*.bak", "*.b*", "?.*"}, true, false, false, 1000},
        {"every name, read-only folders", {"*"}, false, true, false, 1000},
        {"superuser", {"*.bak", "old*"}, true, true, false, 0},
        {"temporary folder", {}, false, false, true, 1000},
    };
    for (unsigned seed = 1; seed <= 6; ++seed) {
        for (const Case& c : cases) {
            MemoryFileSystem reference;
            reference.SetEffectiveUserId(c.uid);
            BuildRandomTree(reference, seed);
            WalkerSettings settings;
            settings.bReadOnlyFolder = c.readOnlyFolders;
            settings.strOutFolderEdit[0] = "/v/old3/";
            settings.strAllFolderEdit[1] = "/v/B1/";

            SearchState expected;
            expected.listPattern = c.patterns;
            expected.ageCheck = c.ageCheck;
            expected.ageDays = 7;
            expected.timeSearch = 1600000000 + 10 * 86400;
            testing::ReferenceWalk(reference, settings, expected, "/v/", c.temp);

            for (const std::size_t budget : {2, 5, 64}) {
                for (const bool readAhead : {false, true}) {
                    SCOPED_TRACE(std::string(c.name) + ", seed " + std::to_string(seed) + ", budget " +
                                 std::to_string(budget) + (readAhead ? ", read ahead" : ", one thread"));
                    MemoryFileSystem fs;  // built alike, so that its open-folder count is this walk's own
                    fs.SetEffectiveUserId(c.uid);
                    BuildRandomTree(fs, seed);
                    FakeClock clock;
                    NullHost host;
                    SearchState state;
                    state.listPattern = expected.listPattern;
                    state.ageCheck = expected.ageCheck;
                    state.ageDays = expected.ageDays;
                    state.timeSearch = expected.timeSearch;
                    FolderWalker walker(fs, clock, host, state, settings);
                    walker.SetOpenFolderBudget(budget);
                    walker.SetReadAhead(readAhead);
                    if (c.temp) {
                        walker.WalkTempFolder("/v/");
                    } else {
                        walker.WalkFolder("/v/");
                    }
                    ASSERT_EQ(state.results.Size(), expected.results.Size());
                    ASSERT_GT(state.results.Size(), 0u);
                    for (std::size_t i = 0; i < state.results.Size(); ++i) {
                        ASSERT_EQ(state.results[i].Path(), expected.results[i].Path()) << i;
                        ASSERT_EQ(state.results[i].size, expected.results[i].size) << i;
                        ASSERT_EQ(state.results[i].identity, expected.results[i].identity) << i;
                    }
                    EXPECT_EQ(state.sizeFoundTotal, expected.sizeFoundTotal);
                    EXPECT_EQ(fs.OpenDirectoryCount(), 0);
                    EXPECT_LE(fs.MaxOpenDirectoryCount(), static_cast<int>(std::max<std::size_t>(budget, 5)));
                }
            }
        }
    }
}

// A window that is slow to pump (painting, say): the reader then tests the folders it has read ahead while
// it waits, and the results stay the same.
class SlowHost : public WalkerHost {
  public:
    void PumpMessages() override { std::this_thread::sleep_for(std::chrono::microseconds(300)); }
    void ShowStatusText(const std::string&) override {}
};

void BuildWideTree(MemoryFileSystem& fs) {
    for (int folder = 0; folder < 30; ++folder) {
        for (int file = 0; file < 10; ++file)
            fs.AddFile("/v/d" + std::to_string(folder) + "/f" + std::to_string(file), 10u + file);
    }
}

TEST(FolderWalkerEquivalence, TheReaderTestsAheadWhileTheWindowIsBusy) {
    MemoryFileSystem reference;
    BuildWideTree(reference);
    SearchState expected;
    expected.listPattern = {"*"};
    testing::ReferenceWalk(reference, WalkerSettings{}, expected, "/v/");

    MemoryFileSystem fs;
    BuildWideTree(fs);
    const std::thread::id walkThread = std::this_thread::get_id();
    int testedByReader = 0;
    fs.SetHook([&](FsOperation op, const std::string&) {
        if (op == FsOperation::CheckFile && std::this_thread::get_id() != walkThread) ++testedByReader;
    });
    FakeClock clock;
    clock.stepMs = 20;  // every entry is due for a pump
    SlowHost host;
    SearchState state;
    state.listPattern = expected.listPattern;
    FolderWalker walker(fs, clock, host, state, WalkerSettings{});
    walker.SetOpenFolderBudget(12);  // three folders ahead: the reader soon has nothing more to read
    walker.WalkFolder("/v/");
    EXPECT_GT(testedByReader, 0);
    ASSERT_EQ(state.results.Size(), 300u);
    for (std::size_t i = 0; i < state.results.Size(); ++i) {
        ASSERT_EQ(state.results[i].Path(), expected.results[i].Path()) << i;
        ASSERT_EQ(state.results[i].identity, expected.results[i].identity) << i;
    }
    EXPECT_EQ(fs.OpenDirectoryCount(), 0);
}

}  // namespace
}  // namespace vask
