// The start of Vask without widgets: the single-instance claim, the command line, the start-up of the main
// dialog (OnInitDialog) and the unattended run with its sign and its forced stop.
//
// Single-threaded, on the user-interface thread. The unattended run re-enters the event loop through
// MainView::PumpMessages (the waiting loop, the walk, the file operation between files) and through every
// message box; a press on the sign (OnTrayNotify) and a termination signal (OnStopSignal) arrive from
// there. Neither ends the process on the spot: they ask for a stop, which each phase honours at its next
// safe point (the waiting loop at once, the walk at its next entry, a disposal between two files, never
// inside a copy, a rename pair or an archive write). RunUnattended then takes the sign away, says so, and
// returns the status the process ends with. A stopped run saves no setting and writes no log.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "app/core/MainDialogController.h"
#include "app/core/MainView.h"
#include "disposal/FileOperation.h"
#include "platform/Clock.h"
#include "platform/InstanceLock.h"
#include "platform/NotificationSign.h"
#include "platform/Prompter.h"
#include "platform/Sleeper.h"

namespace vask {

// What the process tells its caller when it ends.
namespace exit_status {
inline constexpr int kDone = 0;                   // also: nothing found, interactive use, stop from the sign
inline constexpr int kDisposalStopped = 1;        // the disposal failed, was refused or was stopped
inline constexpr int kBadCommandLine = 2;         // the command line is not one Vask understands
inline constexpr int kAlreadyRunning = 3;         // another Vask of this user is running
inline constexpr int kUnattendedNotPossible = 4;  // first start, changed drives, or no display for a window
inline constexpr int kNoInstanceLock = 5;         // the single-instance lock could not be taken anywhere
// Ended by SIGTERM or SIGINT: the conventional 128 + signal number.
constexpr int BySignal(int signalNumber) {
    return 128 + signalNumber;
}
}  // namespace exit_status

inline constexpr const char* kAlreadyRunningMessage = "Vaskは既に起動されています。";
inline constexpr const char* kBadCommandLineMessage =
    "起動ｵﾌﾟｼｮﾝが異常。またはｱｲｺﾝへのﾄﾞﾗｯｸﾞｱﾝﾄﾞﾄﾞﾛｯﾌﾟは出来ません。";
inline constexpr const char* kNoInstanceLockMessage =
    "二重起動を防ぐﾛｯｸﾌｧｲﾙが作成できません。Vaskを起動できません。";
inline constexpr const char* kNoDisplayMessage = "画面が無いため、ｻｲﾚﾝﾄﾓｰﾄﾞ以外では起動できません。";
inline constexpr const char* kUsageLine =
    "使い方: vask [/silent[0-99]]   (例: vask /silent30 は30秒後に検索と削除)";
inline constexpr const char* kUnattendedTip = "Vaskがｻｲﾚﾝﾄﾓｰﾄﾞ実行中...";
inline constexpr const char* kForcedStopQuestion = "強制終了してよろしいですか?";
inline constexpr const char* kForcedStopMessage = "Vaskを強制終了しました。";

// The program's arguments (without the program name) as one command line, joined by one blank.
std::string JoinArguments(const std::vector<std::string>& arguments);

// Examines the command line: 0 when acceptable, 1 when not. Empty: interactive use (bSilent false).
// "/silent" directly followed by nothing or by decimal digits of the value 0 to 99, in any letter case:
// bSilent true and nSilentDelay the value (0 when none). Anything else is refused; bSilent may then be set,
// and nSilentDelay is left as it was.
int CheckCommandLine(std::string_view commandLine, bool& bSilent, int& nSilentDelay);

// The first step of every start: takes the single-instance lock. 0 when this process may run; else the
// message was shown (stop icon) and the result is the status to end with.
int ClaimSingleInstance(InstanceLock& lock, Prompter& prompter);

// What the start-up flow works with. All must outlive the flow.
struct StartUpPorts {
    MainDialogController& dialog;
    MainView& view;
    Prompter& prompter;
    NotificationSign& sign;
    Sleeper& sleeper;
    Clock& clock;
};

// A file operation's user side that also honours the forced stop: once a stop is asked for, every question
// is declined and the operation is stopped before its next file. Between two files of an unattended move or
// deletion it pumps events (at most every 20 ms of the monotonic clock), so the sign and the signals are
// heard while nothing else runs the event loop. Everything else goes to the wrapped interface.
class StoppableOperationUi : public FileOperationUi {
  public:
    // All must outlive this object.
    StoppableOperationUi(FileOperationUi& inner, MainView& view, Clock& clock, const bool& stopRequested);

    void BeginOperation(FileOperationKind kind, std::size_t count) override;
    void EndOperation() override;
    bool ConfirmStart(FileOperationKind kind, const std::vector<FileOperationItem>& items) override;
    bool OfferCreateFolder(const std::string& folder) override;
    ReplaceAnswer AskReplace(const std::string& source, const std::string& target) override;
    bool Progress(std::size_t done, std::size_t total, const std::string& path) override;
    void ReportFailures(FileOperationKind kind, const std::vector<FileOperationFailure>& failures) override;
    bool ContinueUnattended(std::size_t done, std::size_t total) override;

  private:
    FileOperationUi& inner_;
    MainView& view_;
    Clock& clock_;
    const bool& stopRequested_;
    std::int64_t lastPumpMs_ = -1;
};

enum class UnattendedPhase { None, Waiting, Searching, Disposing, Ended };

class StartUpFlow {
  public:
    // Sets the sign's click handler. Attach the dialog's disposal with OperationUi().
    StartUpFlow(StartUpPorts ports, FileOperationUi& operationUi);
    StartUpFlow(const StartUpFlow&) = delete;
    StartUpFlow& operator=(const StartUpFlow&) = delete;

    struct Outcome {
        bool showWindow = false;  // true: interactive use; run the window, end with kDone when it closes
        int exitStatus = exit_status::kDone;  // when showWindow is false: end now with this
    };

    // The main dialog's start-up: the command line (refused: the message, nothing read), then LoadProfile,
    // FillDriveList, OnLastDateCheck and RestoreDriveChecks (MainDialogController::Start), then either the
    // unattended run or interactive use. haveDisplay false: nobody can see a window, so every road that
    // would open one ends with kUnattendedNotPossible instead (the reason was shown first). The window's
    // own set-up (icons, spin range, clip, tooltips, window menu, no drops) is done when it is built.
    Outcome OnInitDialog(const std::string& commandLine, bool haveDisplay);

    // The unattended run: the version gate (refused: the first-start message and interactive use), then
    // the sign with icon 189 and the tip, nSilentDelay × 10 rounds of PumpMessages and a 100 ms pause, icon
    // 171 and OnSearch, icon 128 and OnDelete, the sign taken away. Ends with kDone when the delete command
    // finished or found nothing to do, else kDisposalStopped; after a forced stop with the stop's status.
    Outcome RunUnattended(bool haveDisplay);

    // A button press on the sign: during the run asks the forced-stop question (Yes/No, on top); Yes asks
    // for the stop with status kDone. Ignored outside the run, while the question is open and once stopping.
    void OnTrayNotify();
    // SIGTERM or SIGINT: the forced stop answered Yes, with status BySignal(signalNumber). Recorded at any
    // time; the first stop's status holds.
    void OnStopSignal(int signalNumber);

    bool StopRequested() const { return stopRequested_; }
    int StopStatus() const { return stopStatus_; }
    UnattendedPhase Phase() const { return phase_; }
    // The file operation's user side to attach to the dialog's delete command.
    FileOperationUi& OperationUi() { return operationUi_; }

    int nSilentDelay = 0;

  private:
    void RequestStop(int status);
    // Takes the sign away and says that Vask was stopped.
    Outcome EndForcedStop();

    StartUpPorts ports_;
    bool stopRequested_ = false;
    int stopStatus_ = exit_status::kDone;
    bool asking_ = false;
    UnattendedPhase phase_ = UnattendedPhase::None;
    StoppableOperationUi operationUi_;
};

}  // namespace vask
