#include "settings/CodePage.h"

#include <gtest/gtest.h>

#include "settings/FolderPath.h"

namespace vask {
namespace {

// "表" is 0x95 0x5C in CP932: its trail byte has the value of "\".
const std::string kHyou = "\x95\x5C";
// "ソ" is 0x83 0x5C, "ﾌ" (half-width) is the single byte 0xCC.
const std::string kSo = "\x83\x5C";

TEST(CodePage, Cp932TrailByteIsNeverASeparator) {
    const std::string path = "c:\\" + kHyou + "\\x";
    EXPECT_EQ(FindChar(CodePage::Cp932, path, '\\'), 2u);
    EXPECT_EQ(FindChar(CodePage::Cp932, path, '\\', 3), 5u);  // skips the trail byte at 4
    EXPECT_EQ(FindLastChar(CodePage::Cp932, path, '\\'), 5u);
    EXPECT_FALSE(EndsWithChar(CodePage::Cp932, "c:\\" + kSo, '\\'));
    EXPECT_TRUE(EndsWithChar(CodePage::Cp932, "c:\\" + kSo + "\\", '\\'));
    // Half-width katakana are single bytes, not lead bytes.
    EXPECT_EQ(CharLength(CodePage::Cp932, "\xCC\x5C", 0), 1u);
    EXPECT_TRUE(EndsWithChar(CodePage::Cp932, "\xCC\x5C", '\\'));
}

TEST(CodePage, Cp932NormalisationAppendsAfterATrailBackslashAndKeepsDoubleBytes) {
    // A path ending in a double-byte character whose trail byte is 0x5C still gets its separator.
    std::string path = "C:\\" + kSo;
    NormalizeFolderPath(path, kWindowsPathRules);
    EXPECT_EQ(path, "c:\\" + kSo + "\\");
    // A trail byte with the value of an upper-case letter ("ア" is 0x83 0x41) is left alone.
    std::string katakana = "D:\\Data\\\x83\x41";
    NormalizeFolderPath(katakana, kWindowsPathRules);
    EXPECT_EQ(katakana, "d:\\data\\\x83\x41\\");
    std::string temp = "C:\\Temp";
    NormalizeFolderPath(temp, kWindowsPathRules);
    EXPECT_EQ(temp, "c:\\temp\\");
}

TEST(CodePage, Utf8CharactersAreWholeAndInvalidBytesCountAlone) {
    const std::string text = "a\xE8\xA1\xA8/";  // "a表/"
    EXPECT_EQ(CharLength(CodePage::Utf8, text, 1), 3u);
    EXPECT_EQ(FindChar(CodePage::Utf8, text, '/'), 4u);
    EXPECT_EQ(CharLength(CodePage::Utf8, "\xFF", 0), 1u);
    EXPECT_EQ(CharLength(CodePage::Utf8, "\xE8\xA1", 0), 1u);  // truncated sequence
    EXPECT_EQ(CharLength(CodePage::Utf8, "\xC0\xAF", 0), 1u);  // overlong "/"
    EXPECT_TRUE(IsValidUtf8(text));
    EXPECT_FALSE(IsValidUtf8("\xC0\xAF"));
    EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));      // surrogate
    EXPECT_FALSE(IsValidUtf8("\xF4\x90\x80\x80"));  // above U+10FFFF
}

TEST(CodePage, CutsAtACharacterBoundary) {
    // 258 ASCII bytes then a three-byte character: a cut at 259 must not split it.
    std::string line(258, 'x');
    line += "\xE8\xA1\xA8";
    EXPECT_EQ(CharBoundaryAtOrBefore(CodePage::Utf8, line, 259), 258u);
    EXPECT_EQ(CharBoundaryAtOrBefore(CodePage::Utf8, line, 261), 261u);
    EXPECT_EQ(CharBoundaryAtOrBefore(CodePage::Utf8, line, 1000), line.size());
    std::string sjis(258, 'x');
    sjis += kHyou;
    EXPECT_EQ(CharBoundaryAtOrBefore(CodePage::Cp932, sjis, 259), 258u);
}

}  // namespace
}  // namespace vask
