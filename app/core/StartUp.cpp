#include "app/core/StartUp.h"

#include "settings/SettingsStore.h"

namespace vask {

namespace {

constexpr std::string_view kSilentSwitch = "/silent";
constexpr int kMaxSilentDelay = 99;
constexpr int kWaitRoundsPerSecond = 10;
constexpr int kWaitRoundMs = 100;
constexpr std::int64_t kPumpEveryMs = 20;

PromptAnswer ShowStartMessage(Prompter& prompter, const char* text, PromptIcon icon, bool topmost = false) {
    Prompt prompt{text, "", PromptButtons::Ok, icon};
    prompt.topmost = topmost;
    return prompter.Ask(prompt);
}

}  // namespace

std::string JoinArguments(const std::vector<std::string>& arguments) {
    std::string line;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        if (i > 0) line += ' ';
        line += arguments[i];
    }
    return line;
}

int CheckCommandLine(std::string_view commandLine, bool& bSilent, int& nSilentDelay) {
    // Only ASCII letters are folded: every byte of a multi-byte character is 0x80 or above and stays.
    std::string t(commandLine);
    for (char& c : t) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    if (t.empty()) {
        bSilent = false;
        return 0;
    }
    if (t.compare(0, kSilentSwitch.size(), kSilentSwitch) != 0) return 1;
    bSilent = true;
    const std::string_view rest = std::string_view(t).substr(kSilentSwitch.size());
    // Read with saturation: a long run of digits is a large number (refused), never one wrapped into range.
    int value = 0;
    for (char c : rest) {
        if (c < '0' || c > '9') return 1;
        value = value > kMaxSilentDelay ? value : value * 10 + (c - '0');
    }
    if (value > kMaxSilentDelay) return 1;
    nSilentDelay = value;
    return 0;
}

int ClaimSingleInstance(InstanceLock& lock, Prompter& prompter) {
    switch (lock.Acquire()) {
        case InstanceLockResult::Acquired:
            return 0;
        case InstanceLockResult::AlreadyRunning:
            ShowStartMessage(prompter, kAlreadyRunningMessage, PromptIcon::Stop);
            return exit_status::kAlreadyRunning;
        case InstanceLockResult::Unavailable:
            break;
    }
    // Without the lock two copies could dispose of the same files at once: refuse rather than guess.
    const std::string text = std::string(kNoInstanceLockMessage) + "\n" + lock.FailureText();
    prompter.Ask(Prompt{text, "", PromptButtons::Ok, PromptIcon::Stop});
    return exit_status::kNoInstanceLock;
}

// --- the file operation under a forced stop ---

StoppableOperationUi::StoppableOperationUi(FileOperationUi& inner, MainView& view, Clock& clock,
                                           const bool& stopRequested)
    : inner_(inner), view_(view), clock_(clock), stopRequested_(stopRequested) {}

// Begin and end pass through even after a stop: the inner side must see every operation it saw begin end.
void StoppableOperationUi::BeginOperation(FileOperationKind kind, std::size_t count) {
    inner_.BeginOperation(kind, count);
}

void StoppableOperationUi::EndOperation() {
    inner_.EndOperation();
}

bool StoppableOperationUi::ConfirmStart(FileOperationKind kind, const std::vector<FileOperationItem>& items) {
    if (stopRequested_) return false;
    // A stop asked for while the question was open outweighs the answer.
    return inner_.ConfirmStart(kind, items) && !stopRequested_;
}

bool StoppableOperationUi::OfferCreateFolder(const std::string& folder) {
    if (stopRequested_) return false;
    return inner_.OfferCreateFolder(folder) && !stopRequested_;
}

ReplaceAnswer StoppableOperationUi::AskReplace(const std::string& source, const std::string& target) {
    if (stopRequested_) return ReplaceAnswer::Cancel;
    const ReplaceAnswer answer = inner_.AskReplace(source, target);
    return stopRequested_ ? ReplaceAnswer::Cancel : answer;
}

bool StoppableOperationUi::Progress(std::size_t done, std::size_t total, const std::string& path) {
    if (stopRequested_) return false;
    return inner_.Progress(done, total, path) && !stopRequested_;
}

void StoppableOperationUi::ReportFailures(FileOperationKind kind,
                                          const std::vector<FileOperationFailure>& failures) {
    inner_.ReportFailures(kind, failures);
}

bool StoppableOperationUi::ContinueUnattended(std::size_t done, std::size_t total) {
    // The unattended procedures show nothing and run no event loop of their own; without this pump a click
    // on the sign or a SIGTERM would wait for the last file.
    const std::int64_t now = clock_.MonotonicMilliseconds();
    if (lastPumpMs_ < 0 || now - lastPumpMs_ >= kPumpEveryMs) {
        lastPumpMs_ = now;
        view_.PumpMessages();
    }
    if (stopRequested_) return false;
    return inner_.ContinueUnattended(done, total);
}

// --- start-up and the unattended run ---

StartUpFlow::StartUpFlow(StartUpPorts ports, FileOperationUi& operationUi)
    : ports_(ports), operationUi_(operationUi, ports.view, ports.clock, stopRequested_) {
    ports_.sign.OnClick([this] { OnTrayNotify(); });
}

StartUpFlow::Outcome StartUpFlow::OnInitDialog(const std::string& commandLine, bool haveDisplay) {
    MainDialogController& dialog = ports_.dialog;
    if (CheckCommandLine(commandLine, dialog.bSilent, nSilentDelay) != 0) {
        ShowStartMessage(ports_.prompter, kBadCommandLineMessage, PromptIcon::Stop);
        return Outcome{false, exit_status::kBadCommandLine};
    }
    if (!dialog.bSilent && !haveDisplay) {
        ShowStartMessage(ports_.prompter, kNoDisplayMessage, PromptIcon::Stop);
        return Outcome{false, exit_status::kUnattendedNotPossible};
    }

    const bool drivesChanged = dialog.Start();
    if (drivesChanged) {
        // RestoreDriveChecks has said so and unticked every drive: the user must tick them again.
        dialog.bSilent = false;
        if (!haveDisplay) return Outcome{false, exit_status::kUnattendedNotPossible};
        return Outcome{true, exit_status::kDone};
    }
    if (dialog.bSilent) return RunUnattended(haveDisplay);
    return Outcome{true, exit_status::kDone};
}

StartUpFlow::Outcome StartUpFlow::RunUnattended(bool haveDisplay) {
    MainDialogController& dialog = ports_.dialog;
    if (!dialog.Store().UnattendedAllowedByVersion()) {
        ShowStartMessage(ports_.prompter, kFirstStartUnattendedMessage, PromptIcon::Exclamation);
        dialog.bSilent = false;
        if (!haveDisplay) return Outcome{false, exit_status::kUnattendedNotPossible};
        return Outcome{true, exit_status::kDone};
    }
    if (stopRequested_) return EndForcedStop();

    phase_ = UnattendedPhase::Waiting;
    ports_.sign.Add(kIconWaiting, kUnattendedTip);
    const int rounds = nSilentDelay * kWaitRoundsPerSecond;
    for (int i = 0; i < rounds && !stopRequested_; ++i) {
        ports_.view.PumpMessages();
        if (stopRequested_) break;
        ports_.sleeper.SleepMilliseconds(kWaitRoundMs);
    }
    if (stopRequested_) return EndForcedStop();

    phase_ = UnattendedPhase::Searching;
    ports_.sign.Modify(kIconSearching);
    dialog.OnSearch();
    if (stopRequested_) return EndForcedStop();

    phase_ = UnattendedPhase::Disposing;
    ports_.sign.Modify(kIconDisposing);
    const DeleteOutcome deleted = dialog.OnDelete();
    if (stopRequested_) return EndForcedStop();

    phase_ = UnattendedPhase::Ended;
    ports_.sign.Remove();
    const bool done = deleted == DeleteOutcome::Done || deleted == DeleteOutcome::NothingFound;
    return Outcome{false, done ? exit_status::kDone : exit_status::kDisposalStopped};
}

void StartUpFlow::OnTrayNotify() {
    const bool running = phase_ == UnattendedPhase::Waiting || phase_ == UnattendedPhase::Searching ||
                         phase_ == UnattendedPhase::Disposing;
    if (!running || stopRequested_ || asking_) return;
    asking_ = true;
    Prompt question{kForcedStopQuestion, "", PromptButtons::YesNo, PromptIcon::Question};
    question.topmost = true;
    const PromptAnswer answer = ports_.prompter.Ask(question);
    asking_ = false;
    if (answer == PromptAnswer::Yes) RequestStop(exit_status::kDone);
}

void StartUpFlow::OnStopSignal(int signalNumber) {
    RequestStop(exit_status::BySignal(signalNumber));
}

void StartUpFlow::RequestStop(int status) {
    if (stopRequested_) return;
    stopRequested_ = true;
    stopStatus_ = status;
    ports_.dialog.RequestStop();
    // The sign goes at once; the run may still finish the file at hand before it can say it stopped.
    if (phase_ != UnattendedPhase::None) ports_.sign.Remove();
}

StartUpFlow::Outcome StartUpFlow::EndForcedStop() {
    phase_ = UnattendedPhase::Ended;
    ports_.sign.Remove();
    ShowStartMessage(ports_.prompter, kForcedStopMessage, PromptIcon::Stop, true);
    return Outcome{false, stopStatus_};
}

}  // namespace vask
