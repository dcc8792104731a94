#include "search/Wildcard.h"

#include <gtest/gtest.h>

#include <string>

namespace vask {
namespace {

TEST(Wildcard, StarQuestionAndCase) {
    EXPECT_TRUE(MatchesFilePattern("*.bak", "old.bak"));
    EXPECT_TRUE(MatchesFilePattern("*.bak", "OLD.BAK"));
    EXPECT_TRUE(MatchesFilePattern("*.BAK", "old.Bak"));
    EXPECT_TRUE(MatchesFilePattern("*.bak", ".bak"));
    EXPECT_FALSE(MatchesFilePattern("*.bak", "old.bak~"));
    EXPECT_FALSE(MatchesFilePattern("*.bak", "old.ba"));
    EXPECT_TRUE(MatchesFilePattern("*.b*", "old.bak"));
    EXPECT_TRUE(MatchesFilePattern("a?c", "abc"));
    EXPECT_FALSE(MatchesFilePattern("a?c", "ac"));
    EXPECT_TRUE(MatchesFilePattern("*a*b*c*", "xxaxxbxxcxx"));
    EXPECT_FALSE(MatchesFilePattern("*a*b*c*", "xxcxxbxxaxx"));
    EXPECT_TRUE(MatchesFilePattern("exact.txt", "EXACT.txt"));
    EXPECT_FALSE(MatchesFilePattern(" *.tmp", "a.tmp"));  // a leading space is part of the pattern
    EXPECT_TRUE(MatchesFilePattern(" *.tmp", " a.tmp"));
}

TEST(Wildcard, DotRulesOfTheOriginalPlatform) {
    EXPECT_TRUE(MatchesFilePattern("*.*", "Makefile"));
    EXPECT_TRUE(MatchesFilePattern("*.*", "a.b.c"));
    EXPECT_TRUE(MatchesFilePattern("*", "x"));
    EXPECT_TRUE(MatchesFilePattern("read.*", "read"));
    EXPECT_TRUE(MatchesFilePattern("read.*", "READ.me"));
    EXPECT_FALSE(MatchesFilePattern("read.*", "reader"));
    EXPECT_TRUE(MatchesFilePattern("*.", "Makefile"));
    EXPECT_FALSE(MatchesFilePattern("*.", "a.txt"));
    EXPECT_TRUE(MatchesFilePattern("core.", "core"));
    EXPECT_FALSE(MatchesFilePattern("core.", "core.1"));
}

TEST(Wildcard, NonAsciiNamesMatchByCharacter) {
    const std::string hyou = "\xE8\xA1\xA8";  // one character, three bytes
    EXPECT_TRUE(MatchesFilePattern("?.txt", hyou + ".txt"));
    EXPECT_TRUE(MatchesFilePattern(hyou + "*", hyou + "x"));
    // Non-ASCII letters are compared byte for byte: no case folding beyond ASCII.
    EXPECT_FALSE(MatchesFilePattern("\xC3\xA9.txt", "\xC3\x89.txt"));  // é vs É
    // Bytes that are not UTF-8 still match, one byte a character.
    EXPECT_TRUE(MatchesFilePattern("?.bak", "\xFF.bak"));
    EXPECT_TRUE(MatchesFilePattern("*.bak", "\xFF\xFE.bak"));
}

TEST(Wildcard, PiecesThatCannotNameAFileInAFolderMatchNothing) {
    for (const char* bad : {"", ".", "..", "../*.bak", "/etc/passwd", "a/b", "*/"}) {
        EXPECT_FALSE(IsUsableFilePattern(bad)) << bad;
        EXPECT_FALSE(MatchesFilePattern(bad, "a")) << bad;
        EXPECT_FALSE(MatchesFilePattern(bad, "..")) << bad;
    }
    EXPECT_TRUE(IsUsableFilePattern("..bak"));
}

TEST(Wildcard, ManyStarsStayFast) {
    // Exponential back-tracking would not finish this in the test's lifetime.
    const std::string pattern = std::string(50, '*') + "b";
    const std::string name(5000, 'a');
    EXPECT_FALSE(MatchesFilePattern(pattern, name));
}

}  // namespace
}  // namespace vask
