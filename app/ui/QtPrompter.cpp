#include "app/ui/QtPrompter.h"

#include <QAbstractButton>
#include <QMessageBox>

namespace vask {

namespace {

QMessageBox::Icon ToQtIcon(PromptIcon icon) {
    switch (icon) {
        case PromptIcon::Stop:
            return QMessageBox::Critical;
        case PromptIcon::Question:
            return QMessageBox::Question;
        case PromptIcon::Exclamation:
            return QMessageBox::Warning;
        case PromptIcon::Information:
            return QMessageBox::Information;
        default:
            return QMessageBox::NoIcon;
    }
}

// In the order they are shown; the first is the default button.
QList<QMessageBox::StandardButton> ButtonsOf(PromptButtons buttons) {
    switch (buttons) {
        case PromptButtons::OkCancel:
            return {QMessageBox::Ok, QMessageBox::Cancel};
        case PromptButtons::YesNo:
            return {QMessageBox::Yes, QMessageBox::No};
        case PromptButtons::YesNoCancel:
            return {QMessageBox::Yes, QMessageBox::No, QMessageBox::Cancel};
        case PromptButtons::RetryCancel:
            return {QMessageBox::Retry, QMessageBox::Cancel};
        default:
            return {QMessageBox::Ok};
    }
}

PromptAnswer ToAnswer(QMessageBox::StandardButton button) {
    switch (button) {
        case QMessageBox::Ok:
            return PromptAnswer::Ok;
        case QMessageBox::Yes:
            return PromptAnswer::Yes;
        case QMessageBox::No:
            return PromptAnswer::No;
        case QMessageBox::Retry:
            return PromptAnswer::Retry;
        default:
            return PromptAnswer::Cancel;
    }
}

}  // namespace

PromptAnswer QtPrompter::Ask(const Prompt& prompt) {
    const QList<QMessageBox::StandardButton> buttons = ButtonsOf(prompt.buttons);
    const QString caption =
        prompt.caption.empty() ? QStringLiteral("Vask") : QString::fromUtf8(prompt.caption.c_str());
    QMessageBox box(ToQtIcon(EffectivePromptIcon(prompt)), caption, QString::fromUtf8(prompt.text.c_str()),
                    QMessageBox::NoButton, parent_);
    box.setTextFormat(Qt::PlainText);
    // Above every window, also other programs' (the forced stop of an unattended run has no window of its
    // own).
    if (prompt.topmost) box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    for (QMessageBox::StandardButton button : buttons)
        box.addButton(button);
    box.setDefaultButton(buttons.first());
    // Escape and the close box: Cancel where the box has one, else No, else its only button.
    QMessageBox::StandardButton escape = buttons.first();
    for (QMessageBox::StandardButton button : buttons) {
        if (button == QMessageBox::Cancel || (button == QMessageBox::No && escape != QMessageBox::Cancel)) {
            escape = button;
        }
    }
    box.setEscapeButton(escape);
    box.exec();

    QAbstractButton* clicked = box.clickedButton();
    const QMessageBox::StandardButton chosen = clicked != nullptr ? box.standardButton(clicked) : escape;
    return ToAnswer(chosen);
}

}  // namespace vask
