// The one double-byte-aware text helper. Paths and texts are byte strings in the system code page; every
// step that looks for a byte inside such a text (a separator, a line end, a cut at a length) asks this
// helper, so that the trail byte of a CP932 character (which may be 0x5C, "\") or the continuation bytes of
// a UTF-8 character are never taken for a character of their own.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vask {

enum class CodePage {
    Cp932,  // Shift-JIS as Windows has it: lead bytes 0x81-0x9F and 0xE0-0xFC take the next byte with them
    Utf8,
};

// Bytes taken by the character that starts at text[pos] (1 or 2 in CP932, 1 to 4 in UTF-8). A byte that
// does not start a well-formed character counts as one character of one byte; a lead byte at the very end
// of the text counts as one byte. Precondition: pos < text.size().
std::size_t CharLength(CodePage codePage, std::string_view text, std::size_t pos);
// CharLength for UTF-8, with the single-byte case inline: hot loops over names call it for every byte.
std::size_t Utf8MultiByteLength(std::string_view text, std::size_t pos);
inline std::size_t Utf8CharLength(std::string_view text, std::size_t pos) {
    return static_cast<unsigned char>(text[pos]) < 0x80 ? 1 : Utf8MultiByteLength(text, pos);
}

// True when the byte starts a two-byte CP932 character.
bool IsCp932LeadByte(unsigned char byte);

// Position of the first character equal to the single-byte character ch at or after pos, or npos.
std::size_t FindChar(CodePage codePage, std::string_view text, char ch, std::size_t pos = 0);
// Position of the last character equal to ch, or npos.
std::size_t FindLastChar(CodePage codePage, std::string_view text, char ch);
// True when the text's last character (not merely its last byte) is ch.
bool EndsWithChar(CodePage codePage, std::string_view text, char ch);

// The largest position p <= limit that falls on a character boundary, so text.substr(0, p) cuts no
// character in two. Returns text.size() when limit is at or past the end.
std::size_t CharBoundaryAtOrBefore(CodePage codePage, std::string_view text, std::size_t limit);

// Replaces every single-byte A-Z by a-z, passing over both bytes of every double-byte character (and every
// byte of a multi-byte UTF-8 character).
void LowerAsciiLetters(CodePage codePage, std::string& text);

// True when the text is well-formed UTF-8 (no overlong forms, no surrogates, nothing above U+10FFFF).
bool IsValidUtf8(std::string_view text);

}  // namespace vask
