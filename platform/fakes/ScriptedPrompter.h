// A message-box fake: records every prompt shown and answers from a script. A prompt that finds the script
// empty is recorded as unexpected and answered with the choice that changes nothing (Ok for a bare OK box,
// else Cancel, or No where the box has no Cancel); tests assert UnexpectedCount() == 0, or that exactly the
// prompts they expect were shown.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "platform/Prompter.h"

namespace vask {

class ScriptedPrompter : public Prompter {
  public:
    ScriptedPrompter() = default;
    explicit ScriptedPrompter(std::vector<PromptAnswer> script) : script_(script.begin(), script.end()) {}

    PromptAnswer Ask(const Prompt& prompt) override;

    // Queues the answer to the next prompt that is not yet answered.
    void Answer(PromptAnswer answer) { script_.push_back(answer); }

    // Every prompt shown, in order, scripted or not.
    const std::vector<Prompt>& Prompts() const { return prompts_; }
    // Prompts shown after the script ran out.
    int UnexpectedCount() const { return unexpected_; }
    // Answers queued but never asked for.
    std::size_t UnusedAnswers() const { return script_.size(); }

  private:
    std::deque<PromptAnswer> script_;
    std::vector<Prompt> prompts_;
    int unexpected_ = 0;
};

}  // namespace vask
