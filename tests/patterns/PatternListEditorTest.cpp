#include "patterns/PatternListEditor.h"

#include <gtest/gtest.h>

#include "patterns/PatternWizard.h"
#include "platform/fakes/MemoryFileSystem.h"
#include "platform/fakes/ScriptedPrompter.h"
#include "platform/fakes/SpelledCp932Decoder.h"

namespace vask {
namespace {

struct EditorCase {
    const char* name;
    std::string file;
    std::string text;   // what the edit box shows
    std::string saved;  // what saving that text writes
};

TEST(PatternListEditorText, AddsALineBreakAfterEveryReadAndSavesCrLf) {
    const std::string x259(259, 'x');
    const EditorCase cases[] = {
        {"final line break: one more at the end", "a\r\nb\r\n", "a\r\nb\r\n\r\n", "a\r\nb\r\n\r\n"},
        {"no final line break: one is added", "a\nb", "a\r\nb\r\n", "a\r\nb\r\n"},
        {"empty file", "", "\r\n", "\r\n"},
        {"a 259-byte line is followed by an empty line", x259 + "\r\n", x259 + "\r\n\r\n\r\n",
         x259 + "\r\n\r\n\r\n"},
        {"nothing is trimmed; a lone CR stays", " a \t\r\nb\rc", " a \t\r\nb\rc\r\n", " a \t\r\nb\rc\r\n"},
    };
    SpelledCp932Decoder decoder;
    for (const EditorCase& c : cases) {
        EXPECT_EQ(EditorTextFromFile(c.file, decoder), c.text) << c.name;
        EXPECT_EQ(FileBytesFromEditorText(c.text), c.saved) << c.name;
    }
    // The edit box gives plain LF line breaks back.
    EXPECT_EQ(FileBytesFromEditorText("a\nb\n"), "a\r\nb\r\n");
}

class PatternListEditorTest : public ::testing::Test {
  protected:
    void PutList(const std::string& content) {
        auto node = fs.AddFile("/cwd/VaskFile.Txt", 0);
        node->content = content;
        node->size = content.size();
    }
    std::string List() { return MemoryFileSystem::ContentOf(*fs.Find("/cwd/VaskFile.Txt")); }

    MemoryFileSystem fs;
    ScriptedPrompter prompter;
    SpelledCp932Decoder decoder;
    PatternListEditor editor{fs, prompter, decoder};
};

TEST_F(PatternListEditorTest, SavesOnlyWhenModifiedAndConfirmed) {
    PutList("<A>\r\n*.bak");
    ASSERT_TRUE(editor.OnInitDialog());
    EXPECT_EQ(editor.Text(), "<A>\r\n*.bak\r\n");
    EXPECT_TRUE(editor.OnOK(false, "ignored"));
    EXPECT_TRUE(prompter.Prompts().empty());
    prompter.Answer(PromptAnswer::No);
    EXPECT_TRUE(editor.OnOK(true, "<B>\n"));
    EXPECT_EQ(List(), "<A>\r\n*.bak");
    prompter.Answer(PromptAnswer::Yes);
    EXPECT_TRUE(editor.OnOK(true, "<B>\n*.tmp\n"));
    EXPECT_EQ(List(), "<B>\r\n*.tmp\r\n");
    EXPECT_EQ(prompter.Prompts()[0].text, kSaveQuestion);
    EXPECT_EQ(prompter.UnexpectedCount(), 0);
}

TEST_F(PatternListEditorTest, AFailedSaveKeepsTheOldListAndTheDialogOpen) {
    PutList("old\r\n");
    ASSERT_TRUE(editor.OnInitDialog());
    fs.FailNthCall(FsOperation::SyncFile, 1, EIO);
    prompter.Answer(PromptAnswer::Yes);
    prompter.Answer(PromptAnswer::Ok);
    EXPECT_FALSE(editor.OnOK(true, "new\n"));
    EXPECT_EQ(List(), "old\r\n");
    EXPECT_EQ(prompter.Prompts().back().text.rfind(std::string(kSaveFailedMessage) + "\n", 0), 0u);
}

TEST_F(PatternListEditorTest, AMissingListIsCreatedEmptyAndAnUnreadableOneIsNotEdited) {
    fs.AddFolder("/cwd");
    ASSERT_TRUE(editor.OnInitDialog());
    EXPECT_EQ(editor.Text(), "\r\n");
    EXPECT_EQ(List(), "");

    MemoryFileSystem other;
    other.AddOther("/cwd/VaskFile.Txt");  // a FIFO in its place
    PatternListEditor blocked(other, prompter, decoder);
    prompter.Answer(PromptAnswer::Ok);
    EXPECT_FALSE(blocked.OnInitDialog());
    EXPECT_EQ(prompter.Prompts().back().text.rfind(std::string(kUnreadableListMessage) + "\n", 0), 0u);
    EXPECT_EQ(other.Find("/cwd/VaskFile.Txt")->kind, EntryKind::Other);
}

}  // namespace
}  // namespace vask
