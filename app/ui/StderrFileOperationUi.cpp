#include "app/ui/StderrFileOperationUi.h"

#include <ostream>

#include "disposal/FileOperationTexts.h"
#include "platform/Prompter.h"

namespace vask {

namespace text = file_operation_text;

namespace {

// One line per message, so a log read line by line keeps each question whole.
std::string OneLine(std::string message) {
    for (char& c : message) {
        if (c == '\n') c = ' ';
    }
    return message;
}

}  // namespace

bool StderrFileOperationUi::ConfirmStart(FileOperationKind kind,
                                         const std::vector<FileOperationItem>& items) {
    out_ << "Vask: " << text::ConfirmCaption(items) << ": " << OneLine(text::ConfirmText(kind, items))
         << " -> " << WithoutAccelerator(PromptButtonLabel(PromptAnswer::No)) << std::endl;
    return false;
}

bool StderrFileOperationUi::OfferCreateFolder(const std::string& folder) {
    out_ << "Vask: " << OneLine(text::CreateFolderText(folder)) << " -> "
         << WithoutAccelerator(PromptButtonLabel(PromptAnswer::No)) << std::endl;
    return false;
}

ReplaceAnswer StderrFileOperationUi::AskReplace(const std::string& /*source*/, const std::string& target) {
    out_ << "Vask: " << text::ReplaceCaption() << ": "
         << OneLine(text::ReplaceText(target) + " " + text::ReplaceDetail(target)) << " -> "
         << WithoutAccelerator(PromptButtonLabel(PromptAnswer::No)) << std::endl;
    return ReplaceAnswer::No;
}

bool StderrFileOperationUi::Progress(std::size_t /*done*/, std::size_t /*total*/,
                                     const std::string& /*path*/) {
    return true;
}

void StderrFileOperationUi::ReportFailures(FileOperationKind kind,
                                           const std::vector<FileOperationFailure>& failures) {
    out_ << "Vask: " << text::ReportTitle(kind) << ": " << text::ReportHeading() << '\n';
    for (const FileOperationFailure& failure : failures) {
        out_ << "  " << text::FailurePath(failure) << ": " << text::FailureReason(failure) << '\n';
    }
    out_.flush();
}

}  // namespace vask
