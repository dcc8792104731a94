#include "platform/fakes/ScriptedPrompter.h"

namespace vask {

PromptAnswer ScriptedPrompter::Ask(const Prompt& prompt) {
    prompts_.push_back(prompt);
    if (script_.empty()) {
        ++unexpected_;
        return SafeAnswer(prompt.buttons);
    }
    const PromptAnswer answer = script_.front();
    script_.pop_front();
    return answer;
}

PromptAnswer ScriptedPrompter::SafeAnswer(PromptButtons buttons) {
    switch (buttons) {
        case PromptButtons::Ok:
            return PromptAnswer::Ok;
        case PromptButtons::YesNo:
            return PromptAnswer::No;
        case PromptButtons::OkCancel:
        case PromptButtons::YesNoCancel:
        case PromptButtons::RetryCancel:
            break;
    }
    return PromptAnswer::Cancel;
}

}  // namespace vask
