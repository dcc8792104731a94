// The pattern list on the real file system and with the real CP932 decoder: things put in the list's
// place (a FIFO, a folder, a link), Windows Japanese text, and a full disk while saving.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>

#include <cstring>
#include <fstream>
#include <iterator>

#include "TempTree.h"
#include "patterns/PatternListEditor.h"
#include "patterns/PatternListFile.h"
#include "patterns/PatternWizard.h"
#include "platform/fakes/MemoryDialogState.h"
#include "platform/fakes/ScriptedPrompter.h"
#include "platform/linux/IconvCp932Decoder.h"
#include "platform/linux/PosixFileSystem.h"
#include "tests/platform/FileHelpers.h"

namespace vask {
namespace {

using vask::testing::TempTree;

// Runs the test in folder as the current folder, and goes back afterwards.
class InFolder {
  public:
    explicit InFolder(const std::string& folder)
        : previous_(::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
        ok_ = ::chdir(folder.c_str()) == 0;
    }
    ~InFolder() {
        if (previous_ >= 0 && ::fchdir(previous_) == 0) ::close(previous_);
    }
    bool ok() const { return ok_; }

  private:
    int previous_;
    bool ok_ = false;
};

using vask::testing::Read;

TEST(IconvCp932Decoder, DecodesWindowsJapaneseAndReplacesWhatIsNot) {
    IconvCp932Decoder decoder;
    EXPECT_EQ(decoder.Cp932ToUtf8("\x83\x5C\x95\x5C"), "ソ表");  // trail bytes 0x5C
    EXPECT_EQ(decoder.Cp932ToUtf8("\xCC\xA7\xB2\xD9 \x81\x40<\x82\xBB\x82\xCC\x91\xBC>"), "ﾌｧｲﾙ 　<その他>");
    EXPECT_EQ(decoder.Cp932ToUtf8("a\xFF"
                                  "b\x83"),
              "a\xEF\xBF\xBD"
              "b\xEF\xBF\xBD");
    EXPECT_EQ(decoder.Cp932ToUtf8(""), "");
}

class PatternListRealTest : public ::testing::Test {
  protected:
    PatternWizard MakeWizard(const std::string& patterns) {
        box.patternText = patterns;
        return PatternWizard(PatternWizardPorts{box,
                                                prompter,
                                                fs,
                                                decoder,
                                                [this] { return std::vector<std::string>{box.patternText}; },
                                                [] { return true; },
                                                [] { return false; },
                                                {tree.Path("share/")}});
    }
    TempTree tree;
    PosixFileSystem fs;
    IconvCp932Decoder decoder;
    ScriptedPrompter prompter;
    MemoryDialogState box;
};

TEST_F(PatternListRealTest, SomethingElseInTheListsPlaceIsAnEmptyListAndIsNotTouched) {
    ASSERT_TRUE(tree.Folder("fifo"));
    ASSERT_EQ(::mkfifo(tree.Path("fifo/VaskFile.Txt").c_str(), 0600), 0);
    ASSERT_TRUE(tree.Folder("dir/VaskFile.Txt"));
    ASSERT_TRUE(tree.File("secret", "<keep>\r\n"));
    ASSERT_TRUE(tree.Symlink(tree.Path("secret"), "link/VaskFile.Txt"));
    for (const char* folder : {"fifo", "dir", "link"}) {
        InFolder in(tree.Path(folder));
        ASSERT_TRUE(in.ok());
        PatternWizard wizard = MakeWizard("");
        wizard.OnInitDialog();  // must not block on the FIFO
        EXPECT_TRUE(wizard.List().Lines().empty()) << folder;
        PatternListEditor editor(fs, prompter, decoder);
        prompter.Answer(PromptAnswer::Ok);
        EXPECT_FALSE(editor.OnInitDialog()) << folder;
    }
    EXPECT_EQ(Read(tree.Path("secret")), "<keep>\r\n");
    // Revert puts a file in place of the link; the file it pointed to stays as it was.
    ASSERT_TRUE(tree.File("share/VaskFile._xt", "<D>\r\n<end>\r\n"));
    InFolder in(tree.Path("link"));
    PatternWizard wizard = MakeWizard("");
    prompter.Answer(PromptAnswer::Yes);
    wizard.OnRevert();
    EXPECT_EQ(Read(tree.Path("link/VaskFile.Txt")), "<D>\r\n<end>\r\n");
    EXPECT_EQ(Read(tree.Path("secret")), "<keep>\r\n");
}

TEST_F(PatternListRealTest, AFullDiskKeepsTheOldListAndLeavesNoTemporary) {
    ASSERT_TRUE(tree.Folder("full"));
    struct Unmount {
        std::string path;
        bool mounted;
        ~Unmount() {
            if (mounted) ::umount2(path.c_str(), MNT_DETACH);
        }
    } mount{tree.Path("full"), ::mount("tmpfs", tree.Path("full").c_str(), "tmpfs", 0, "size=64k") == 0};
    if (!mount.mounted) GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
    ASSERT_TRUE(tree.File("full/VaskFile.Txt", "<old>\r\n", 0640));
    InFolder in(tree.Path("full"));
    PatternListEditor editor(fs, prompter, decoder);
    ASSERT_TRUE(editor.OnInitDialog());
    prompter.Answer(PromptAnswer::Yes);
    prompter.Answer(PromptAnswer::Ok);
    EXPECT_FALSE(editor.OnOK(true, std::string(200 * 1024, 'x')));
    EXPECT_EQ(Read(tree.Path("full/VaskFile.Txt")), "<old>\r\n");
    EXPECT_NE(prompter.Prompts().back().text.find("No space left on device"), std::string::npos);
    // Only the list is left in the folder, and a save that fits keeps its mode.
    prompter.Answer(PromptAnswer::Yes);
    EXPECT_TRUE(editor.OnOK(true, "<new>\n"));
    EXPECT_EQ(Read(tree.Path("full/VaskFile.Txt")), "<new>\r\n");
    struct stat st {};
    ASSERT_EQ(::stat(tree.Path("full/VaskFile.Txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(std::system(("test $(ls -A '" + tree.Path("full") + "' | wc -l) -eq 1").c_str()), 0);
}

// Files named like a copy of ours belong to whoever made them: a save keeps them, with unnamed copies and
// with named, journaled ones (as on a file system without O_TMPFILE), and leaves only the list besides.
TEST_F(PatternListRealTest, ASaveRemovesNoFileForItsName) {
    for (bool unnamed : {true, false}) {
        SCOPED_TRACE(unnamed ? "unnamed copies" : "named copies");
        const std::string folder = unnamed ? "unnamed" : "named";
        ASSERT_TRUE(tree.Folder(folder));
        ASSERT_TRUE(tree.Folder(folder + "-journal"));
        ASSERT_TRUE(tree.File(folder + "/.VaskFile.Txt.vask-2024Q1v2", "budget"));
        ASSERT_TRUE(tree.File(folder + "/.VaskFile.Txt.vask-AbCd1234", "someone's"));
        ASSERT_TRUE(tree.File(folder + "/VaskFile.Txt", "<old>\r\n", 0640));
        PosixFileSystem own({}, tree.Path(folder + "-journal"), unnamed);
        InFolder in(tree.Path(folder));
        ASSERT_TRUE(in.ok());
        ASSERT_TRUE(WritePatternListFile(own, "<new>\r\n", ListWrite::ReplaceExisting));
        EXPECT_EQ(Read(tree.Path(folder + "/VaskFile.Txt")), "<new>\r\n");
        EXPECT_EQ(Read(tree.Path(folder + "/.VaskFile.Txt.vask-2024Q1v2")), "budget");
        EXPECT_EQ(Read(tree.Path(folder + "/.VaskFile.Txt.vask-AbCd1234")), "someone's");
        struct stat st {};
        ASSERT_EQ(::stat(tree.Path(folder + "/VaskFile.Txt").c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0640u);
        EXPECT_EQ(std::system(("test $(ls -A '" + tree.Path(folder) + "' | wc -l) -eq 3").c_str()), 0);
        // Without replace an existing list stays as it is.
        EXPECT_EQ(WritePatternListFile(own, "x", ListWrite::KeepExisting).code(), EEXIST);
        EXPECT_EQ(Read(tree.Path(folder + "/VaskFile.Txt")), "<new>\r\n");
    }
}

}  // namespace
}  // namespace vask
