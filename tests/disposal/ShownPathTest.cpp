#include "disposal/ShownPath.h"

#include <gtest/gtest.h>

#include <string>

namespace vask {
namespace {

TEST(ShownPath, EscapesEveryControlByteAndKeepsValidUtf8) {
    struct Row {
        const char* name;
        std::string path;
        std::string shown;
    };
    const Row rows[] = {
        {"plain", "/home/a/b.bak", "/home/a/b.bak"},
        {"japanese", "/home/a/\xe3\x83\x95\xef\xbe\x8c.bak", "/home/a/\xe3\x83\x95\xef\xbe\x8c.bak"},
        {"named escapes", "a\tb\nc\rd\ae\bf\vg\fh", "a\\tb\\nc\\rd\\ae\\bf\\vg\\fh"},
        {"escape and other C0", std::string("x\x1b[31my\x01z") + '\0' + "w", "x\\x1b[31my\\x01z\\x00w"},
        {"delete", "a\x7f", "a\\x7f"},
        {"C1 control (CSI)",
         "a\xc2\x9b"
         "31m",
         "a\\xc2\\x9b31m"},
        {"just past C1 stays", "\xc2\xa0", "\xc2\xa0"},
        {"lone continuation", "a\x80z", "a\\x80z"},
        {"truncated sequence", "a\xe3\x83", "a\\xe3\\x83"},
        {"overlong slash", "\xc0\xaf", "\\xc0\\xaf"},
        {"surrogate", "\xed\xa0\x80", "\\xed\\xa0\\x80"},
        {"four bytes", "\xf0\x9f\x98\x80", "\xf0\x9f\x98\x80"},
        {"past U+10FFFF", "\xf4\x90\x80\x80", "\\xf4\\x90\\x80\\x80"},
        {"backslash kept", "a\\nb", "a\\nb"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(ShownPath(row.path), row.shown) << row.name;
}

}  // namespace
}  // namespace vask
