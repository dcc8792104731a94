// The file operation's questions for a run with no display at all (a /silent run from cron): each question
// and the failure report go to a stream (standard error) as one line each, and every question gets the
// answer that disposes of nothing: no confirmation (nothing is trashed or deleted), no folder created, no
// file replaced (that file stays, the others go on). Progress is silent and never cancels.
//
// With a display, an unattended run shows QtFileOperationUi's dialogs instead.
#pragma once

#include <iosfwd>

#include "disposal/FileOperation.h"

namespace vask {

class StderrFileOperationUi : public FileOperationUi {
  public:
    // out (standard error in the program) must outlive this object.
    explicit StderrFileOperationUi(std::ostream& out) : out_(out) {}

    // Nothing to show: each question and the report stand on their own lines.
    void BeginOperation(FileOperationKind /*kind*/, std::size_t /*count*/) override {}
    void EndOperation() override {}
    bool ConfirmStart(FileOperationKind kind, const std::vector<FileOperationItem>& items) override;
    bool OfferCreateFolder(const std::string& folder) override;
    ReplaceAnswer AskReplace(const std::string& source, const std::string& target) override;
    bool Progress(std::size_t done, std::size_t total, const std::string& path) override;
    void ReportFailures(FileOperationKind kind, const std::vector<FileOperationFailure>& failures) override;

  private:
    std::ostream& out_;
};

}  // namespace vask
