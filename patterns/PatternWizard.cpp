#include "patterns/PatternWizard.h"

#include <cerrno>

#include "patterns/PatternListFile.h"

namespace vask {

namespace {

bool IsHeader(const std::string& text) {
    return !text.empty() && text[0] == '<';
}

bool IsSeparator(const std::string& text) {
    return !text.empty() && text[0] == '-';
}

bool StartsWithIgnoringAsciiCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && EqualsIgnoringAsciiCase(text.substr(0, prefix.size()), prefix);
}

struct TooltipEntry {
    int id;
    const char* text;
};
constexpr TooltipEntry kTooltips[] = {
    {wizard_control::kPatternList, "削除ﾌｧｲﾙをﾁｪｯｸしてください。"},
    {wizard_control::kEdit, "ご自身の責任においてご使用ください。"},
    {wizard_control::kRevert, "削除ﾌｧｲﾙ入力ﾘｽﾄをﾃﾞﾌｫﾙﾄに戻します。編集に失敗した場合にご使用ください。"},
};

}  // namespace

std::string FileFailureMessage(const char* what, const Status& status) {
    return std::string(what) + "\n" + status.path() + ": " + status.ErrorText();
}

// --- the check list ---

void PatternCheckList::Load(const std::vector<std::string>& trimmedLines) {
    lines_.clear();
    knownTicks_.clear();
    for (const std::string& line : trimmedLines) {
        const ListLineKind kind = ClassifyListLine(line);
        if (kind == ListLineKind::Blank || kind == ListLineKind::Comment) continue;
        lines_.push_back(CheckLine{line, 0, kind != ListLineKind::Separator});
        knownTicks_.push_back(0);
    }
}

template <class Match>
int PatternCheckList::FindInSearchOrder(Match match) const {
    const std::size_t count = lines_.size();
    for (std::size_t step = 1; step <= count; ++step) {
        const std::size_t i = step % count;  // 1, 2, ..., count-1, then 0
        if (match(lines_[i].text)) return static_cast<int>(i);
    }
    return -1;
}

int PatternCheckList::FindExact(std::string_view text) const {
    return FindInSearchOrder([&](const std::string& line) { return EqualsIgnoringAsciiCase(line, text); });
}

int PatternCheckList::FindPrefix(std::string_view prefix) const {
    return FindInSearchOrder(
        [&](const std::string& line) { return StartsWithIgnoringAsciiCase(line, prefix); });
}

void PatternCheckList::SetTickAndKnown(std::size_t index, int tick) {
    lines_[index].tick = tick;
    knownTicks_[index] = static_cast<std::uint8_t>(tick);
}

std::vector<std::string> PatternCheckList::MarkCurrentPatterns(const std::vector<std::string>& items) {
    std::vector<std::string> homeless;
    for (const std::string& item : items) {
        const int found = FindExact(item);
        if (found >= 0) {
            SetTickAndKnown(static_cast<std::size_t>(found), 1);
            continue;
        }
        const int other = FindPrefix(kOtherSectionHeader);
        if (other < 0) {
            homeless.push_back(item);
            continue;
        }
        const auto at = static_cast<std::size_t>(other) + 1;
        lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at), CheckLine{item, 1, true});
        knownTicks_.insert(knownTicks_.begin() + static_cast<std::ptrdiff_t>(at), 1);
    }
    if (!lines_.empty()) lines_.back().enabled = false;
    return homeless;
}

void PatternCheckList::UpdateSectionHeaders() {
    int header = -1;
    bool expectingFirstLine = false;
    int sectionState = 0;
    bool mixed = false;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        const CheckLine& line = lines_[i];
        if (IsSeparator(line.text)) continue;
        if (IsHeader(line.text)) {
            if (header >= 0) {
                if (mixed) {
                    SetTickAndKnown(static_cast<std::size_t>(header), 2);
                } else if (!expectingFirstLine) {
                    SetTickAndKnown(static_cast<std::size_t>(header), sectionState);
                }
            }
            header = static_cast<int>(i);
            expectingFirstLine = true;
            mixed = false;
        } else if (expectingFirstLine) {
            sectionState = line.tick;
            expectingFirstLine = false;
        } else if (header >= 0 && line.tick != sectionState) {
            mixed = true;
        }
    }
}

void PatternCheckList::OnListClicked() {
    const std::size_t count = lines_.size();
    std::size_t i = 0;
    while (i < count) {
        const int tick = lines_[i].tick;
        if (tick == knownTicks_[i]) {
            ++i;
            continue;
        }
        knownTicks_[i] = static_cast<std::uint8_t>(tick);
        if (!IsHeader(lines_[i].text) || (tick != 0 && tick != 1)) {
            ++i;
            continue;
        }
        std::size_t j = i + 1;
        for (; j < count && !IsHeader(lines_[j].text); ++j) {
            if (!IsSeparator(lines_[j].text)) SetTickAndKnown(j, tick);
        }
        // The next header was reached: go on after it. The end was reached: go on after the clicked one.
        i = j < count ? j + 1 : i + 1;
    }
    UpdateSectionHeaders();
}

void PatternCheckList::ToggleByUser(std::size_t index) {
    if (index >= lines_.size() || !lines_[index].enabled) return;
    lines_[index].tick = lines_[index].tick == 0 ? 1 : 0;
}

std::string PatternCheckList::BuildPatternText() const {
    std::string text;
    for (const CheckLine& line : lines_) {
        if (line.tick != 1 || IsHeader(line.text) || IsSeparator(line.text)) continue;
        text += line.text;
        text += ';';
    }
    if (!text.empty()) text.pop_back();
    return text;
}

// --- the wizard ---

void PatternWizard::OnInitDialog() {
    LoadPatternList();
    MarkCurrentPatterns();
    list_.UpdateSectionHeaders();
}

void PatternWizard::LoadPatternList() {
    list_.Load({});
    auto folder = ports_.fileSystem.OpenCurrentFolder();
    if (!folder) return;  // no current folder to read from: an empty list
    Directory& current = **folder;

    auto existing = current.StatEntry(kPatternListName);
    if (!existing && existing.status().code() == ENOENT) {
        // The first run: the user's list starts as a copy of the default. A failed copy is not reported:
        // the list then shows whatever "VaskFile.Txt" holds, and Revert says what went wrong.
        if (auto defaults = ReadDefaultPatternList(ports_.fileSystem, ports_.defaultListFolders)) {
            WritePatternListFile(ports_.fileSystem, defaults.value(), ListWrite::KeepExisting);
        }
    }
    auto bytes = ReadListFile(current, kPatternListName);
    if (!bytes) {
        // A missing list is created empty, so that the user has a file to edit; any other failure (a
        // folder, a FIFO or a link in its place, no permission) is an empty list and nothing is touched.
        if (bytes.status().code() == ENOENT) {
            if (auto created = current.CreateFile(kPatternListName, FileCreation::Exclusive, 0600))
                created.value()->Close();
        }
        return;
    }
    list_.Load(DecodeListLines(bytes.value(), ports_.decoder, true));
}

void PatternWizard::MarkCurrentPatterns() {
    const std::vector<std::string> items =
        ports_.parsePatternText ? ports_.parsePatternText() : std::vector<std::string>{};
    const std::size_t homeless = list_.MarkCurrentPatterns(items).size();
    for (std::size_t i = 0; i < homeless; ++i) {
        ports_.prompter.Ask(Prompt{kNoOtherSectionMessage, "", PromptButtons::Ok, PromptIcon::Exclamation});
    }
}

void PatternWizard::OnOK() {
    const std::string text = list_.BuildPatternText();
    ports_.patternBox.ClearPatternList();
    ports_.patternBox.SetPatternText(text);
}

bool PatternWizard::OnEdit() {
    const PromptAnswer answer =
        ports_.prompter.Ask(Prompt{kEditQuestion, "", PromptButtons::YesNo, PromptIcon::Exclamation});
    if (answer != PromptAnswer::Yes) return false;
    if (!ports_.runEditor || !ports_.runEditor()) return false;
    OnInitDialog();
    return true;
}

bool PatternWizard::OnRevert() {
    const PromptAnswer answer =
        ports_.prompter.Ask(Prompt{kRevertQuestion, "", PromptButtons::YesNo, PromptIcon::Exclamation});
    if (answer != PromptAnswer::Yes) return false;
    Status status;
    if (auto defaults = ReadDefaultPatternList(ports_.fileSystem, ports_.defaultListFolders)) {
        status = WritePatternListFile(ports_.fileSystem, defaults.value(), ListWrite::ReplaceExisting);
    } else {
        status = defaults.status();
    }
    if (!status) {
        ports_.prompter.Ask(Prompt{FileFailureMessage(kRevertFailedMessage, status), "", PromptButtons::Ok,
                                   PromptIcon::Exclamation});
    }
    OnInitDialog();
    return true;
}

std::string PatternWizard::TooltipText(int controlId) const {
    if (!ports_.tooltipsOn || !ports_.tooltipsOn()) return {};
    for (const TooltipEntry& entry : kTooltips) {
        if (entry.id == controlId) return entry.text;
    }
    return {};
}

}  // namespace vask
