#include "settings/OptionSheet.h"

#include "platform/Environment.h"
#include "platform/Prompter.h"
#include "platform/SoundPlayer.h"
#include "settings/FolderPath.h"
#include "settings/LogLines.h"
#include "settings/SettingsStore.h"

namespace vask {

namespace oc = option_control;

namespace {

constexpr int kMethodRadios[] = {oc::kMethodTrash, oc::kMethodMove, oc::kMethodDelete, oc::kMethodCompress};

constexpr const char* kRecommendedFolderTip = "ﾌｫﾙﾀﾞをおすすめします。";
constexpr const char* kTempFolderTip = "ﾌｫﾙﾀﾞのﾌｧｲﾙをｸﾘｱするときはﾁｪｯｸします。";

struct Tip {
    int id;
    const char* text;
};

constexpr Tip kDisposalTips[] = {
    {oc::kMethodTrash, "削除ﾌｧｲﾙをごみ箱に移動させます。"},
    {oc::kMethodMove, "削除ﾌｧｲﾙを特定ﾌｫﾙﾀﾞに移動させます。"},
    {oc::kMethodDelete, "削除ﾌｧｲﾙを本当に削除します。削除後に元に戻すことはできません。"},
    {oc::kMethodCompress, "削除ﾌｧｲﾙを圧縮します。"},
};

constexpr Tip kFunctionTips[] = {
    {oc::kLog, "削除結果をVask.Logﾌｧｲﾙに記録します。"},
    {oc::kLogUpdate, "Vask.Logﾌｧｲﾙをその都度上書きします。"},
    {oc::kFixed, "FD, RAMﾃﾞｨｽｸなども表示したいときはﾁｪｯｸをはずします。"},
    {oc::kToolTip, "このﾍﾙﾌﾟｳｨﾝﾄﾞｳ表示が不必要なときはﾁｪｯｸをはずします。"},
    {oc::kReadOnlyFolder, "ﾘｰﾄﾞｵﾝﾘｰﾌｫﾙﾀﾞを削除対象にするときはﾁｪｯｸします。"},
    {oc::kRecent, "最近使ったﾌｧｲﾙを削除するときはﾁｪｯｸします。"},
    {oc::kWave, "削除終了時にｻｳﾝﾄﾞを鳴らすにはﾁｪｯｸします。"},
    {oc::kWaveEdit, "鳴らしたいWAVEﾌｧｲﾙ名を入力します。"},
    {oc::kWavePick, "WAVEﾌｧｲﾙ名入力を簡単にします。"},
    {oc::kListen, "WAVEﾌｧｲﾙを試聴できます。"},
};

constexpr Tip kLogTips[] = {
    {oc::kLogList, "Vask.Logの内容を表示します。"},
    {oc::kLogReset, "Vask.Logをﾘｾｯﾄします。"},
};

template <std::size_t N>
std::string FindTip(const Tip (&tips)[N], int id) {
    for (const Tip& tip : tips) {
        if (tip.id == id) return tip.text;
    }
    return std::string();
}

// The on/off fields of the functions page with their check boxes.
struct Flag {
    int id;
    std::int32_t ProfileSettings::*field;
};
constexpr Flag kFlags[] = {
    {oc::kLog, &ProfileSettings::bLog},
    {oc::kLogUpdate, &ProfileSettings::bLogUpdate},
    {oc::kFixed, &ProfileSettings::bFixed},
    {oc::kToolTip, &ProfileSettings::bToolTip},
    {oc::kReadOnlyFolder, &ProfileSettings::bReadOnlyFolder},
    {oc::kRecent, &ProfileSettings::bRecent},
    {oc::kTemp, &ProfileSettings::bTemp},
    {oc::kWave, &ProfileSettings::bWave},
};

bool IsFolderPage(OptionPage page) {
    return page == OptionPage::AvoidFolders || page == OptionPage::AllFilesFolders;
}

}  // namespace

int FirstFolderEdit(OptionPage page) {
    return page == OptionPage::AvoidFolders ? oc::kAvoidFolderEdit0 : oc::kAllFilesFolderEdit0;
}

std::string BrowseTitle(OptionPage page, int buttonId) {
    if (page == OptionPage::Disposal) {
        if (buttonId == oc::kMoveFolderBrowse) return "特定ﾌｫﾙﾀﾞの参照";
        if (buttonId == oc::kLzhFolderBrowse) return "圧縮ﾌｫﾙﾀﾞの参照";
        return std::string();
    }
    if (!IsFolderPage(page) || buttonId < oc::kFolderBrowse0 ||
        buttonId >= oc::kFolderBrowse0 + static_cast<int>(kFolderListSize)) {
        return std::string();
    }
    return page == OptionPage::AvoidFolders ? "回避ﾌｫﾙﾀﾞの参照" : "全ﾌｧｲﾙ削除ﾌｫﾙﾀﾞの参照";
}

std::string WavePathForEdit(std::string path) {
    const PathRules& rules = SystemPathRules();
    // Lower-casing is right only where names ignore case; here it would name another, usually absent, file.
    if (rules.caseInsensitive) LowerAsciiLetters(rules.codePage, path);
    return path;
}

OptionSheet::OptionSheet(OptionSheetPorts ports, ProfileSettings& settings)
    : ports_(ports), settings_(settings), rules_(ports.fileSystem, ports.volumes) {}

OptionSheetOutcome OptionSheet::Run() {
    const ProfileSettings before = settings_;
    shown_.fill(false);
    current_ = OptionPage::Disposal;
    ShowPage(OptionPage::Disposal);

    OptionSheetOutcome outcome;
    outcome.accepted = ports_.view.RunModal();
    if (!outcome.accepted) {
        settings_ = before;
        return outcome;
    }
    NormalizeFolderPath(settings_.strFolderEdit);
    NormalizeFolderPath(settings_.strUnlhaEdit);
    for (std::string& folder : settings_.strOutFolderEdit)
        NormalizeFolderPath(folder);
    for (std::string& folder : settings_.strAllFolderEdit)
        NormalizeFolderPath(folder);
    outcome.saved = SaveOptionProfile(ports_.profile, settings_);
    outcome.fixedChanged = settings_.bFixed != before.bFixed;
    return outcome;
}

bool OptionSheet::SwitchTo(OptionPage page) {
    if (page == current_) return true;
    if (!LeavePage(current_)) return false;
    current_ = page;
    ShowPage(page);
    return true;
}

bool OptionSheet::OnOk() {
    return LeavePage(current_);
}

void OptionSheet::ShowPage(OptionPage page) {
    const auto index = static_cast<std::size_t>(page);
    if (shown_[index]) return;
    shown_[index] = true;
    switch (page) {
        case OptionPage::Disposal:
            FillDisposalPage();
            break;
        case OptionPage::AvoidFolders:
        case OptionPage::AllFilesFolders:
            FillFolderPage(page);
            break;
        case OptionPage::Functions:
            FillFunctionsPage();
            break;
        case OptionPage::LogView:
            ports_.view.ShowLog(std::make_shared<const LogLines>(ReadDeletionLog(ports_.fileSystem)));
            break;
    }
}

bool OptionSheet::LeavePage(OptionPage page) {
    switch (page) {
        case OptionPage::Disposal:
            return LeaveDisposalPage();
        case OptionPage::AvoidFolders:
        case OptionPage::AllFilesFolders:
            return LeaveFolderPage(page);
        case OptionPage::Functions:
            LeaveFunctionsPage();
            return true;
        case OptionPage::LogView:
            return true;
    }
    return true;
}

// --- disposal page ---

void OptionSheet::FillDisposalPage() {
    OptionSheetView& view = ports_.view;
    for (int i = 0; i < 4; ++i)
        view.SetTicked(OptionPage::Disposal, kMethodRadios[i], settings_.nTrush == i);
    view.SetText(OptionPage::Disposal, oc::kMoveFolderEdit, settings_.strFolderEdit);
    view.SetText(OptionPage::Disposal, oc::kLzhFolderEdit, settings_.strUnlhaEdit);
    ApplyMethodEnabling(settings_.nTrush);
}

void OptionSheet::ApplyMethodEnabling(int method) {
    // A method outside 0..3 selects no radio button and disables nothing.
    const bool known = method >= kDisposeToTrash && method <= kDisposeLzhArchive;
    const bool move = !known || method == kDisposeMoveToFolder;
    const bool compress = !known || method == kDisposeLzhArchive;
    OptionSheetView& view = ports_.view;
    view.SetEnabled(OptionPage::Disposal, oc::kMoveFolderEdit, move);
    view.SetEnabled(OptionPage::Disposal, oc::kMoveFolderBrowse, move);
    view.SetEnabled(OptionPage::Disposal, oc::kLzhFolderEdit, compress);
    view.SetEnabled(OptionPage::Disposal, oc::kLzhFolderBrowse, compress);
}

void OptionSheet::OnMethodClicked() {
    for (int i = 0; i < 4; ++i) {
        if (ports_.view.IsTicked(OptionPage::Disposal, kMethodRadios[i])) {
            ApplyMethodEnabling(i);
            return;
        }
    }
}

bool OptionSheet::LeaveDisposalPage() {
    OptionSheetView& view = ports_.view;
    for (int i = 0; i < 4; ++i) {
        if (view.IsTicked(OptionPage::Disposal, kMethodRadios[i])) settings_.nTrush = i;
    }
    settings_.strFolderEdit = view.Text(OptionPage::Disposal, oc::kMoveFolderEdit);
    settings_.strUnlhaEdit = view.Text(OptionPage::Disposal, oc::kLzhFolderEdit);

    int edit = 0;
    if (settings_.nTrush == kDisposeMoveToFolder) edit = oc::kMoveFolderEdit;
    if (settings_.nTrush == kDisposeLzhArchive) edit = oc::kLzhFolderEdit;
    if (edit == 0) return true;
    if (!CheckDisposalFolder(rules_, ports_.prompter, view.Text(OptionPage::Disposal, edit))) return true;
    view.FocusAndSelectAll(OptionPage::Disposal, edit);
    return false;
}

// --- folder-list pages ---

std::array<std::string, kFolderListSize>& OptionSheet::FolderField(OptionPage page) {
    return page == OptionPage::AvoidFolders ? settings_.strOutFolderEdit : settings_.strAllFolderEdit;
}

void OptionSheet::FillFolderPage(OptionPage page) {
    const auto& field = FolderField(page);
    for (std::size_t k = 0; k < kFolderListSize; ++k)
        ports_.view.SetText(page, FirstFolderEdit(page) + static_cast<int>(k), field[k]);
}

bool OptionSheet::LeaveFolderPage(OptionPage page) {
    OptionSheetView& view = ports_.view;
    const int first = FirstFolderEdit(page);
    std::array<std::string, kFolderListSize> texts;
    for (std::size_t k = 0; k < kFolderListSize; ++k) {
        texts[k] = view.Text(page, first + static_cast<int>(k));
        if (CheckListFolder(rules_, ports_.prompter, texts[k])) {
            view.FocusAndSelectAll(page, first + static_cast<int>(k));
            return false;
        }
    }
    const int duplicate = FindDuplicateFolder(texts);
    if (duplicate >= 0) {
        Tell(kDuplicateFolderMessage);
        view.FocusAndSelectAll(page, first + duplicate);
        return false;
    }
    FolderField(page) = texts;
    return true;
}

// --- functions page ---

void OptionSheet::FillFunctionsPage() {
    OptionSheetView& view = ports_.view;
    for (const Flag& flag : kFlags)
        view.SetTicked(OptionPage::Functions, flag.id, settings_.*flag.field != 0);
    view.SetText(OptionPage::Functions, oc::kWaveEdit, settings_.strWaveEdit);
    OnLogClicked();
    OnWaveClicked();
}

void OptionSheet::LeaveFunctionsPage() {
    for (const Flag& flag : kFlags) {
        const bool ticked = ports_.view.IsTicked(OptionPage::Functions, flag.id);
        // Only a box the user turned changes its field: a stored 5 stays 5 while its box stays ticked.
        if (ticked != (settings_.*flag.field != 0)) settings_.*flag.field = ticked ? 1 : 0;
    }
    settings_.strWaveEdit = ports_.view.Text(OptionPage::Functions, oc::kWaveEdit);
}

void OptionSheet::OnLogClicked() {
    const bool ticked = ports_.view.IsTicked(OptionPage::Functions, oc::kLog);
    ports_.view.SetEnabled(OptionPage::Functions, oc::kLogUpdate, ticked);
}

void OptionSheet::OnWaveClicked() {
    const bool ticked = ports_.view.IsTicked(OptionPage::Functions, oc::kWave);
    for (int id : {oc::kWaveEdit, oc::kWavePick, oc::kListen})
        ports_.view.SetEnabled(OptionPage::Functions, id, ticked);
}

void OptionSheet::OnReadOnlyFolderClicked() {
    if (ports_.view.IsTicked(OptionPage::Functions, oc::kReadOnlyFolder)) Tell(kReadOnlyFolderWarning);
}

void OptionSheet::OnPickWave() {
    const auto chosen = ports_.view.PickWaveFile(ports_.view.Text(OptionPage::Functions, oc::kWaveEdit));
    if (chosen) ports_.view.SetText(OptionPage::Functions, oc::kWaveEdit, WavePathForEdit(*chosen));
}

void OptionSheet::OnListen() {
    ports_.sound.PlayToEnd(ports_.view.Text(OptionPage::Functions, oc::kWaveEdit));
}

// --- browse, log, tooltips ---

void OptionSheet::OnBrowse(OptionPage page, int buttonId) {
    const std::string title = BrowseTitle(page, buttonId);
    if (title.empty()) return;
    int edit = 0;
    if (page == OptionPage::Disposal) {
        edit = buttonId == oc::kMoveFolderBrowse ? oc::kMoveFolderEdit : oc::kLzhFolderEdit;
    } else {
        edit = FirstFolderEdit(page) + (buttonId - oc::kFolderBrowse0);
    }
    OptionSheetView& view = ports_.view;
    const auto chosen = view.BrowseForFolder(page, title, GetBrowseStartFolder(view.Text(page, edit)));
    if (!chosen) return;
    const bool refused = page == OptionPage::Disposal ? CheckDisposalFolder(rules_, ports_.prompter, *chosen)
                                                      : CheckListFolder(rules_, ports_.prompter, *chosen);
    if (!refused) view.SetText(page, edit, NormalizedFolderPath(*chosen));
}

void OptionSheet::OnResetLog() {
    const PromptAnswer answer =
        ports_.prompter.Ask(Prompt{kLogResetQuestion, "", PromptButtons::YesNo, PromptIcon::Question});
    if (answer != PromptAnswer::Yes) return;
    RemoveDeletionLog(ports_.fileSystem);
    ports_.view.ShowLog(nullptr);
}

std::string OptionSheet::TooltipText(OptionPage page, int id) const {
    if (settings_.bToolTip == 0) return std::string();
    switch (page) {
        case OptionPage::Disposal:
            if (id == oc::kMoveFolderEdit)
                return GetDefaultBackupFolder(ports_.environment) + kRecommendedFolderTip;
            if (id == oc::kLzhFolderEdit)
                return GetDefaultLzhFolder(ports_.environment) + kRecommendedFolderTip;
            return FindTip(kDisposalTips, id);
        case OptionPage::AvoidFolders:
        case OptionPage::AllFilesFolders: {
            const int first = FirstFolderEdit(page);
            if (id < first || id >= first + static_cast<int>(kFolderListSize)) return std::string();
            return page == OptionPage::AvoidFolders ? "削除対象にしたくないﾌｫﾙﾀﾞ名を入力します。"
                                                    : "全ﾌｧｲﾙを削除したいﾌｫﾙﾀﾞ名を入力します。";
        }
        case OptionPage::Functions:
            if (id == oc::kTemp) return GetTempFolder(ports_.environment) + kTempFolderTip;
            return FindTip(kFunctionTips, id);
        case OptionPage::LogView:
            return FindTip(kLogTips, id);
    }
    return std::string();
}

void OptionSheet::Tell(const char* text) {
    ports_.prompter.Ask(Prompt{text, "", PromptButtons::Ok, PromptIcon::Exclamation});
}

}  // namespace vask
