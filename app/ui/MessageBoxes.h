// One look for every message box of Vask, whoever asks (the message-box port, the file operation's
// questions): Vask's own button texts, no button icons whatever the desktop theme would add, plain text, the
// first button the default one.
#pragma once

#include <QMessageBox>
#include <cstddef>
#include <string>
#include <vector>

namespace vask {

struct MessageChoice {
    std::string label;  // UTF-8, with its "&" accelerator
    QMessageBox::ButtonRole role;
    const char* objectName;  // for tests: "yes", "no", "cancel", ...
    // When set, the box knows the button as this standard button (QMessageBox::button finds it); it still
    // shows label and no icon.
    QMessageBox::StandardButton standard = QMessageBox::NoButton;
};

// The window a box or dialog of Vask is placed over: parent while it is on the screen, else none, so that the
// dialog comes up in the middle of the screen. An unattended run never shows the main window, and a dialog
// centred on that hidden window would sit in the top left corner.
QWidget* ShownParent(QWidget* parent);

// Shows the box modally over parent (may be null; see ShownParent) and returns the index of the choice
// clicked; Escape and the close box give escapeIndex. detail (may be empty) goes below the text. choices is
// not empty. topmost keeps the box above every window on the screen.
std::size_t ShowMessageBox(QWidget* parent, QMessageBox::Icon icon, const std::string& caption,
                           const std::string& text, const std::string& detail,
                           const std::vector<MessageChoice>& choices, std::size_t escapeIndex,
                           bool topmost = false);

}  // namespace vask
