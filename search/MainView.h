// What the core flows of the main window need of the window: its controls by identifier, the drive list, the
// result list, the status line, the search clip and the focus. The Qt window implements it over its widgets
// and does nothing else; core tests use platform/fakes/MemoryMainView.h.
//
// Everything runs on the user-interface thread. Texts are UTF-8.
#pragma once

#include <cstdint>
#include <string>

#include "search/FolderWalker.h"
#include "settings/DialogStateHolder.h"

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

// Drive types of a drive line (its last 8 digits).
enum DriveType : std::uint32_t {
    kDriveUnknown = 0,
    kDriveNoRoot = 1,
    kDriveRemovable = 2,
    kDriveFixed = 3,
    kDriveRemote = 4,
    kDriveCdRom = 5,
    kDriveRamDisk = 6,
};

// One item of the drive list.
struct DriveItem {
    std::string line;        // the drive line; its last 16 characters are serial and type
    std::string mountPoint;  // the volume's mount point, ending in "/"; never parsed out of the line
    DriveType type = kDriveUnknown;
    bool enabled = true;  // false: greyed, cannot be ticked
};

class MainView : public virtual DialogStateHolder, public WalkerHost {
  public:
    // Controls by identifier (control::k...).
    virtual void SetControlEnabled(int id, bool enabled) = 0;
    virtual bool IsControlEnabled(int id) const = 0;
    // Moves the keyboard focus to the control.
    virtual void SetFocusTo(int id) = 0;

    // Status line 1021. ShowStatusText (WalkerHost) replaces its text and repaints it at once.
    virtual std::string StatusText() const = 0;

    // Search clip 1036: play from the first frame, repeating; stop back on the first frame.
    virtual void PlaySearchClip() = 0;
    virtual void StopSearchClip() = 0;

    // Drive list 1002 (texts and ticks through DialogStateHolder).
    virtual void ClearDriveList() = 0;
    // Inserts before index (index == count appends), unticked.
    virtual void InsertDriveItem(int index, const DriveItem& item) = 0;
    virtual DriveItem DriveItemAt(int index) const = 0;

    // Result list 1020 shows SearchState::results, which the view was given when it was made. The core tells
    // it when the list was emptied or has grown; during a walk the view may also bring itself up to date in
    // PumpMessages, keeping the newest result in view.
    virtual void ResultsChanged() = 0;
    // The selected result (the row last clicked), or -1 when none is selected.
    virtual int SelectedResultIndex() const = 0;
    virtual void ClearResultSelection() = 0;
};

}  // namespace vask
