#include "app/ui/QtNotificationSign.h"

#include <xcb/xcb.h>
#include <xcb/xinput.h>

#include <QAbstractNativeEventFilter>
#include <QApplication>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <cstring>

namespace vask {

// The sign where no tray exists: icon and tip text in a small frameless box that stays above other
// windows and takes no focus, so it never steals the keyboard from the person's work.
class SignWindow : public QWidget {
  public:
    SignWindow(const QIcon& icon, const QString& tip, std::function<void()> onPress)
        : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                               Qt::WindowDoesNotAcceptFocus),
          onPress_(std::move(onPress)) {
        setAttribute(Qt::WA_ShowWithoutActivating);
        setObjectName(QStringLiteral("vaskSign"));
        setWindowTitle(QStringLiteral("Vask"));
        setAutoFillBackground(true);
        setStyleSheet(QStringLiteral("#vaskSign { border: 1px solid palette(dark); }"));
        auto* layout = new QHBoxLayout(this);
        layout->setContentsMargins(6, 4, 8, 4);
        icon_ = new QLabel(this);
        text_ = new QLabel(tip, this);
        layout->addWidget(icon_);
        layout->addWidget(text_);
        SetIcon(icon);
        setToolTip(tip);
        adjustSize();
    }

    void SetIcon(const QIcon& icon) { icon_->setPixmap(icon.pixmap(32, 32)); }

    void PlaceAtBottomRight() {
        const QScreen* screen = QGuiApplication::primaryScreen();
        if (screen == nullptr) return;
        const QRect area = screen->availableGeometry();
        move(area.right() - width() - 8, area.bottom() - height() - 8);
    }

  protected:
    void mousePressEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton || event->button() == Qt::RightButton) {
            event->accept();
            onPress_();
            return;
        }
        QWidget::mousePressEvent(event);
    }

  private:
    QLabel* icon_ = nullptr;
    QLabel* text_ = nullptr;
    std::function<void()> onPress_;
};

// Qt drops the input of every window that an application-modal box blocks, and the boxes of the run (the
// "*.*" question, the file operation's dialogs) are such boxes; the sign is answered inside them all the
// same. On X11 a press on the sign is taken from the display connection before Qt drops it; without a
// modal box Qt delivers it as usual and this filter stays out of the way.
class BlockedSignPressFilter : public QAbstractNativeEventFilter {
  public:
    BlockedSignPressFilter(const QtNotificationSign& sign, std::function<void()> onPress)
        : sign_(sign), onPress_(std::move(onPress)) {}

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* /*result*/) override {
        if (eventType != "xcb_generic_event_t" || QGuiApplication::modalWindow() == nullptr) return false;
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        std::uint32_t button = 0;
        xcb_window_t window = 0;
        std::uint32_t time = 0;
        const int type = event->response_type & 0x7f;
        if (type == XCB_BUTTON_PRESS) {  // core input
            const auto* press = reinterpret_cast<const xcb_button_press_event_t*>(event);
            button = press->detail;
            window = press->event;
            time = press->time;
        } else if (type == XCB_GE_GENERIC) {  // XInput 2, which Qt asks for where the server has it
            const auto* press = reinterpret_cast<const xcb_input_button_press_event_t*>(event);
            if (press->event_type != XCB_INPUT_BUTTON_PRESS) return false;
            button = press->detail;
            window = press->event;
            time = press->time;
        } else {
            return false;
        }
        if ((button != 1 && button != 3) || !IsSignWindow(window)) return false;  // left and right only
        if (time == lastTime_) return true;  // the same press reported for two devices
        lastTime_ = time;
        onPress_();  // answered once this event is over (Clicked)
        return true;
    }

  private:
    bool IsSignWindow(xcb_window_t id) const {
        if (QWidget* window = sign_.Window(); window != nullptr && window->winId() == id) return true;
        if (sign_.TrayIcon() == nullptr) return false;
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (std::strcmp(widget->metaObject()->className(), "QSystemTrayIconSys") == 0 &&
                widget->internalWinId() == id) {
                return true;
            }
        }
        return false;
    }

    const QtNotificationSign& sign_;
    std::function<void()> onPress_;
    std::uint32_t lastTime_ = 0;
};

QtNotificationSign::QtNotificationSign(bool haveDisplay, bool preferTray)
    : haveDisplay_(haveDisplay), preferTray_(preferTray), answerContext_(std::make_unique<QObject>()) {}

QtNotificationSign::~QtNotificationSign() {
    Remove();
}

void QtNotificationSign::FilterBlockedPresses(bool on) {
    if (on && !pressFilter_ && qApp != nullptr) {
        pressFilter_ = std::make_unique<BlockedSignPressFilter>(*this, [this] { Clicked(); });
        qApp->installNativeEventFilter(pressFilter_.get());
    } else if (!on && pressFilter_) {
        qApp->removeNativeEventFilter(pressFilter_.get());
        pressFilter_.reset();
    }
}

QIcon QtNotificationSign::IconOf(int iconId) {
    return QIcon(QStringLiteral(":/icons/%1.svg").arg(iconId));
}

QWidget* QtNotificationSign::Window() const {
    return window_.data();
}

void QtNotificationSign::Clicked() {
    // The handler asks in a modal box of its own, and a Yes removes the sign: run inside the press, that
    // deleted the window (or the tray's widget) under its own event handler, and Qt then went on to deliver
    // the rest of the press (a right button's context-menu event) to freed memory. From the event loop
    // nothing of the sign is on the stack. A sign destroyed meanwhile takes the pending answer with it.
    QTimer::singleShot(0, answerContext_.get(), [this] {
        if (handler_) handler_();
    });
}

void QtNotificationSign::Add(int iconId, const std::string& tip) {
    if (kind_ != Kind::None) return Modify(iconId);
    if (!haveDisplay_) return;
    const QString text = QString::fromUtf8(tip.c_str());
    if (preferTray_ && QSystemTrayIcon::isSystemTrayAvailable()) {
        kind_ = Kind::Tray;
        tray_ = std::make_unique<QSystemTrayIcon>(IconOf(iconId));
        tray_->setToolTip(text);
        QObject::connect(tray_.get(), &QSystemTrayIcon::activated,
                         [this](QSystemTrayIcon::ActivationReason why) {
                             // Trigger is a left press, Context a right one; a double click has already had
                             // its first press.
                             if (why == QSystemTrayIcon::Trigger || why == QSystemTrayIcon::Context)
                                 Clicked();
                         });
        tray_->show();
        FilterBlockedPresses(true);
        return;
    }
    kind_ = Kind::Window;
    window_ = new SignWindow(IconOf(iconId), text, [this] { Clicked(); });
    window_->PlaceAtBottomRight();
    window_->show();
    FilterBlockedPresses(true);
}

void QtNotificationSign::Modify(int iconId) {
    if (kind_ == Kind::Tray && tray_) tray_->setIcon(IconOf(iconId));
    if (kind_ == Kind::Window && window_) window_->SetIcon(IconOf(iconId));
}

void QtNotificationSign::Remove() {
    FilterBlockedPresses(false);
    if (tray_) {
        tray_->hide();
        tray_.reset();
    }
    if (window_) {
        window_->hide();
        delete window_.data();
    }
    kind_ = Kind::None;
}

}  // namespace vask
