// The file operation's dialogs in Qt, over the main window:
// - ConfirmStart: Yes/No box ("これらの %d 個のﾌｧｲﾙをごみ箱に移して…", "…を完全に削除して…"); No, Escape and
//   the close box decline.
// - OfferCreateFolder: Yes/No box; only Yes creates.
// - AskReplace: はい, すべて置き換え, いいえ, キャンセル; Escape and the close box answer Cancel.
// - Progress: a modal window titled by the operation's kind with "done / total", the current path and
//   Cancel. It opens only once the operation has run for kShowAfterMs since BeginOperation (time spent
//   answering a question before it opened does not count), and closes at EndOperation or when the failure
//   report takes its place. Events are pumped at most every kPumpEveryMs, so a long run of quick files pays
//   one clock reading per file. Cancel, Escape or the close box make the next call return false. Until the
//   window is shown, user input waits (it is not dispatched into the main window).
// - ReportFailures: a modal list of path and reason with an OK button.
// Every box is modal; a question asked while the progress window shows is shown over it.
#pragma once

#include <QPointer>
#include <QWidget>
#include <cstdint>

#include "disposal/FileOperation.h"
#include "platform/Clock.h"

namespace vask {

class FileProgressWindow;

class QtFileOperationUi : public FileOperationUi {
  public:
    static constexpr std::int64_t kShowAfterMs = 300;
    static constexpr std::int64_t kPumpEveryMs = 30;

    // Dialogs are owned by parent (may be null); clock paces the progress window. The clock must outlive
    // this object.
    QtFileOperationUi(QWidget* parent, Clock& clock);
    ~QtFileOperationUi() override;
    QtFileOperationUi(const QtFileOperationUi&) = delete;
    QtFileOperationUi& operator=(const QtFileOperationUi&) = delete;

    void BeginOperation(FileOperationKind kind, std::size_t count) override;
    // Closes the progress window at once, without waiting for the event loop.
    void EndOperation() override;
    bool ConfirmStart(FileOperationKind kind, const std::vector<FileOperationItem>& items) override;
    bool OfferCreateFolder(const std::string& folder) override;
    ReplaceAnswer AskReplace(const std::string& source, const std::string& target) override;
    bool Progress(std::size_t done, std::size_t total, const std::string& path) override;
    void ReportFailures(FileOperationKind kind, const std::vector<FileOperationFailure>& failures) override;

    // The progress window while it is shown, else null (tests).
    QWidget* ProgressWindow() const;

  private:
    // Questions go over the progress window while it shows, so it never covers them.
    QWidget* DialogParent() const;
    void ShowProgressWindow();
    void CloseProgressWindow();
    // The user's time on a question asked before the progress window opened is not the operation's.
    void RestartShowDelay();

    QPointer<QWidget> parent_;
    Clock& clock_;
    QPointer<FileProgressWindow> window_;
    FileOperationKind kind_ = FileOperationKind::Move;  // of the operation begun last
    std::int64_t startMs_ = 0;
    std::int64_t lastPumpMs_ = 0;
};

}  // namespace vask
