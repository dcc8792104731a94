// How long a RIFF WAVE file plays, read from its header: the sound adapter waits that long at most.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace vask {

// readAt(offset, count) returns up to count bytes of the file from offset (fewer at its end). The result is
// the "data" chunk's size, cut to what the file holds, over the byte rate of the "fmt " chunk before it, in
// milliseconds. Empty when the bytes are no RIFF WAVE, or the byte rate is missing or 0.
inline std::optional<std::int64_t> WaveDurationMs(
    const std::function<std::string(std::uint64_t offset, std::size_t count)>& readAt,
    std::uint64_t fileSize) {
    auto le32 = [](const std::string& bytes, std::size_t at) {
        std::uint32_t value = 0;
        for (int i = 3; i >= 0; --i)
            value = (value << 8) | static_cast<std::uint8_t>(bytes[at + i]);
        return value;
    };
    const std::string head = readAt(0, 12);
    if (head.size() != 12 || head.compare(0, 4, "RIFF") != 0 || head.compare(8, 4, "WAVE") != 0)
        return std::nullopt;
    std::uint32_t byteRate = 0;
    // Chunks follow one another: id, little-endian size, data padded to an even length.
    for (std::uint64_t at = 12; at + 8 <= fileSize;) {
        const std::string chunk = readAt(at, 8);
        if (chunk.size() != 8) break;
        const std::uint32_t size = le32(chunk, 4);
        const std::uint64_t dataStart = at + 8;
        if (chunk.compare(0, 4, "fmt ") == 0) {
            const std::string format = readAt(dataStart, 16);
            if (format.size() != 16) return std::nullopt;
            byteRate = le32(format, 8);
        } else if (chunk.compare(0, 4, "data") == 0) {
            if (byteRate == 0) return std::nullopt;
            // A size larger than the file (a stream written without its final size) counts as far as the
            // file goes.
            const std::uint64_t held = std::min<std::uint64_t>(size, fileSize - dataStart);
            return static_cast<std::int64_t>(held * 1000 / byteRate);
        }
        at = dataStart + size + (size & 1);
    }
    return std::nullopt;
}

}  // namespace vask
