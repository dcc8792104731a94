// The message-box port over QMessageBox: the caption is "Vask" unless the prompt names one, the icon is
// EffectivePromptIcon's, the first button is the default one, and a box closed without a button answers
// Cancel, or No (or Ok) where there is no Cancel.
#pragma once

#include <QPointer>
#include <QWidget>

#include "platform/Prompter.h"

namespace vask {

class QtPrompter : public Prompter {
  public:
    // Boxes are shown over parent (may be null).
    explicit QtPrompter(QWidget* parent = nullptr) : parent_(parent) {}

    PromptAnswer Ask(const Prompt& prompt) override;

  private:
    QPointer<QWidget> parent_;
};

}  // namespace vask
