#include "app/ui/QtPrompter.h"

#include <vector>

#include "app/ui/MessageBoxes.h"

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

// In the order they are shown, with Vask's texts; the first is the default button.
std::vector<MessageChoice> ChoicesOf(PromptButtons buttons) {
    const MessageChoice ok{PromptButtonLabel(PromptAnswer::Ok), QMessageBox::AcceptRole, "ok",
                           QMessageBox::Ok};
    const MessageChoice yes{PromptButtonLabel(PromptAnswer::Yes), QMessageBox::YesRole, "yes",
                            QMessageBox::Yes};
    const MessageChoice no{PromptButtonLabel(PromptAnswer::No), QMessageBox::NoRole, "no", QMessageBox::No};
    const MessageChoice cancel{PromptButtonLabel(PromptAnswer::Cancel), QMessageBox::RejectRole, "cancel",
                               QMessageBox::Cancel};
    switch (buttons) {
        case PromptButtons::OkCancel:
            return {ok, cancel};
        case PromptButtons::YesNo:
            return {yes, no};
        case PromptButtons::YesNoCancel:
            return {yes, no, cancel};
        case PromptButtons::RetryCancel:
            return {{PromptButtonLabel(PromptAnswer::Retry), QMessageBox::AcceptRole, "retry",
                     QMessageBox::Retry},
                    cancel};
        default:
            return {ok};
    }
}

PromptAnswer ToAnswer(const std::string& objectName) {
    if (objectName == "ok") return PromptAnswer::Ok;
    if (objectName == "yes") return PromptAnswer::Yes;
    if (objectName == "no") return PromptAnswer::No;
    if (objectName == "retry") return PromptAnswer::Retry;
    return PromptAnswer::Cancel;
}

}  // namespace

PromptAnswer QtPrompter::Ask(const Prompt& prompt) {
    const std::vector<MessageChoice> choices = ChoicesOf(prompt.buttons);
    // Escape and the close box: Cancel where the box has one, else No, else its only button.
    std::size_t escape = 0;
    for (std::size_t i = 0; i < choices.size(); ++i) {
        const std::string name = choices[i].objectName;
        if (name == "cancel" || (name == "no" && std::string(choices[escape].objectName) != "cancel"))
            escape = i;
    }
    const std::size_t chosen = ShowMessageBox(parent_, ToQtIcon(EffectivePromptIcon(prompt)),
                                              prompt.caption.empty() ? std::string("Vask") : prompt.caption,
                                              prompt.text, std::string(), choices, escape, prompt.topmost);
    return ToAnswer(choices[chosen].objectName);
}

}  // namespace vask
