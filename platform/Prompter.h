// The message-box port. Every question and every error that stops a command goes through it; tests answer
// with a scripted fake (platform/fakes/ScriptedPrompter.h).
#pragma once

#include <cstddef>
#include <string>

namespace vask {

enum class PromptButtons { Ok, OkCancel, YesNo, YesNoCancel, RetryCancel };
enum class PromptIcon { None, Stop, Question, Exclamation, Information };
enum class PromptAnswer { Ok, Cancel, Yes, No, Retry };

struct Prompt {
    std::string text;     // UTF-8, shown exactly
    std::string caption;  // empty: the application's name
    PromptButtons buttons = PromptButtons::Ok;
    PromptIcon icon = PromptIcon::None;
    bool topmost = false;  // shown above every window, also those of other programs
};

// A box whose call names no icon gets the exclamation icon when it asks OK, OK/Cancel, Yes/No or
// Yes/No/Cancel; the adapters show what this returns.
inline PromptIcon EffectivePromptIcon(const Prompt& prompt) {
    if (prompt.icon != PromptIcon::None) return prompt.icon;
    switch (prompt.buttons) {
        case PromptButtons::Ok:
        case PromptButtons::OkCancel:
        case PromptButtons::YesNo:
        case PromptButtons::YesNoCancel:
            return PromptIcon::Exclamation;
        default:
            return PromptIcon::None;
    }
}

// The label of each answer's button, as every box of Vask shows it, accelerator included ("はい(&Y)").
inline const char* PromptButtonLabel(PromptAnswer answer) {
    switch (answer) {
        case PromptAnswer::Ok:
            return "OK";
        case PromptAnswer::Yes:
            return "はい(&Y)";
        case PromptAnswer::No:
            return "いいえ(&N)";
        case PromptAnswer::Retry:
            return "再試行(&R)";
        case PromptAnswer::Cancel:
            break;
    }
    return "キャンセル";
}

// A button's label as a line of text names it: without its accelerator ("はい(&Y)" gives "はい").
inline std::string WithoutAccelerator(const std::string& label) {
    const std::size_t accelerator = label.find("(&");
    return accelerator == std::string::npos ? label : label.substr(0, accelerator);
}

class Prompter {
  public:
    virtual ~Prompter() = default;
    // Shows the prompt modally and returns the button chosen. Closing the box counts as Cancel, or as No
    // (or Ok) where the box has no Cancel.
    virtual PromptAnswer Ask(const Prompt& prompt) = 0;
};

}  // namespace vask
