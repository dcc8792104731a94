#include "app/ui/StderrPrompter.h"

#include <ostream>

#include "platform/SafeAnswer.h"

namespace vask {

PromptAnswer StderrPrompter::Ask(const Prompt& prompt) {
    std::string text = prompt.text;
    for (char& c : text) {
        if (c == '\n' || c == '\r') c = ' ';
    }
    const PromptAnswer answer = SafeAnswer(prompt.buttons);
    out_ << (prompt.caption.empty() ? "Vask" : prompt.caption) << '\n' << text;
    // The button the answer stands for, as the box would have labelled it.
    if (prompt.buttons != PromptButtons::Ok) out_ << " -> " << WithoutAccelerator(PromptButtonLabel(answer));
    out_ << std::endl;
    return answer;
}

}  // namespace vask
