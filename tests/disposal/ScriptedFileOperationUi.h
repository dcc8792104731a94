// A file-operation UI that answers from a script and records what it was asked, for tests. calls names
// every call in order ("begin", "confirm", "offer", "replace", "progress", "report", "end").
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "disposal/FileOperation.h"

namespace vask {

class ScriptedFileOperationUi : public FileOperationUi {
  public:
    void BeginOperation(FileOperationKind kind, std::size_t count) override {
        calls.push_back("begin");
        begunKind = kind;
        begunCount = count;
    }
    void EndOperation() override { calls.push_back("end"); }
    bool ConfirmStart(FileOperationKind, const std::vector<FileOperationItem>& items) override {
        calls.push_back("confirm");
        confirmedCount = items.size();
        return confirm;
    }
    bool OfferCreateFolder(const std::string& folder) override {
        calls.push_back("offer");
        offeredFolders.push_back(folder);
        return createFolder;
    }
    ReplaceAnswer AskReplace(const std::string&, const std::string& target) override {
        calls.push_back("replace");
        replaceQuestions.push_back(target);
        if (replaceAnswers.empty()) return ReplaceAnswer::Cancel;
        const ReplaceAnswer answer = replaceAnswers.front();
        replaceAnswers.pop_front();
        return answer;
    }
    bool Progress(std::size_t done, std::size_t, const std::string&) override {
        calls.push_back("progress");
        return done != cancelAt;
    }
    void ReportFailures(FileOperationKind, const std::vector<FileOperationFailure>& reported) override {
        calls.push_back("report");
        failures = reported;
    }

    bool confirm = true;
    bool createFolder = true;
    std::size_t cancelAt = static_cast<std::size_t>(-1);
    std::deque<ReplaceAnswer> replaceAnswers;
    std::vector<std::string> calls;
    FileOperationKind begunKind = FileOperationKind::Trash;
    std::size_t begunCount = 0;
    std::size_t confirmedCount = 0;
    std::vector<std::string> offeredFolders;
    std::vector<std::string> replaceQuestions;
    std::vector<FileOperationFailure> failures;
};

}  // namespace vask
