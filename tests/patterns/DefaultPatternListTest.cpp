// The default list Vask ships: its format, and that every pattern in it names files people really find
// on Linux and none that they keep.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "patterns/PatternListFile.h"
#include "patterns/PatternWizard.h"
#include "platform/fakes/SpelledCp932Decoder.h"
#include "search/Wildcard.h"

namespace vask {
namespace {

std::string DefaultListBytes() {
    std::ifstream in(VASK_DEFAULT_PATTERN_LIST, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Names seen on real systems: leftovers the list is meant to find...
const char* const kLeftovers[] = {"notes.txt~",
                                  "#notes.txt#",
                                  ".main.c.swp",
                                  ".main.c.swo",
                                  ".main.c.kate-swp",
                                  "report.BAK",
                                  "main.o",
                                  "main.obj",
                                  "util.cpython-311.pyc",
                                  "util.pyo",
                                  "Main.class",
                                  "stdafx.h.gch",
                                  "a.out",
                                  "paper.aux",
                                  "paper.fls",
                                  "paper.fdb_latexmk",
                                  "paper.synctex.gz",
                                  "core",
                                  "vgcore.31337",
                                  "hs_err_pid4242.log",
                                  "_usr_bin_gedit.1000.crash",
                                  "minidump.dmp",
                                  "bash.exe.stackdump",
                                  "main.c.orig",
                                  "main.c.rej",
                                  "main.c.porig",
                                  "sshd_config.dpkg-old",
                                  "sshd_config.dpkg-dist",
                                  "grub.ucf-old",
                                  "fstab.rpmsave",
                                  "yum.conf.rpmnew",
                                  "cache.tmp",
                                  "session.temp",
                                  "build.log",
                                  "app.log.1",
                                  "app.log.2.gz",
                                  "nohup.out",
                                  "debian-12.iso.part",
                                  "setup.exe.crdownload",
                                  "photos.zip",
                                  "linux-6.1.tar.gz",
                                  "src.tgz",
                                  "gcc-13.tar.bz2",
                                  "xz-5.4.tar.xz",
                                  "backup.7z",
                                  "old.rar",
                                  "tools.lzh",
                                  "code_1.85_amd64.deb",
                                  "vim-9.0.x86_64.rpm",
                                  "debian-12.iso",
                                  "Thumbs.db",
                                  "ehthumbs.db",
                                  "desktop.ini",
                                  ".DS_Store",
                                  "._photo.jpg"};
// ...and names that must never be offered for deletion.
const char* const kKeepers[] = {"Makefile",   "main.c",        "main.cpp",    "README.md",  ".bashrc",
                                ".profile",   "core.js",       "corefile.py", "notes.txt",  "changelog",
                                "blog.md",    "catalog.xml",   "photo.jpg",   "report.pdf", "id_rsa",
                                "Cargo.toml", "package.json",  "config.h",    "dialog.ui",  "backup",
                                "logo.svg",   "temporary.txt", "part1.mp4"};

TEST(DefaultPatternList, HasTheFormTheWizardNeeds) {
    const std::string bytes = DefaultListBytes();
    ASSERT_FALSE(bytes.empty());
    EXPECT_TRUE(IsValidUtf8(bytes));
    EXPECT_EQ(bytes.find('\n'), bytes.find("\r\n") + 1);  // CR LF line ends
    SpelledCp932Decoder decoder;
    const std::vector<std::string> lines = DecodeListLines(bytes, decoder, false);
    for (const std::string& line : lines)
        EXPECT_LT(line.size(), kListReadBytes) << line;
    PatternCheckList list;
    list.Load(DecodeListLines(bytes, decoder, true));
    ASSERT_FALSE(list.Lines().empty());
    EXPECT_EQ(list.Lines().front().text[0], '<');
    EXPECT_EQ(list.Lines().back().text[0], '<');  // the closing header
    EXPECT_GE(list.FindExact(kOtherSectionHeader), 0);
}

TEST(DefaultPatternList, EveryPatternFindsARealLeftoverAndNoKeeper) {
    SpelledCp932Decoder decoder;
    PatternCheckList list;
    list.Load(DecodeListLines(DefaultListBytes(), decoder, true));
    std::vector<bool> leftoverFound(std::size(kLeftovers), false);
    for (const CheckLine& line : list.Lines()) {
        if (line.text[0] == '<' || line.text[0] == '-') continue;
        EXPECT_EQ(line.text.find(';'), std::string::npos) << "one pattern a line: " << line.text;
        bool found = false;
        for (std::size_t i = 0; i < std::size(kLeftovers); ++i) {
            if (!MatchesFilePattern(line.text, kLeftovers[i])) continue;
            found = true;
            leftoverFound[i] = true;
        }
        EXPECT_TRUE(found) << line.text << " matches no known leftover";
        for (const char* keeper : kKeepers)
            EXPECT_FALSE(MatchesFilePattern(line.text, keeper)) << line.text << " matches " << keeper;
    }
    for (std::size_t i = 0; i < std::size(kLeftovers); ++i)
        EXPECT_TRUE(leftoverFound[i]) << kLeftovers[i] << " is found by no pattern";
}

}  // namespace
}  // namespace vask
