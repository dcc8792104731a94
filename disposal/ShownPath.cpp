#include "disposal/ShownPath.h"

#include <cstddef>

namespace vask {

namespace {

void AppendHex(std::string& out, unsigned char byte) {
    static constexpr char kDigits[] = "0123456789abcdef";
    out += "\\x";
    out += kDigits[byte >> 4];
    out += kDigits[byte & 0x0f];
}

// The length of the valid UTF-8 sequence starting at text[i], or 0 when it is not one (overlong forms,
// surrogates and values past U+10FFFF included: a terminal would show those as something else).
std::size_t Utf8Length(std::string_view text, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xbf;  // the allowed range of the second byte
    if (lead >= 0xc2 && lead <= 0xdf) {
        length = 2;
    } else if (lead >= 0xe0 && lead <= 0xef) {
        length = 3;
        if (lead == 0xe0) low = 0xa0;
        if (lead == 0xed) high = 0x9f;
    } else if (lead >= 0xf0 && lead <= 0xf4) {
        length = 4;
        if (lead == 0xf0) low = 0x90;
        if (lead == 0xf4) high = 0x8f;
    } else {
        return 0;
    }
    if (i + length > text.size()) return 0;
    if (byte(i + 1) < low || byte(i + 1) > high) return 0;
    for (std::size_t k = 2; k < length; ++k) {
        if (byte(i + k) < 0x80 || byte(i + k) > 0xbf) return 0;
    }
    return length;
}

}  // namespace

std::string ShownPath(std::string_view path) {
    std::string out;
    out.reserve(path.size());
    for (std::size_t i = 0; i < path.size();) {
        const auto c = static_cast<unsigned char>(path[i]);
        if (c < 0x80) {
            const char* named = nullptr;
            switch (c) {
                case '\a':
                    named = "\\a";
                    break;
                case '\b':
                    named = "\\b";
                    break;
                case '\t':
                    named = "\\t";
                    break;
                case '\n':
                    named = "\\n";
                    break;
                case '\v':
                    named = "\\v";
                    break;
                case '\f':
                    named = "\\f";
                    break;
                case '\r':
                    named = "\\r";
                    break;
                default:
                    break;
            }
            if (named != nullptr) {
                out += named;
            } else if (c < 0x20 || c == 0x7f) {
                AppendHex(out, c);
            } else {
                out += static_cast<char>(c);
            }
            ++i;
            continue;
        }
        const std::size_t length = Utf8Length(path, i);
        // U+0080..U+009F are encoded C2 80..C2 9F: controls like ESC's 8-bit twin CSI (C2 9B).
        const bool c1 = length == 2 && c == 0xc2 && static_cast<unsigned char>(path[i + 1]) <= 0x9f;
        if (length == 0 || c1) {
            const std::size_t bytes = c1 ? 2 : 1;
            for (std::size_t k = 0; k < bytes; ++k)
                AppendHex(out, static_cast<unsigned char>(path[i + k]));
            i += bytes;
            continue;
        }
        out.append(path.substr(i, length));
        i += length;
    }
    return out;
}

}  // namespace vask
