#include "platform/fakes/ScriptedPrompter.h"

#include "platform/SafeAnswer.h"

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

}  // namespace vask
