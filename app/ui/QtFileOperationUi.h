// The file operation's dialogs in Qt, over the main window:
// - ConfirmStart: Yes/No box ("これらの %d 個のﾌｧｲﾙをごみ箱に移して…", "…を完全に削除して…"); No, Escape and
// the
//   close box decline.
// - OfferCreateFolder: Yes/No box; only Yes creates.
// - AskReplace: はい, すべて置き換え, いいえ, キャンセル; Escape and the close box answer Cancel.
// - Progress: a modal window with "done / total", the current path and Cancel, shown only once the
//   operation has run for kShowAfterMs; events are pumped at most every kPumpEveryMs, so a long run of
//   quick files pays one clock reading per file. Cancel, Escape or the close box make the next call return
//   false. Until the window is shown, user input waits (it is not dispatched into the main window).
// - ReportFailures: a modal list of path and reason with an OK button.
// Every box is modal; a question asked while the progress window shows is shown over it.
//
// The engine has no "finished" call: the progress window closes at ReportFailures, when the next operation
// begins (ConfirmStart, OfferCreateFolder, Progress with done == 0), at Finish(), or by itself as soon as
// the event loop runs outside these calls (the operation has then returned).
#pragma once

#include <QPointer>
#include <QWidget>
#include <cstdint>
#include <optional>

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

    bool ConfirmStart(FileOperationKind kind, const std::vector<FileOperationItem>& items) override;
    bool OfferCreateFolder(const std::string& folder) override;
    ReplaceAnswer AskReplace(const std::string& source, const std::string& target) override;
    // Progress with done == 0 begins a new operation.
    bool Progress(std::size_t done, std::size_t total, const std::string& path) override;
    void ReportFailures(FileOperationKind kind, const std::vector<FileOperationFailure>& failures) override;

    // Closes the progress window now (it would close at the next event loop anyway).
    void Finish();
    // The progress window while it is shown, else null (tests).
    QWidget* ProgressWindow() const;

  private:
    // Questions go over the progress window while it shows, so it never covers them.
    QWidget* DialogParent() const;
    void ShowProgressWindow(FileOperationKind kind);

    QPointer<QWidget> parent_;
    Clock& clock_;
    QPointer<FileProgressWindow> window_;
    // The kind ConfirmStart agreed to; the engine confirms everything but a move.
    std::optional<FileOperationKind> confirmedKind_;
    FileOperationKind kind_ = FileOperationKind::Move;
    std::int64_t startMs_ = 0;
    std::int64_t lastPumpMs_ = 0;
    int insideCalls_ = 0;  // > 0 while one of our calls runs the event loop
};

}  // namespace vask
