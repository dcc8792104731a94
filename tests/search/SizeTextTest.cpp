#include "search/SizeText.h"

#include <gtest/gtest.h>

namespace vask {
namespace {

TEST(SizeText, EveryBoundaryOfTheTable) {
    const struct {
        std::uint64_t bytes;
        const char* text;
    } rows[] = {
        {0, "0Byte"},
        {1, "1Byte"},
        {2, "2Bytes"},
        {1000, "1000Bytes"},
        {1001, "1.0KBytes"},
        {1023, "1.0KBytes"},
        {1024, "1.0KBytes"},
        {1280, "1.3KBytes"},  // an exact half rounds up, never to even
        {1000000, "976.6KBytes"},
        {1000001, "1.0MBytes"},
        {1048576, "1.0MBytes"},
        {1000000000, "953.7MBytes"},
        {1000000001, "0.9GBytes"},
        {4294967295ULL, "4.0GBytes"},
        {4294967296ULL, "4.0GBytes"},
        {6000000000ULL, "5.6GBytes"},
        {3584, "3.5KBytes"},                         // 3.5 exactly
        {1279, "1.2KBytes"},                         // just below the half
        {~std::uint64_t{0}, "17179869184.0GBytes"},  // the largest count still formats
    };
    for (const auto& row : rows)
        EXPECT_EQ(FormatSizeText(row.bytes), row.text) << row.bytes;
}

TEST(SizeText, HalvesGiveTheSameTextAsTheWholeCount) {
    EXPECT_EQ(FormatSizeText(1705032704u, 1u), "5.6GBytes");
    EXPECT_EQ(FormatSizeText(0u, 0u), "0Byte");
    EXPECT_EQ(FormatSizeText(0xFFFFFFFFu, 0u), "4.0GBytes");
    // Two files of 3,000,000,000 bytes: the total must not wrap at 32 bits.
    const std::uint64_t total = 3000000000ULL + 3000000000ULL;
    EXPECT_EQ(FormatSizeText(static_cast<std::uint32_t>(total), static_cast<std::uint32_t>(total >> 32)),
              "5.6GBytes");
}

}  // namespace
}  // namespace vask
