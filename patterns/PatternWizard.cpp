#include "patterns/PatternWizard.h"

#include <algorithm>
#include <cerrno>
#include <unordered_map>
#include <unordered_set>

#include "patterns/PatternListFile.h"

namespace vask {

namespace {

bool IsHeader(const std::string& text) {
    return !text.empty() && text[0] == '<';
}

bool IsSeparator(const std::string& text) {
    return !text.empty() && text[0] == '-';
}

// Hashing and equality of texts with the ASCII letters folded, as the list box compares them.
struct FoldedHash {
    std::size_t operator()(std::string_view text) const {
        std::size_t hash = 1469598103934665603ull;
        for (char c : text) {
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
            hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
        }
        return hash;
    }
};
struct FoldedEqual {
    bool operator()(std::string_view a, std::string_view b) const { return EqualsIgnoringAsciiCase(a, b); }
};

bool StartsWithIgnoringAsciiCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && EqualsIgnoringAsciiCase(text.substr(0, prefix.size()), prefix);
}

struct TooltipEntry {
    int id;
    const char* text;
};
constexpr TooltipEntry kTooltips[] = {
    {wizard_control::kPatternList, "削除ﾌｧｲﾙをﾁｪｯｸしてください。"},
    {wizard_control::kEdit, kOwnRiskTip},
    {wizard_control::kRevert, "削除ﾌｧｲﾙ入力ﾘｽﾄをﾃﾞﾌｫﾙﾄに戻します。編集に失敗した場合にご使用ください。"},
};

}  // namespace

std::string FileFailureMessage(const char* what, const Status& status) {
    return std::string(what) + "\n" + status.path() + ": " + status.ErrorText();
}

// --- the check list ---

void PatternCheckList::Load(std::vector<std::string> trimmedLines) {
    lines_.clear();
    knownTicks_.clear();
    lines_.reserve(trimmedLines.size());
    knownTicks_.reserve(trimmedLines.size());
    for (std::string& line : trimmedLines) {
        const ListLineKind kind = ClassifyListLine(line);
        if (kind == ListLineKind::Blank || kind == ListLineKind::Comment) continue;
        lines_.push_back(CheckLine{std::move(line), 0, kind != ListLineKind::Separator});
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
    // Item by item, a box of thousands of patterns against a list of thousands of lines is a pause the user
    // sees. Every item that has no line goes directly below the same "<その他>" line h, as long as h is not
    // the first line (an item starting with "<その他>" would then be found before it and take its place);
    // the list is then: lines 0..h, the new lines (latest first), the lines after h. In the search order
    // (from line 1 up, line 0 last) an item's first match is its first line in 1..h, else a new line,
    // else its first line after h, else line 0: an index of the lines answers that without a search.
    const int other = FindPrefix(kOtherSectionHeader);
    if (other == 0) return MarkCurrentPatternsOneByOne(items);

    // The index holds the lines of each item's text (ASCII letters folded), found in one pass over the list.
    std::unordered_map<std::string_view, std::vector<std::size_t>, FoldedHash, FoldedEqual> linesOf;
    for (const std::string& item : items)
        linesOf.try_emplace(item);
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        if (auto found = linesOf.find(lines_[i].text); found != linesOf.end()) found->second.push_back(i);
    }

    std::vector<std::string> homeless;
    std::vector<std::string> added;  // in the order added; shown latest first
    std::unordered_set<std::string_view, FoldedHash, FoldedEqual> addedKeys;
    const auto h = static_cast<std::size_t>(other);  // meaningful when other > 0
    for (const std::string& item : items) {
        const std::vector<std::size_t>& candidates = linesOf.find(item)->second;
        const auto fromOne = std::upper_bound(candidates.begin(), candidates.end(), std::size_t{0});
        const bool beforeNewLines = fromOne != candidates.end() && (other < 0 || *fromOne <= h);
        if (!beforeNewLines && other > 0 && addedKeys.count(item) != 0) continue;  // its new line is ticked
        if (!candidates.empty()) {
            SetTickAndKnown(fromOne != candidates.end() ? *fromOne : candidates.front(), 1);
        } else if (other < 0) {
            homeless.push_back(item);
        } else {
            added.push_back(item);
            addedKeys.insert(item);
        }
    }
    if (!added.empty()) {
        std::vector<CheckLine> newLines;
        newLines.reserve(added.size());
        for (auto it = added.rbegin(); it != added.rend(); ++it)
            newLines.push_back(CheckLine{*it, 1, true});
        const auto at = static_cast<std::ptrdiff_t>(h + 1);
        lines_.insert(lines_.begin() + at, newLines.begin(), newLines.end());
        knownTicks_.insert(knownTicks_.begin() + at, newLines.size(), 1);
    }
    if (!lines_.empty()) lines_.back().enabled = false;
    return homeless;
}

std::vector<std::string> PatternCheckList::MarkCurrentPatternsOneByOne(
    const std::vector<std::string>& items) {
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
            (void)WritePatternListFile(ports_.fileSystem, defaults.value(), ListWrite::KeepExisting);
        }
    }
    auto bytes = ReadListFile(current, kPatternListName);
    if (!bytes) {
        // A missing list is created empty, so that the user has a file to edit; any other failure (a
        // folder, a FIFO or a link in its place, no permission) is an empty list and nothing is touched.
        if (bytes.status().code() == ENOENT) {
            if (auto created = current.CreateFile(kPatternListName, FileCreation::Exclusive, 0600))
                (void)created.value()->Close();  // an empty file: a failed close loses nothing
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
