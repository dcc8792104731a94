#include "platform/Status.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

namespace vask {
namespace {

// The own outcomes must never be mistaken for an errno value or for success, and must survive being
// wrapped again with more context (Status::Error(s.code(), ...), as the archiver does).
TEST(Status, OwnOutcomesAreDistinctAndSurviveRewrapping) {
    struct Row {
        const char* name;
        Status status;
        bool changed;
        bool busy;
        std::string text;
    };
    const Row rows[] = {
        {"changed", Status::Changed("/a", "changed since the search"), true, false,
         "Changed since it was checked"},
        {"busy", Status::Busy("/l", "lock"), false, true, "Busy with another operation"},
        {"stale handle is an errno", Status::Error(ESTALE, "/a", "open"), false, false, "Stale file handle"},
        {"would block is an errno", Status::Error(EWOULDBLOCK, "/l", "read"), false, false,
         "Resource temporarily unavailable"},
    };
    for (const Row& row : rows) {
        EXPECT_FALSE(row.status.ok()) << row.name;
        EXPECT_EQ(row.status.changed(), row.changed) << row.name;
        EXPECT_EQ(row.status.busy(), row.busy) << row.name;
        EXPECT_EQ(row.status.ErrorText(), row.text) << row.name;
        const Status again = Status::Error(row.status.code(), "/other", "add");
        EXPECT_EQ(again.changed(), row.changed) << row.name;
        EXPECT_EQ(again.busy(), row.busy) << row.name;
        EXPECT_EQ(again.ToString(), "add /other: " + row.text) << row.name;
    }
}

}  // namespace
}  // namespace vask
