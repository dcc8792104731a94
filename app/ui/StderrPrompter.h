// The message boxes of a run with no display (or of a run told to end by a signal, when nobody may be
// there to answer): each box is written to a stream (standard error) as two lines, the caption and the
// text with its line breaks turned into blanks, and every question gets the answer that disposes of
// nothing: the box's escape answer (Cancel where there is one, else No), shown after " -> " on the text
// line. A box with only OK answers OK.
#pragma once

#include <iosfwd>

#include "platform/Prompter.h"

namespace vask {

class StderrPrompter : public Prompter {
  public:
    // out must outlive this object.
    explicit StderrPrompter(std::ostream& out) : out_(out) {}

    PromptAnswer Ask(const Prompt& prompt) override;

  private:
    std::ostream& out_;
};

}  // namespace vask
