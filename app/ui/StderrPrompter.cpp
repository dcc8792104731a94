#include "app/ui/StderrPrompter.h"

#include <ostream>

namespace vask {

namespace {

// The labels of Vask's Japanese boxes, so a log says which button the answer stands for.
const char* LabelOf(PromptAnswer answer) {
    switch (answer) {
        case PromptAnswer::Ok:
            return "OK";
        case PromptAnswer::Yes:
            return "はい";
        case PromptAnswer::No:
            return "いいえ";
        case PromptAnswer::Retry:
            return "再試行";
        case PromptAnswer::Cancel:
            break;
    }
    return "キャンセル";
}

}  // namespace

PromptAnswer StderrPrompter::SafeAnswer(PromptButtons buttons) {
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

PromptAnswer StderrPrompter::Ask(const Prompt& prompt) {
    std::string text = prompt.text;
    for (char& c : text) {
        if (c == '\n' || c == '\r') c = ' ';
    }
    const PromptAnswer answer = SafeAnswer(prompt.buttons);
    out_ << (prompt.caption.empty() ? "Vask" : prompt.caption) << '\n' << text;
    if (prompt.buttons != PromptButtons::Ok) out_ << " -> " << LabelOf(answer);
    out_ << std::endl;
    return answer;
}

}  // namespace vask
