// The pattern wizard without widgets: the check list of the pattern list file, pre-ticked from the main
// window's pattern box, with whole sections ticked by their header; OK puts the ticked patterns into the
// pattern box. The Qt dialog (patterns/ui/PatternWizardDialog.h) shows Lines() and forwards each user action
// to one call here.
//
// Lines: every line of "VaskFile.Txt" that is neither blank nor a comment, trimmed, in file order. A line
// starting with "<" is a section header (three-state box), one starting with "-" a separator (disabled);
// a section runs from its header to the next header. The last line is disabled after loading, so the
// closing header of a list cannot be clicked.
//
// Single-threaded (the user-interface thread).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/Prompter.h"
#include "platform/TextDecoder.h"
#include "settings/DialogStateHolder.h"

namespace vask {

// Control identifiers of the wizard (dialog 173).
namespace wizard_control {
inline constexpr int kOk = 1;
inline constexpr int kCancel = 2;
inline constexpr int kPatternList = 1059;
inline constexpr int kEdit = 1061;
inline constexpr int kRevert = 1062;
}  // namespace wizard_control

inline constexpr const char* kWizardCaption = "削除ﾌｧｲﾙ入力Wizard";
inline constexpr const char* kOtherSectionHeader = "<その他>";
inline constexpr const char* kNoOtherSectionMessage =
    "VaskFile.Txt に <その他> がないのでエラーになりました。";
inline constexpr const char* kEditQuestion =
    "ﾌｧｲﾙ先頭にあるｺﾒﾝﾄをよくお読みの上、ご自身の責任において編集してください。\n編集しますか?";
// The tip of the wizard's Edit button and of the editor's text box.
inline constexpr const char* kOwnRiskTip = "ご自身の責任においてご使用ください。";
inline constexpr const char* kRevertQuestion = "削除ﾌｧｲﾙ入力ﾘｽﾄをﾃﾞﾌｫﾙﾄに戻します。";
inline constexpr const char* kRevertFailedMessage = "削除ﾌｧｲﾙ入力ﾘｽﾄをﾃﾞﾌｫﾙﾄに戻せませんでした。";

// One line of the check list. tick: 0 unticked, 1 ticked, 2 partly ticked (set on headers only).
struct CheckLine {
    std::string text;
    int tick = 0;
    bool enabled = true;
};

// The check list and the wizard's memory of it, with the section logic.
class PatternCheckList {
  public:
    // Empties the list, then appends the lines of a list file (as DecodeListLines with trimming gives
    // them): blanks and comments are passed over, separators are disabled, all are unticked.
    void Load(std::vector<std::string> trimmedLines);

    // Ticks the line of each item, or inserts the item ticked directly below "<その他>"; returns the items
    // that found neither (no such header). Then disables the last line.
    std::vector<std::string> MarkCurrentPatterns(const std::vector<std::string>& items);
    // The same, item by item with the list box's searches: the plain form of the rule, which
    // MarkCurrentPatterns follows exactly (it looks every item up in an index instead).
    std::vector<std::string> MarkCurrentPatternsOneByOne(const std::vector<std::string>& items);

    // Sets each header's box from its section: 2 when its lines differ, else their common tick; a section
    // without lines keeps its header's box; the section after the last header is never settled.
    void UpdateSectionHeaders();

    // A click on the list: every line whose tick differs from knownTicks is taken as changed by the user;
    // a changed header carries its tick to its section. Then UpdateSectionHeaders.
    void OnListClicked();

    // What the list does itself when the user clicks a line's box (before the wizard hears of it):
    // unticked becomes ticked, ticked or partly ticked becomes unticked; a disabled line ignores it.
    void ToggleByUser(std::size_t index);

    // The ticked pattern lines (tick exactly 1, neither header nor separator) joined with ";".
    std::string BuildPatternText() const;

    // The list box's searches with start index 0: from the second line to the last, then the first; the
    // first hit wins; ASCII letters compare without case. -1 when nothing matches.
    int FindExact(std::string_view text) const;
    int FindPrefix(std::string_view prefix) const;

    const std::vector<CheckLine>& Lines() const { return lines_; }
    const std::vector<std::uint8_t>& KnownTicks() const { return knownTicks_; }
    // Sets the tick only, as a change the list made without telling the wizard (tests use it).
    void SetTick(std::size_t index, int tick) { lines_[index].tick = tick; }

  private:
    void SetTickAndKnown(std::size_t index, int tick);
    template <class Match>
    int FindInSearchOrder(Match match) const;

    std::vector<CheckLine> lines_;
    std::vector<std::uint8_t> knownTicks_;
};

// What the wizard needs around it. All references must outlive the wizard.
struct PatternWizardPorts {
    DialogStateHolder& patternBox;  // the main window's pattern box 1015
    Prompter& prompter;
    FileSystem& fileSystem;
    Cp932Decoder& decoder;
    // The main window's pattern-text parse: the pieces of the pattern box, after its "*.*" question.
    std::function<std::vector<std::string>()> parsePatternText;
    // The tooltip option (bToolTip), read when a tooltip is asked for.
    std::function<bool()> tooltipsOn;
    // Runs the editor modally; true when it closed with OK.
    std::function<bool()> runEditor;
    // Folders (absolute) searched for "VaskFile._xt" after the current folder.
    std::vector<std::string> defaultListFolders;
};

class PatternWizard {
  public:
    explicit PatternWizard(PatternWizardPorts ports) : ports_(std::move(ports)) {}

    // The dialog's start, also re-run after Edit and Revert: LoadPatternList, MarkCurrentPatterns,
    // UpdateSectionHeaders.
    void OnInitDialog();
    // Copies the default to "VaskFile.Txt" when there is none (silently kept as it is when that fails),
    // then reads it into the list. A list that cannot be read is an empty list.
    void LoadPatternList();
    // Ticks from the pattern box; one message per item that has no place.
    void MarkCurrentPatterns();
    // A click on list 1059 (the dialog holds its input lock itself).
    void OnPatternListClicked() { list_.OnListClicked(); }
    // OK: empties the pattern box's drop-down and sets its text to the ticked patterns.
    void OnOK();
    // Edit 1061: the warning, then the editor; after its OK the list is built afresh. True when it was.
    bool OnEdit();
    // Revert 1062: the question, then the default written over "VaskFile.Txt" (a failure is reported and
    // keeps the old list), then the list is built afresh. True when it was.
    bool OnRevert();
    // The tooltip of a control, or "" (bToolTip off, or a control without one).
    std::string TooltipText(int controlId) const;

    PatternCheckList& List() { return list_; }
    const PatternCheckList& List() const { return list_; }

  private:
    PatternWizardPorts ports_;
    PatternCheckList list_;
};

// "<what failed>\n<path>: <errno text>", the form of Vask's file-failure messages here.
std::string FileFailureMessage(const char* what, const Status& status);

}  // namespace vask
