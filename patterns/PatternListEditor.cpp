#include "patterns/PatternListEditor.h"

#include <cerrno>

#include "patterns/PatternListFile.h"
#include "patterns/PatternWizard.h"

namespace vask {

std::string EditorTextFromFile(std::string_view bytes, Cp932Decoder& decoder) {
    std::string text;
    for (const std::string& line : DecodeListLines(bytes, decoder, false)) {
        text += line;
        text += "\r\n";
    }
    return text;
}

std::string FileBytesFromEditorText(std::string_view text) {
    std::string bytes;
    bytes.reserve(text.size() + text.size() / 16);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        if (text[i] == '\n') bytes += '\r';
        bytes += text[i];
    }
    return bytes;
}

bool PatternListEditor::OnInitDialog() {
    text_.clear();
    auto folder = fileSystem_.OpenCurrentFolder();
    if (!folder) return true;  // nothing to read from: an empty text, and a save will say why it fails
    auto bytes = ReadListFile(**folder, kPatternListName);
    if (bytes) {
        text_ = EditorTextFromFile(bytes.value(), decoder_);
        return true;
    }
    if (bytes.status().code() == ENOENT) {
        if (auto created = (*folder)->CreateFile(kPatternListName, FileCreation::Exclusive, 0600))
            (void)created.value()->Close();  // an empty file: nothing written that a failed close could lose
        text_ = EditorTextFromFile("", decoder_);
        return true;
    }
    prompter_.Ask(Prompt{FileFailureMessage(kUnreadableListMessage, bytes.status()), "", PromptButtons::Ok,
                         PromptIcon::Exclamation});
    return false;
}

bool PatternListEditor::OnOK(bool modified, std::string_view editText) {
    if (!modified) return true;
    const PromptAnswer answer =
        prompter_.Ask(Prompt{kSaveQuestion, "", PromptButtons::YesNo, PromptIcon::Exclamation});
    if (answer != PromptAnswer::Yes) return true;
    const Status status =
        WritePatternListFile(fileSystem_, FileBytesFromEditorText(editText), ListWrite::ReplaceExisting);
    if (status) return true;
    prompter_.Ask(Prompt{FileFailureMessage(kSaveFailedMessage, status), "", PromptButtons::Ok,
                         PromptIcon::Exclamation});
    return false;
}

std::string PatternListEditor::TooltipText(int controlId, bool tooltipsOn) {
    if (!tooltipsOn || controlId != kEditorEditBox) return {};
    return kOwnRiskTip;
}

}  // namespace vask
