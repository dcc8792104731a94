#include "app/ui/QtNotificationSign.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QWidget>

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

QtNotificationSign::QtNotificationSign(bool haveDisplay, bool preferTray)
    : haveDisplay_(haveDisplay), preferTray_(preferTray) {}

QtNotificationSign::~QtNotificationSign() {
    Remove();
}

QIcon QtNotificationSign::IconOf(int iconId) {
    return QIcon(QStringLiteral(":/icons/%1.svg").arg(iconId));
}

QWidget* QtNotificationSign::Window() const {
    return window_.data();
}

void QtNotificationSign::Clicked() {
    if (handler_) handler_();
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
        return;
    }
    kind_ = Kind::Window;
    window_ = new SignWindow(IconOf(iconId), text, [this] { Clicked(); });
    window_->PlaceAtBottomRight();
    window_->show();
}

void QtNotificationSign::Modify(int iconId) {
    if (kind_ == Kind::Tray && tray_) tray_->setIcon(IconOf(iconId));
    if (kind_ == Kind::Window && window_) window_->SetIcon(IconOf(iconId));
}

void QtNotificationSign::Remove() {
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
