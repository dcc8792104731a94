#include "settings/CodePage.h"

namespace vask {

namespace {

// Length of a well-formed UTF-8 sequence starting at pos, or 0 when the bytes there are not one.
std::size_t Utf8SequenceLength(std::string_view text, std::size_t pos) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char b0 = byte(pos);
    if (b0 < 0x80) return 1;
    std::size_t length;
    unsigned char minSecond = 0x80, maxSecond = 0xBF;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        length = 2;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        length = 3;
        if (b0 == 0xE0) minSecond = 0xA0;  // overlong
        if (b0 == 0xED) maxSecond = 0x9F;  // surrogates
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        length = 4;
        if (b0 == 0xF0) minSecond = 0x90;  // overlong
        if (b0 == 0xF4) maxSecond = 0x8F;  // above U+10FFFF
    } else {
        return 0;
    }
    if (pos + length > text.size()) return 0;
    if (byte(pos + 1) < minSecond || byte(pos + 1) > maxSecond) return 0;
    for (std::size_t i = 2; i < length; ++i) {
        if ((byte(pos + i) & 0xC0) != 0x80) return 0;
    }
    return length;
}

}  // namespace

bool IsCp932LeadByte(unsigned char byte) {
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

std::size_t Utf8MultiByteLength(std::string_view text, std::size_t pos) {
    const std::size_t length = Utf8SequenceLength(text, pos);
    return length == 0 ? 1 : length;
}

std::size_t CharLength(CodePage codePage, std::string_view text, std::size_t pos) {
    if (codePage == CodePage::Cp932) {
        if (IsCp932LeadByte(static_cast<unsigned char>(text[pos])) && pos + 1 < text.size()) return 2;
        return 1;
    }
    const std::size_t length = Utf8SequenceLength(text, pos);
    return length == 0 ? 1 : length;
}

std::size_t FindChar(CodePage codePage, std::string_view text, char ch, std::size_t pos) {
    // Walk from the start of the text, not from pos: only a walk from a known boundary can tell a trail
    // byte from a character of its own.
    for (std::size_t i = 0; i < text.size(); i += CharLength(codePage, text, i)) {
        if (i >= pos && text[i] == ch) return i;
    }
    return std::string_view::npos;
}

std::size_t FindLastChar(CodePage codePage, std::string_view text, char ch) {
    std::size_t found = std::string_view::npos;
    for (std::size_t i = 0; i < text.size(); i += CharLength(codePage, text, i)) {
        if (text[i] == ch) found = i;
    }
    return found;
}

bool EndsWithChar(CodePage codePage, std::string_view text, char ch) {
    if (text.empty()) return false;
    std::size_t last = 0;
    for (std::size_t i = 0; i < text.size(); i += CharLength(codePage, text, i))
        last = i;
    return last == text.size() - 1 && text[last] == ch;
}

std::size_t CharBoundaryAtOrBefore(CodePage codePage, std::string_view text, std::size_t limit) {
    if (limit >= text.size()) return text.size();
    std::size_t boundary = 0;
    for (std::size_t i = 0; i <= limit;) {
        boundary = i;
        if (i == text.size()) break;
        i += CharLength(codePage, text, i);
    }
    return boundary;
}

void LowerAsciiLetters(CodePage codePage, std::string& text) {
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length = CharLength(codePage, text, i);
        if (length == 1 && text[i] >= 'A' && text[i] <= 'Z') text[i] = static_cast<char>(text[i] - 'A' + 'a');
        i += length;
    }
}

bool IsValidUtf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length = Utf8SequenceLength(text, i);
        if (length == 0) return false;
        i += length;
    }
    return true;
}

}  // namespace vask
