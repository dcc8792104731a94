#include "app/ui/UpDownControl.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

namespace vask {

namespace {

QToolButton* MakeArrow(Qt::ArrowType arrow, QWidget* parent) {
    auto* button = new QToolButton(parent);
    button->setArrowType(arrow);
    button->setAutoRepeat(true);
    button->setFocusPolicy(Qt::NoFocus);
    button->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
    // The pair shares the edit's height; their own minimum would make the row taller than the edit.
    button->setMinimumSize(16, 4);
    button->setMaximumWidth(16);
    return button;
}

}  // namespace

UpDownControl::UpDownControl(QWidget* parent)
    : QWidget(parent), up_(MakeArrow(Qt::UpArrow, this)), down_(MakeArrow(Qt::DownArrow, this)) {
    setFocusPolicy(Qt::NoFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(up_);
    layout->addWidget(down_);
    connect(up_, &QToolButton::clicked, this, [this] { StepBy(1); });
    connect(down_, &QToolButton::clicked, this, [this] { StepBy(-1); });
}

void UpDownControl::SetBuddy(QLineEdit* buddy) {
    if (buddy_ != nullptr) buddy_->removeEventFilter(this);
    buddy_ = buddy;
    if (buddy_ != nullptr) buddy_->installEventFilter(this);
    updateGeometry();
}

void UpDownControl::StepBy(int delta) {
    if (buddy_ == nullptr || !isEnabled()) return;
    // Saturating read: a text longer than any int must not wrap around into the range.
    long long value = 0;
    for (QChar c : buddy_->text()) {
        if (c < u'0' || c > u'9') break;
        value = std::min<long long>(value * 10 + (c.unicode() - u'0'), 1LL << 40);
    }
    value = std::clamp<long long>(value, minimum_, maximum_);
    value = std::clamp<long long>(value + delta, minimum_, maximum_);
    const QString text = QString::number(value);
    if (buddy_->text() != text) buddy_->setText(text);
    emit ValueChanged(static_cast<int>(value));
}

bool UpDownControl::eventFilter(QObject* watched, QEvent* event) {
    if (watched == buddy_ && event->type() == QEvent::KeyPress && isEnabled()) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Up || key == Qt::Key_Down) {
            StepBy(key == Qt::Key_Up ? 1 : -1);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

QSize UpDownControl::sizeHint() const {
    const int height = buddy_ != nullptr ? buddy_->sizeHint().height() : 2 * up_->sizeHint().height();
    return {16, height};
}

}  // namespace vask
