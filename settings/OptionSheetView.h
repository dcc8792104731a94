// What the options sheet's flow (OptionSheet) needs of its window: the controls of its five pages by page
// and identifier, the modal run, the folder browser, the WAVE picker and the log list. The Qt sheet
// (settings/ui) implements it over its widgets and does nothing else; core tests use a scripted fake.
//
// Identifiers repeat across pages (1009 is a radio button on the first page, a check box on the fourth and
// the log list on the fifth), so every control is named by its page and its identifier. Texts are UTF-8
// byte strings; a view gives back exactly the bytes it was given for an edit the user has not changed.
#pragma once

#include <memory>
#include <optional>
#include <string>

namespace vask {

class LogLines;

// The pages in tab order.
enum class OptionPage : int {
    Disposal = 0,         // dialog 129 "削除方法"
    AvoidFolders = 1,     // dialog 130 "回避ﾌｫﾙﾀﾞ"
    AllFilesFolders = 2,  // dialog 184 "全ﾌｧｲﾙ削除ﾌｫﾙﾀﾞ"
    Functions = 3,        // dialog 131 "各種機能"
    LogView = 4,          // dialog 172 "削除ﾛｸﾞ表示"
};
inline constexpr int kOptionPageCount = 5;

// Control identifiers of the pages. Each widget's objectName is "id" followed by its number.
namespace option_control {
// Disposal page: the four method radio buttons (in group order, giving the method numbers 0 to 3), the
// two folder edits and their browse buttons.
inline constexpr int kMethodTrash = 1006;
inline constexpr int kMethodMove = 1007;
inline constexpr int kMethodDelete = 1009;
inline constexpr int kMethodCompress = 1087;
inline constexpr int kMoveFolderEdit = 1008;
inline constexpr int kMoveFolderBrowse = 1069;
inline constexpr int kLzhFolderEdit = 1010;
inline constexpr int kLzhFolderBrowse = 1070;
// Folder-list pages: entry k has its edit at first edit + k and its browse button at kFolderBrowse0 + k.
inline constexpr int kAvoidFolderEdit0 = 1100;
inline constexpr int kAllFilesFolderEdit0 = 1079;
inline constexpr int kFolderBrowse0 = 1071;
// Functions page.
inline constexpr int kLog = 1009;
inline constexpr int kLogUpdate = 1010;
inline constexpr int kFixed = 1012;
inline constexpr int kToolTip = 1032;
inline constexpr int kReadOnlyFolder = 1050;
inline constexpr int kRecent = 1035;
inline constexpr int kTemp = 1041;
inline constexpr int kWave = 1036;
inline constexpr int kWaveEdit = 1038;
inline constexpr int kWavePick = 1039;
inline constexpr int kListen = 1040;
// Log page.
inline constexpr int kLogList = 1009;
inline constexpr int kLogReset = 144;
}  // namespace option_control

class OptionSheetView {
  public:
    virtual ~OptionSheetView() = default;

    // Shows the sheet modally on the disposal page and returns when it closes: true when OK closed it
    // (OptionSheet::OnOk agreed), false for Cancel, Escape or the close box. During the run the view
    // forwards every user action to the OptionSheet it was bound to.
    virtual bool RunModal() = 0;

    // Edits.
    virtual std::string Text(OptionPage page, int id) const = 0;
    virtual void SetText(OptionPage page, int id, const std::string& text) = 0;
    // Check boxes and radio buttons. Setting a radio button ticks it and clears the others of its group;
    // clearing every radio button of a group leaves none selected.
    virtual bool IsTicked(OptionPage page, int id) const = 0;
    virtual void SetTicked(OptionPage page, int id, bool ticked) = 0;
    virtual void SetEnabled(OptionPage page, int id, bool enabled) = 0;
    // Gives the edit the keyboard focus with its whole text selected.
    virtual void FocusAndSelectAll(OptionPage page, int id) = 0;

    // The platform's folder browser (folders only) with title, starting at start; the chosen folder as the
    // browser gives it (no final "/" except for "/"), or nothing when cancelled.
    virtual std::optional<std::string> BrowseForFolder(OptionPage page, const std::string& title,
                                                       const std::string& start) = 0;
    // The WAVE file picker (sound files, then all files; the file must exist), starting near current; the
    // chosen path, or nothing when cancelled.
    virtual std::optional<std::string> PickWaveFile(const std::string& current) = 0;

    // The log list shows every item of lines (shared, never changed) and scrolls to its end; null empties it.
    virtual void ShowLog(std::shared_ptr<const LogLines> lines) = 0;
};

}  // namespace vask
