#include "patterns/PatternWizard.h"

#include <gtest/gtest.h>

#include <random>

#include "app/core/MainDialogController.h"
#include "patterns/PatternListEditor.h"
#include "platform/fakes/MemoryDialogState.h"
#include "platform/fakes/MemoryFileSystem.h"
#include "platform/fakes/ScriptedPrompter.h"
#include "platform/fakes/SpelledCp932Decoder.h"

namespace vask {
namespace {

using Texts = std::vector<std::string>;

// Ticks of the lines, as a string of digits ("0120").
std::string Ticks(const PatternCheckList& list) {
    std::string ticks;
    for (const CheckLine& line : list.Lines())
        ticks += static_cast<char>('0' + line.tick);
    return ticks;
}

Texts TextsOf(const PatternCheckList& list) {
    Texts texts;
    for (const CheckLine& line : list.Lines())
        texts.push_back(line.text);
    return texts;
}

PatternCheckList Loaded(const Texts& lines) {
    PatternCheckList list;
    list.Load(lines);
    return list;
}

TEST(PatternCheckList, LoadsShownLinesAndDisablesSeparatorsAndTheLastLine) {
    PatternCheckList list = Loaded({"' comment", "", "<A>", "*.bak", "----", "<B>"});
    EXPECT_EQ(TextsOf(list), (Texts{"<A>", "*.bak", "----", "<B>"}));
    EXPECT_FALSE(list.Lines()[2].enabled);
    EXPECT_TRUE(list.Lines()[3].enabled);
    EXPECT_TRUE(list.MarkCurrentPatterns({}).empty());
    EXPECT_FALSE(list.Lines()[3].enabled);
    EXPECT_EQ(list.KnownTicks().size(), 4u);
}

TEST(PatternCheckList, MarksPatternsInTheListBoxSearchOrder) {
    // *.BAK finds *.bak (ASCII case only), and the first line is searched last.
    PatternCheckList list = Loaded({"*.bak", "<A>", "*.Bak", "*.ÄX", "<その他>", "<end>"});
    EXPECT_TRUE(list.MarkCurrentPatterns({"*.BAK"}).empty());
    EXPECT_EQ(Ticks(list), "001000");
    EXPECT_EQ(list.FindExact("*.äx"), -1);  // no folding beyond ASCII
    // Unmatched items go directly below "<その他>", so they end up in reverse order.
    EXPECT_TRUE(list.MarkCurrentPatterns({"*.aaa", "*.bbb"}).empty());
    EXPECT_EQ(TextsOf(list), (Texts{"*.bak", "<A>", "*.Bak", "*.ÄX", "<その他>", "*.bbb", "*.aaa", "<end>"}));
    EXPECT_EQ(Ticks(list), "00100110");
    EXPECT_EQ(list.KnownTicks()[5], 1);
    // OK takes the lines' own letters.
    EXPECT_EQ(list.BuildPatternText(), "*.Bak;*.bbb;*.aaa");
    // Without "<その他>" the items have no place.
    PatternCheckList bare = Loaded({"<A>", "*.bak", "<end>"});
    EXPECT_EQ(bare.MarkCurrentPatterns({"*.x", "*.bak", "*.y"}), (Texts{"*.x", "*.y"}));
    EXPECT_EQ(bare.Lines().size(), 3u);
}

TEST(PatternCheckList, TheIndexedMarkingAgreesWithTheOneByOneSearches) {
    // Small alphabets make every collision likely: equal texts in other letter case, "<その他>" first,
    // twice or missing, items that start with "<その他>", repeated items.
    const Texts lineWords = {"*.a", "*.A", "*.b", "<その他>", "<その他>x", "<h>", "---", "*.c"};
    const Texts itemWords = {"*.a", "*.B", "*.c", "*.d", "*.D", "<その他>", "<その他>Y", "*.e"};
    std::mt19937 random(11);
    for (int round = 0; round < 3000; ++round) {
        Texts lines, items;
        for (int i = static_cast<int>(random() % 7); i > 0; --i)
            lines.push_back(lineWords[random() % lineWords.size()]);
        for (int i = static_cast<int>(random() % 6); i > 0; --i)
            items.push_back(itemWords[random() % itemWords.size()]);
        PatternCheckList indexed = Loaded(lines), plain = Loaded(lines);
        const Texts homeless = indexed.MarkCurrentPatterns(items);
        ASSERT_EQ(homeless, plain.MarkCurrentPatternsOneByOne(items));
        ASSERT_EQ(TextsOf(indexed), TextsOf(plain)) << round;
        ASSERT_EQ(Ticks(indexed), Ticks(plain)) << round;
        ASSERT_EQ(indexed.KnownTicks(), plain.KnownTicks()) << round;
        if (!indexed.Lines().empty()) {
            ASSERT_FALSE(indexed.Lines().back().enabled);
        }
    }
}

struct SectionCase {
    const char* name;
    Texts lines;
    std::string ticksBefore;
    std::string ticksAfter;
};

TEST(PatternCheckList, SettlesHeadersFromTheirSections) {
    const SectionCase cases[] = {
        {"mixed section: partly", {"<H>", "*.a", "*.b", "<end>"}, "0100", "2100"},
        {"all ticked", {"<H>", "*.a", "*.b", "<end>"}, "0110", "1110"},
        {"all unticked", {"<H>", "*.a", "<end>"}, "100", "000"},
        {"separators are skipped", {"<H>", "---", "*.a", "---", "<end>"}, "00100", "10100"},
        {"a section of separators only keeps its header", {"<H>", "---", "<end>"}, "100", "100"},
        {"an empty section keeps its header", {"<H>", "<I>", "*.a", "<end>"}, "1010", "1110"},
        {"the last section is never settled", {"<H>", "*.a"}, "01", "01"},
        {"lines before the first header count for nothing", {"*.x", "<H>", "*.a", "<end>"}, "1000", "1000"},
    };
    for (const SectionCase& c : cases) {
        PatternCheckList list = Loaded(c.lines);
        for (std::size_t i = 0; i < c.ticksBefore.size(); ++i)
            list.SetTick(i, c.ticksBefore[i] - '0');
        list.UpdateSectionHeaders();
        EXPECT_EQ(Ticks(list), c.ticksAfter) << c.name;
    }
}

TEST(PatternCheckList, AHeaderClickCarriesItsTickToItsSection) {
    PatternCheckList list = Loaded({"<H>", "*.a", "---", "*.b", "<I>", "*.c", "<end>"});
    list.MarkCurrentPatterns({"*.a"});
    list.UpdateSectionHeaders();
    EXPECT_EQ(Ticks(list), "2100000");
    // Partly ticked: a click unticks the header and with it its section.
    list.ToggleByUser(0);
    list.OnListClicked();
    EXPECT_EQ(Ticks(list), "0000000");
    list.ToggleByUser(0);
    list.OnListClicked();
    EXPECT_EQ(Ticks(list), "1101000");  // the separator is left alone
    // A click on one line only settles its header.
    list.ToggleByUser(3);
    list.OnListClicked();
    EXPECT_EQ(Ticks(list), "2100000");
    // The disabled separator and the disabled last line ignore clicks.
    list.ToggleByUser(2);
    list.ToggleByUser(6);
    EXPECT_EQ(Ticks(list), "2100000");
    // A change the list made on its own (the keyboard) is caught by the next click's scan.
    list.SetTick(4, 1);
    list.OnListClicked();
    EXPECT_EQ(Ticks(list), "2100110");
    EXPECT_EQ(list.KnownTicks(), (std::vector<std::uint8_t>{2, 1, 0, 0, 1, 1, 0}));
}

TEST(PatternCheckList, OnlyTickedPatternLinesMakeThePatternText) {
    PatternCheckList list = Loaded({"<H>", "-x", "*.tmp;*.log", "*.a", "<end>"});
    for (std::size_t i = 0; i < 5; ++i)
        list.SetTick(i, 1);
    list.SetTick(3, 2);
    EXPECT_EQ(list.BuildPatternText(), "*.tmp;*.log");
    EXPECT_EQ(Loaded({"<H>"}).BuildPatternText(), "");
    // Reopened with that text, neither piece has a line of its own: both go below "<その他>".
    PatternCheckList reopened = Loaded({"<H>", "*.tmp;*.log", "<その他>", "<end>"});
    reopened.MarkCurrentPatterns({"*.tmp", "*.log"});
    EXPECT_EQ(TextsOf(reopened), (Texts{"<H>", "*.tmp;*.log", "<その他>", "*.log", "*.tmp", "<end>"}));
    EXPECT_EQ(Ticks(reopened), "000110");
}

class PatternWizardTest : public ::testing::Test {
  protected:
    void SetUp() override { fs.AddFolder("/cwd"); }
    void PutFile(const std::string& path, const std::string& content) {
        auto node = fs.AddFile(path, 0);
        node->content = content;
        node->size = content.size();
    }
    std::string FileContent(const std::string& path) { return MemoryFileSystem::ContentOf(*fs.Find(path)); }
    PatternWizard MakeWizard() {
        return PatternWizard(PatternWizardPorts{box,
                                                prompter,
                                                fs,
                                                decoder,
                                                [this] { return SplitPatternText(box.patternText); },
                                                [this] { return tooltips; },
                                                [this] { return editorAnswer; },
                                                {"/usr/share/vask/"}});
    }

    MemoryFileSystem fs;
    ScriptedPrompter prompter;
    MemoryDialogState box;
    SpelledCp932Decoder decoder;
    bool tooltips = true;
    bool editorAnswer = true;
};

TEST_F(PatternWizardTest, FirstOpenCopiesTheDefaultAndTicksThePatternBox) {
    PutFile("/usr/share/vask/VaskFile._xt", "' head\r\n<A>\r\n*.bak\r\n*.old\r\n<その他>\r\n<end>\r\n");
    box.patternText = "*.BAK;*.zzz";
    box.patternItems = {"*.x", "*.y"};
    PatternWizard wizard = MakeWizard();
    wizard.OnInitDialog();
    EXPECT_EQ(FileContent("/cwd/VaskFile.Txt"), FileContent("/usr/share/vask/VaskFile._xt"));
    EXPECT_EQ(Ticks(wizard.List()), "210110");
    EXPECT_EQ(prompter.Prompts().size(), 0u);
    wizard.OnOK();
    EXPECT_EQ(box.patternText, "*.bak;*.zzz");
    EXPECT_TRUE(box.patternItems.empty());
}

TEST_F(PatternWizardTest, WithoutAnyListEveryPatternGetsTheMessageAndAnEmptyFileIsCreated) {
    box.patternText = "*.a;*.b";
    PatternWizard wizard = MakeWizard();
    wizard.OnInitDialog();
    EXPECT_TRUE(wizard.List().Lines().empty());
    ASSERT_EQ(prompter.Prompts().size(), 2u);
    EXPECT_EQ(prompter.Prompts()[0].text, kNoOtherSectionMessage);
    EXPECT_EQ(FileContent("/cwd/VaskFile.Txt"), "");
    // OK with nothing ticked empties the pattern box.
    wizard.OnOK();
    EXPECT_EQ(box.patternText, "");
}

TEST_F(PatternWizardTest, AListThatCannotBeReadIsAnEmptyListAndIsLeftAlone) {
    fs.AddFolder("/cwd/VaskFile.Txt");  // a folder in its place
    PatternWizard wizard = MakeWizard();
    wizard.OnInitDialog();
    EXPECT_TRUE(wizard.List().Lines().empty());
    EXPECT_EQ(fs.Find("/cwd/VaskFile.Txt")->kind, EntryKind::Directory);
}

TEST_F(PatternWizardTest, RevertAsksThenPutsTheDefaultBackOrSaysWhyNot) {
    PutFile("/usr/share/vask/VaskFile._xt", "<A>\r\n*.bak\r\n<end>\r\n");
    PutFile("/cwd/VaskFile.Txt", "<mine>\r\n*.x\r\n<end>\r\n");
    PatternWizard wizard = MakeWizard();
    wizard.OnInitDialog();
    prompter.Answer(PromptAnswer::No);
    EXPECT_FALSE(wizard.OnRevert());
    EXPECT_EQ(TextsOf(wizard.List())[0], "<mine>");

    fs.FailNthCall(FsOperation::Write, 1, ENOSPC);
    prompter.Answer(PromptAnswer::Yes);
    prompter.Answer(PromptAnswer::Ok);
    EXPECT_TRUE(wizard.OnRevert());
    EXPECT_EQ(FileContent("/cwd/VaskFile.Txt"), "<mine>\r\n*.x\r\n<end>\r\n");
    const std::string message = prompter.Prompts().back().text;
    EXPECT_EQ(message.rfind(std::string(kRevertFailedMessage) + "\n/cwd/.VaskFile.Txt.vask-", 0), 0u)
        << message;
    EXPECT_TRUE(message.ends_with(": No space left on device")) << message;

    prompter.Answer(PromptAnswer::Yes);
    EXPECT_TRUE(wizard.OnRevert());
    EXPECT_EQ(TextsOf(wizard.List()), (Texts{"<A>", "*.bak", "<end>"}));
    EXPECT_EQ(prompter.Prompts()[1].text, kRevertQuestion);
    EXPECT_EQ(prompter.UnexpectedCount(), 0);
}

TEST_F(PatternWizardTest, EditReloadsOnlyAfterTheEditorsOk) {
    PutFile("/cwd/VaskFile.Txt", "<A>\r\n*.bak\r\n<end>\r\n");
    box.patternText = "*.bak";
    PatternWizard wizard = MakeWizard();
    wizard.OnInitDialog();
    wizard.List().SetTick(1, 0);
    prompter.Answer(PromptAnswer::No);
    EXPECT_FALSE(wizard.OnEdit());
    editorAnswer = false;
    prompter.Answer(PromptAnswer::Yes);
    EXPECT_FALSE(wizard.OnEdit());
    EXPECT_EQ(Ticks(wizard.List()), "100");  // kept as the user left it
    editorAnswer = true;
    prompter.Answer(PromptAnswer::Yes);
    EXPECT_TRUE(wizard.OnEdit());
    EXPECT_EQ(Ticks(wizard.List()), "110");  // ticks come from the pattern box again
    EXPECT_EQ(prompter.Prompts()[0].text, kEditQuestion);
    EXPECT_EQ(prompter.Prompts()[0].buttons, PromptButtons::YesNo);
}

}  // namespace
}  // namespace vask
