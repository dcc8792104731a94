// A file-operation UI that agrees to every start, never replaces or creates, never cancels, and writes
// failures to standard error: for benchmarks and driver programs that measure or kill the engine itself.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "disposal/FileOperation.h"

namespace vask {

class AgreeingFileOperationUi : public FileOperationUi {
  public:
    void BeginOperation(FileOperationKind, std::size_t) override {}
    void EndOperation() override {}
    bool ConfirmStart(FileOperationKind, const std::vector<FileOperationItem>&) override { return true; }
    bool OfferCreateFolder(const std::string&) override { return false; }
    ReplaceAnswer AskReplace(const std::string&, const std::string&) override { return ReplaceAnswer::No; }
    bool Progress(std::size_t, std::size_t, const std::string&) override { return true; }
    void ReportFailures(FileOperationKind, const std::vector<FileOperationFailure>& failures) override {
        for (const FileOperationFailure& failure : failures) {
            std::fprintf(stderr, "%s\n", failure.status.ToString().c_str());
        }
    }
};

}  // namespace vask
