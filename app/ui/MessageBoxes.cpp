#include "app/ui/MessageBoxes.h"

#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <algorithm>

#include "app/ui/Utf8Text.h"

namespace vask {

namespace {

// Qt wraps a box's text once it passes about 500 pixels, and Japanese breaks between any two characters, so
// the end of a sentence could stand alone on a line. The box is made wide enough for the longest line as
// Vask broke the text, as long as that leaves a quarter of the screen; longer lines still wrap.
void KeepLinesWhole(QMessageBox& box) {
    box.ensurePolished();
    auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
    if (label == nullptr) return;
    int widest = 0;
    for (const QString& line : label->text().split(QLatin1Char('\n')))
        widest = std::max(widest, label->fontMetrics().horizontalAdvance(line));
    const QScreen* screen = box.screen();
    const int room = screen != nullptr ? screen->availableGeometry().width() * 3 / 4 : widest;
    const QMargins margins = label->contentsMargins();
    label->setMinimumWidth(std::min(widest + margins.left() + margins.right() + 1, room));
}

}  // namespace

QWidget* ShownParent(QWidget* parent) {
    return parent != nullptr && parent->isVisible() ? parent : nullptr;
}

std::size_t ShowMessageBox(QWidget* parent, QMessageBox::Icon icon, const std::string& caption,
                           const std::string& text, const std::string& detail,
                           const std::vector<MessageChoice>& choices, std::size_t escapeIndex, bool topmost) {
    QMessageBox box(icon, FromUtf8(caption), FromUtf8(text), QMessageBox::NoButton, ShownParent(parent));
    box.setTextFormat(Qt::PlainText);
    // Above every window, also other programs' (the forced stop of an unattended run has no window of its
    // own).
    if (topmost) box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    if (!detail.empty()) box.setInformativeText(FromUtf8(detail));
    std::vector<QPushButton*> buttons;
    for (const MessageChoice& choice : choices) {
        // A theme gives standard buttons icons and Qt's own texts (English where its translation is
        // missing), which would make some boxes look unlike the others: every button shows Vask's text and
        // no icon.
        QPushButton* button = choice.standard != QMessageBox::NoButton
                                  ? box.addButton(choice.standard)
                                  : box.addButton(FromUtf8(choice.label), choice.role);
        button->setText(FromUtf8(choice.label));
        button->setIcon(QIcon());
        button->setObjectName(QString::fromLatin1(choice.objectName));
        buttons.push_back(button);
    }
    KeepLinesWhole(box);
    box.setDefaultButton(buttons.front());
    box.setEscapeButton(buttons[escapeIndex < buttons.size() ? escapeIndex : 0]);
    box.exec();
    for (std::size_t i = 0; i < buttons.size(); ++i) {
        if (box.clickedButton() == buttons[i]) return i;
    }
    return escapeIndex;
}

}  // namespace vask
