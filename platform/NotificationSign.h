// The notification port: the only sign of life of an unattended run. The Qt adapter shows an icon in the
// system tray, or a small frameless always-on-top window where there is no tray, and shows nothing at all
// without a display. A left or right button press on the sign is handed to the handler set with OnClick;
// other mouse activity is not. Tests use platform/fakes/FakeNotificationSign.h.
#pragma once

#include <functional>
#include <string>

namespace vask {

// Icons of the unattended run, by resource number.
inline constexpr int kIconWaiting = 189;
inline constexpr int kIconSearching = 171;
inline constexpr int kIconDisposing = 128;

class NotificationSign {
  public:
    virtual ~NotificationSign() = default;
    // Shows the sign with the icon and the tip text (UTF-8). A second Add while shown acts as Modify.
    virtual void Add(int iconId, const std::string& tip) = 0;
    // Changes the icon of the shown sign; does nothing when it is not shown.
    virtual void Modify(int iconId) = 0;
    // Takes the sign away; does nothing when it is not shown.
    virtual void Remove() = 0;
    // The handler of a button press on the sign. It runs on the user-interface thread, from the event loop
    // (that is, inside whatever pumps events at the moment). The handler must outlive the sign.
    virtual void OnClick(std::function<void()> handler) = 0;
};

}  // namespace vask
