// What a question gets when nobody can answer it.
#pragma once

#include "platform/Prompter.h"

namespace vask {

// The answer that changes nothing, for a box nobody can answer (no display, an unscripted test): OK for a
// bare OK box, No where the box has no Cancel, else Cancel.
inline PromptAnswer SafeAnswer(PromptButtons buttons) {
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
