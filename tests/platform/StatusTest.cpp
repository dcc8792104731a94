#include "platform/Status.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <string>

namespace vask {
namespace {

TEST(ResultDeathTest, EveryWayToTheValueOfAnErrorAbortsWithTheErrorText) {
    const Result<std::string> error = Status::Error(ENOENT, "/v/a.bak", "open");
    Result<std::string> mutableError = error;
    const struct {
        const char* accessor;
        std::function<void()> reach;
    } cases[] = {
        {"value() const&", [&] { (void)error.value().size(); }},
        {"value() &", [&] { (void)mutableError.value().size(); }},
        {"value() &&", [&] { (void)std::move(mutableError).value().size(); }},
        {"operator-> const", [&] { (void)error->size(); }},
        {"operator->", [&] { (void)mutableError->size(); }},
        {"operator*", [&] { (void)(*mutableError).size(); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.accessor);
        EXPECT_DEATH(c.reach(), "Result::value\\(\\) on an error: open /v/a.bak: No such file or directory");
    }
}

TEST(Result, AValueIsReachedEveryWayAndAnOkStatusIsNoValue) {
    Result<std::string> result = std::string("abc");
    ASSERT_TRUE(result.ok());
    EXPECT_EQ(result.value(), "abc");
    EXPECT_EQ(result->size(), 3u);
    EXPECT_EQ(*result, "abc");
    EXPECT_EQ(std::move(result).value(), "abc");

    const Result<int> empty = Status::Ok();  // a Status without an error cannot stand for a value
    EXPECT_FALSE(empty.ok());
    EXPECT_EQ(empty.status().code(), EINVAL);
}

}  // namespace
}  // namespace vask
