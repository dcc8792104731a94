#include "platform/WaveHeader.h"

#include <gtest/gtest.h>

namespace vask {
namespace {

std::string Le32(std::uint32_t v) {
    return {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
            static_cast<char>(v >> 24)};
}

std::string Chunk(const std::string& id, const std::string& data, std::uint32_t claimedSize = 0xFFFFFFFF) {
    const std::uint32_t size =
        claimedSize == 0xFFFFFFFF ? static_cast<std::uint32_t>(data.size()) : claimedSize;
    return id + Le32(size) + data + (data.size() % 2 ? std::string(1, '\0') : std::string());
}

// "fmt " data: PCM, mono, 8000 Hz, byteRate as given, block align 1, 8 bits.
std::string Format(std::uint32_t byteRate) {
    return Chunk("fmt ", std::string("\x01\x00\x01\x00", 4) + Le32(8000) + Le32(byteRate) +
                             std::string("\x01\x00\x08\x00", 4));
}

std::string Riff(const std::string& chunks) {
    return "RIFF" + Le32(static_cast<std::uint32_t>(4 + chunks.size())) + "WAVE" + chunks;
}

std::optional<std::int64_t> Duration(const std::string& file) {
    auto readAt = [&file](std::uint64_t offset, std::size_t count) {
        return offset >= file.size() ? std::string() : file.substr(offset, count);
    };
    return WaveDurationMs(readAt, file.size());
}

TEST(WaveHeader, DurationIsTheDataSizeOverTheByteRate) {
    EXPECT_EQ(Duration(Riff(Format(8000) + Chunk("data", std::string(12000, 'x')))), 1500);
    // Chunks before and between, one of odd size and so padded, are stepped over.
    EXPECT_EQ(Duration(Riff(Chunk("LIST", "abc") + Format(8000) + Chunk("fact", "1234") +
                            Chunk("data", std::string(4000, 'x')))),
              500);
}

TEST(WaveHeader, ADataSizeBeyondTheFileCountsOnlyWhatTheFileHolds) {
    EXPECT_EQ(Duration(Riff(Format(8000) + Chunk("data", std::string(800, 'x'), 0xFFFFFFF0))), 100);
}

TEST(WaveHeader, WhatIsNoPlayableWaveHasNoDuration) {
    EXPECT_EQ(Duration(""), std::nullopt);
    EXPECT_EQ(Duration("hello, this is text and no sound"), std::nullopt);
    EXPECT_EQ(Duration("RIFF" + Le32(4) + "AVI "), std::nullopt);
    EXPECT_EQ(Duration(Riff(Chunk("data", std::string(100, 'x')))), std::nullopt);  // no format before
    EXPECT_EQ(Duration(Riff(Format(0) + Chunk("data", "xx"))), std::nullopt);       // byte rate 0
    EXPECT_EQ(Duration(Riff(Format(8000))), std::nullopt);                          // no data
    EXPECT_EQ(Duration(Riff(Format(8000)).substr(0, 30)), std::nullopt);            // cut in the format
    // A chunk size that points past the end stops the walk instead of looping.
    EXPECT_EQ(Duration(Riff(Chunk("junk", "ab", 0xFFFFFFF0) + Format(8000))), std::nullopt);
}

}  // namespace
}  // namespace vask
