// What the delete command needs of the main window: its controls by identifier, the status line (through
// WalkerHost) and the result list's redraw. Everything runs on the user-interface thread. Texts are UTF-8.
#pragma once

#include "search/FolderWalker.h"

namespace vask {

// Control identifiers of the main window. Each widget's objectName is "id" followed by its number.
namespace control {
inline constexpr int kCancel = 2;
inline constexpr int kDelete = 1000;
inline constexpr int kOptions = 1001;
inline constexpr int kDriveList = 1002;
inline constexpr int kPatternBox = 1015;
inline constexpr int kVersion = 1017;
inline constexpr int kResultList = 1020;
inline constexpr int kStatusLine = 1021;
inline constexpr int kAbort = 1022;
inline constexpr int kSearch = 1029;
inline constexpr int kSearchClip = 1036;
inline constexpr int kRecycleBin = 1044;
inline constexpr int kWizard = 1060;
inline constexpr int kLastDateCheck = 1066;
inline constexpr int kDayEdit = 1067;
inline constexpr int kDaySpin = 1068;
inline constexpr int kHelp = 57670;
}  // namespace control

// Texts that more than one command shows.
inline constexpr const char* kBadPatternMessage = "削除ﾌｧｲﾙを正確に入力してください。";
inline constexpr const char* kAbortedText = "処理が中止されました。";

class DisposalView : public virtual WalkerHost {
  public:
    // Controls by identifier (control::k...).
    virtual void SetControlEnabled(int id, bool enabled) = 0;
    // Moves the keyboard focus to the control.
    virtual void SetFocusTo(int id) = 0;
    // Result list 1020: the core tells it when the list was emptied or has grown.
    virtual void ResultsChanged() = 0;
};

}  // namespace vask
