#include "patterns/PatternListFile.h"

#include <gtest/gtest.h>

#include "platform/fakes/MemoryFileSystem.h"
#include "platform/fakes/SpelledCp932Decoder.h"

namespace vask {
namespace {

using Pieces = std::vector<std::string>;

struct PieceCase {
    const char* name;
    std::string bytes;
    Pieces pieces;
};

TEST(PatternListFile, ReadsPiecesAsALineReaderWithA260ByteBufferDoes) {
    const std::string x258(258, 'x'), x259(259, 'x'), x300(300, 'x');
    const std::string so = "\xE3\x82\xBD";  // "ソ" in UTF-8
    const PieceCase cases[] = {
        {"empty file: one empty read", "", {""}},
        {"no final line break", "a\nb", {"a", "b"}},
        {"final line break: one more empty read", "a\nb\n", {"a", "b", ""}},
        {"CR before LF dropped, lone CR kept", "a\r\nb\rc\r\n", {"a", "b\rc", ""}},
        {"258 bytes and LF fit one read", x258 + "\nz", {x258, "z"}},
        {"259 bytes then LF: an empty read follows", x259 + "\r\nz", {x259, "", "z"}},
        {"259 bytes at the end: one read", x259, {x259}},
        {"300 bytes: 259 and 41", x300 + "\n", {x259, std::string(41, 'x'), ""}},
        {"a cut never splits a character",
         std::string(258, 'y') + so + "\n",
         {std::string(258, 'y'), so, ""}},
        {"a piece ends at its first NUL", std::string("ab\0cd\ne", 7), {"ab", "e"}},
    };
    for (const PieceCase& c : cases) {
        EXPECT_EQ(SplitListPieces(c.bytes, CodePage::Utf8), c.pieces) << c.name;
    }
}

TEST(PatternListFile, TrimsTrailingSingleByteWhiteSpaceOnly) {
    const std::string zenkakuSpace = "\xE3\x80\x80";
    EXPECT_EQ(TrimTrailingWhiteSpace(CodePage::Utf8, "  *.bak \t\v\f\r"), "  *.bak");
    EXPECT_EQ(TrimTrailingWhiteSpace(CodePage::Utf8, "*.bak" + zenkakuSpace), "*.bak" + zenkakuSpace);
    EXPECT_EQ(TrimTrailingWhiteSpace(CodePage::Utf8, " \t "), "");
    // In CP932 a lead byte takes the next byte with it, even a space: that pair is no white space.
    EXPECT_EQ(TrimTrailingWhiteSpace(CodePage::Cp932, "a\x81  "), "a\x81 ");
    EXPECT_EQ(TrimTrailingWhiteSpace(CodePage::Cp932, "\x83\x5C "), "\x83\x5C");
}

TEST(PatternListFile, ClassifiesLinesByTheirFirstByte) {
    EXPECT_EQ(ClassifyListLine(""), ListLineKind::Blank);
    EXPECT_EQ(ClassifyListLine("' note"), ListLineKind::Comment);
    EXPECT_EQ(ClassifyListLine("-----"), ListLineKind::Separator);
    EXPECT_EQ(ClassifyListLine("<その他>"), ListLineKind::Header);
    EXPECT_EQ(ClassifyListLine(" 'x"), ListLineKind::Pattern);  // leading white space is kept
}

TEST(PatternListFile, DecodesAWindowsListByCp932Rules) {
    SpelledCp932Decoder decoder;
    // "ソ" (0x83 0x5C) then a space: the trail byte 0x5C is no character of its own.
    const std::string cp932 = "\x83\x5C \r\n" + std::string(258, 'x') + "\x95\x5C\n";
    const Pieces lines = DecodeListLines(cp932, decoder, true);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "<83>\\");
    EXPECT_EQ(lines[1], std::string(258, 'x'));  // "表" does not fit and is not cut
    EXPECT_EQ(lines[2], "<95>\\");
    EXPECT_EQ(lines[3], "");
    // A valid UTF-8 list is not decoded, and its byte-order mark is no part of its first line.
    decoder.calls = 0;
    EXPECT_EQ(DecodeListLines("\xEF\xBB\xBF' c\n*.bak  ", decoder, true), (Pieces{"' c", "*.bak"}));
    EXPECT_EQ(decoder.calls, 0);
}

TEST(PatternListFile, ReadsAHundredThousandLinesAndRefusesAHugeFile) {
    std::string bytes;
    for (int i = 0; i < 100000; ++i)
        bytes += "*.x" + std::to_string(i) + "\r\n";
    SpelledCp932Decoder decoder;
    const Pieces lines = DecodeListLines(bytes, decoder, true);
    ASSERT_EQ(lines.size(), 100001u);
    EXPECT_EQ(lines[99999], "*.x99999");

    MemoryFileSystem fs;
    fs.AddFile("/cwd/VaskFile.Txt", kMaxPatternListBytes + 1);
    auto folder = fs.OpenCurrentFolder();
    EXPECT_EQ(ReadListFile(**folder, kPatternListName).status().code(), EFBIG);
}

class PatternListWriteTest : public ::testing::Test {
  protected:
    std::string Content(const std::string& path) { return MemoryFileSystem::ContentOf(*fs.Find(path)); }
    int EntryCount() { return static_cast<int>(fs.Find("/cwd")->children.size()); }
    MemoryFileSystem fs;
};

TEST_F(PatternListWriteTest, ReplacesTheListWholeAndKeepsItsMode) {
    fs.AddFolder("/cwd");
    auto old = fs.AddFile("/cwd/VaskFile.Txt", 0, 1, 0640);
    old->content = "old";
    old->size = 3;
    fs.AddFile("/cwd/.VaskFile.Txt.vask-leftOver", 5);  // left by a killed run
    ASSERT_TRUE(WritePatternListFile(fs, "new\r\n", ListWrite::ReplaceExisting));
    EXPECT_EQ(Content("/cwd/VaskFile.Txt"), "new\r\n");
    EXPECT_EQ(fs.Find("/cwd/VaskFile.Txt")->mode, 0640u);
    EXPECT_TRUE(fs.Find("/cwd/VaskFile.Txt")->synced);
    EXPECT_EQ(EntryCount(), 1);
    // Without replace an existing list stays.
    EXPECT_EQ(WritePatternListFile(fs, "x", ListWrite::KeepExisting).code(), EEXIST);
    EXPECT_EQ(Content("/cwd/VaskFile.Txt"), "new\r\n");
}

TEST_F(PatternListWriteTest, AnyFailureKeepsTheOldListAndLeavesNoTemporary) {
    const FsOperation failures[] = {FsOperation::CreateFile, FsOperation::Write, FsOperation::SyncFile,
                                    FsOperation::CloseFile, FsOperation::Rename};
    for (FsOperation op : failures) {
        MemoryFileSystem failing;
        auto old = failing.AddFile("/cwd/VaskFile.Txt", 0);
        old->content = "old";
        old->size = 3;
        failing.FailNthCall(op, 1, ENOSPC);
        const Status status = WritePatternListFile(failing, "new", ListWrite::ReplaceExisting);
        EXPECT_EQ(status.code(), ENOSPC) << static_cast<int>(op);
        EXPECT_EQ(MemoryFileSystem::ContentOf(*failing.Find("/cwd/VaskFile.Txt")), "old");
        EXPECT_EQ(failing.Find("/cwd")->children.size(), 1u) << static_cast<int>(op);
    }
}

TEST_F(PatternListWriteTest, TheDefaultListIsLookedUpInTheCurrentFolderFirst) {
    fs.AddFolder("/cwd");
    auto shared = fs.AddFile("/usr/share/vask/VaskFile._xt", 0);
    shared->content = "shared";
    shared->size = 6;
    EXPECT_EQ(ReadDefaultPatternList(fs, {"/nowhere/", "/usr/share/vask/"}).value(), "shared");
    auto local = fs.AddFile("/cwd/VaskFile._xt", 0);
    local->content = "local";
    local->size = 5;
    EXPECT_EQ(ReadDefaultPatternList(fs, {"/usr/share/vask/"}).value(), "local");
    // One that cannot be read (a FIFO in its place) is passed over.
    fs.Remove("/cwd/VaskFile._xt");
    fs.AddOther("/cwd/VaskFile._xt");
    EXPECT_EQ(ReadDefaultPatternList(fs, {"/usr/share/vask/"}).value(), "shared");
    EXPECT_EQ(ReadDefaultPatternList(fs, {}).status().code(), ENOENT);
}

}  // namespace
}  // namespace vask
