// The sign of an unattended run in Qt: an icon in the system tray (QSystemTrayIcon) where a tray is there;
// otherwise a small frameless always-on-top window at the bottom right of the screen with the phase icon and
// the tip text. A left or right button press on either runs the click handler; double clicks, middle
// clicks and moves do nothing more, also while a modal box of Vask is open (on X11). The handler runs from
// the event loop once the press has been delivered, so it may remove the sign. Without a display nothing is
// shown at all.
//
// Icons are the resource drawings ":/icons/<number>.svg".
#pragma once

#include <QIcon>
#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <memory>

#include "platform/NotificationSign.h"

class QSystemTrayIcon;

namespace vask {

class SignWindow;
class BlockedSignPressFilter;

class QtNotificationSign : public NotificationSign {
  public:
    enum class Kind { Tray, Window, None };

    // haveDisplay false: the sign shows nothing. preferTray false: the window even where a tray exists.
    explicit QtNotificationSign(bool haveDisplay, bool preferTray = true);
    ~QtNotificationSign() override;
    QtNotificationSign(const QtNotificationSign&) = delete;
    QtNotificationSign& operator=(const QtNotificationSign&) = delete;

    void Add(int iconId, const std::string& tip) override;
    void Modify(int iconId) override;
    void Remove() override;
    void OnClick(std::function<void()> handler) override { handler_ = std::move(handler); }

    // What Add showed (or would show); the shown window or tray icon (tests, screenshots).
    Kind ShownKind() const { return kind_; }
    QWidget* Window() const;
    QSystemTrayIcon* TrayIcon() const { return tray_.get(); }

    static QIcon IconOf(int iconId);

  private:
    void Clicked();
    void FilterBlockedPresses(bool on);

    bool haveDisplay_;
    bool preferTray_;
    Kind kind_ = Kind::None;
    std::unique_ptr<QSystemTrayIcon> tray_;
    QPointer<SignWindow> window_;
    std::function<void()> handler_;
    std::unique_ptr<QObject> answerContext_;  // owns the pending answers to presses
    std::unique_ptr<BlockedSignPressFilter> pressFilter_;
};

}  // namespace vask
