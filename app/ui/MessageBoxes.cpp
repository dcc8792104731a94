#include "app/ui/MessageBoxes.h"

#include <QIcon>
#include <QPushButton>

#include "app/ui/Utf8Text.h"

namespace vask {

std::size_t ShowMessageBox(QWidget* parent, QMessageBox::Icon icon, const std::string& caption,
                           const std::string& text, const std::string& detail,
                           const std::vector<MessageChoice>& choices, std::size_t escapeIndex, bool topmost) {
    QMessageBox box(icon, FromUtf8(caption), FromUtf8(text), QMessageBox::NoButton, parent);
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
    box.setDefaultButton(buttons.front());
    box.setEscapeButton(buttons[escapeIndex < buttons.size() ? escapeIndex : 0]);
    box.exec();
    for (std::size_t i = 0; i < buttons.size(); ++i) {
        if (box.clickedButton() == buttons[i]) return i;
    }
    return escapeIndex;
}

}  // namespace vask
