// A file-operation UI that answers from a script and records what it was asked, for tests.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "disposal/FileOperation.h"

namespace vask {

class ScriptedFileOperationUi : public FileOperationUi {
  public:
    bool ConfirmStart(FileOperationKind, const std::vector<FileOperationItem>& items) override {
        confirmedCount = items.size();
        return confirm;
    }
    bool OfferCreateFolder(const std::string& folder) override {
        offeredFolders.push_back(folder);
        return createFolder;
    }
    ReplaceAnswer AskReplace(const std::string&, const std::string& target) override {
        replaceQuestions.push_back(target);
        if (replaceAnswers.empty()) return ReplaceAnswer::Cancel;
        const ReplaceAnswer answer = replaceAnswers.front();
        replaceAnswers.pop_front();
        return answer;
    }
    bool Progress(std::size_t done, std::size_t, const std::string&) override { return done != cancelAt; }
    void ReportFailures(FileOperationKind, const std::vector<FileOperationFailure>& reported) override {
        failures = reported;
    }

    bool confirm = true;
    bool createFolder = true;
    std::size_t cancelAt = static_cast<std::size_t>(-1);
    std::deque<ReplaceAnswer> replaceAnswers;
    std::size_t confirmedCount = 0;
    std::vector<std::string> offeredFolders;
    std::vector<std::string> replaceQuestions;
    std::vector<FileOperationFailure> failures;
};

}  // namespace vask
