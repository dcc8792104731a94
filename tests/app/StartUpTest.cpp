// The start of Vask on fakes: single instance, command line, start-up order, version gate, changed drives,
// the phases of the unattended run and its forced stop.
#include "app/core/StartUp.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>

#include "platform/fakes/FakeArchiverLoader.h"
#include "platform/fakes/FakeClock.h"
#include "platform/fakes/FakeInstanceLock.h"
#include "platform/fakes/FakeLauncher.h"
#include "platform/fakes/FakeNotificationSign.h"
#include "platform/fakes/FakeSleeper.h"
#include "platform/fakes/FakeSoundPlayer.h"
#include "platform/fakes/FakeVolumeSource.h"
#include "platform/fakes/MemoryEnvironment.h"
#include "platform/fakes/MemoryFileSystem.h"
#include "platform/fakes/MemoryMainView.h"
#include "platform/fakes/MemoryProfileStore.h"
#include "platform/fakes/ScriptedPrompter.h"
#include "settings/SettingsStore.h"
#include "tests/disposal/AgreeingFileOperationUi.h"
#include "tests/disposal/ScriptedFileOperationUi.h"

namespace vask {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

TEST(CheckCommandLineTest, TheWholeTable) {
    struct Case {
        std::vector<std::string> arguments;
        int result;
        bool silent;
        int delay;  // -1: left as it was
    };
    const Case cases[] = {
        {{}, 0, false, -1},
        {{"/silent"}, 0, true, 0},
        {{"/silent0"}, 0, true, 0},
        {{"/silent15"}, 0, true, 15},
        {{"/silent99"}, 0, true, 99},
        {{"/silent007"}, 0, true, 7},
        {{"/SILENT15"}, 0, true, 15},
        {{"/Silent"}, 0, true, 0},
        {{"/silent", "15"}, 1, true, -1},  // "/silent 15"
        {{"/silent 15"}, 1, true, -1},
        {{"/silent100"}, 1, true, -1},
        {{"/silent99999999999999999999"}, 1, true, -1},  // never wrapped into range
        {{"/silentx"}, 1, true, -1},
        {{"/silent-1"}, 1, true, -1},
        {{"/silent15 "}, 1, true, -1},
        {{"/silen"}, 1, false, -1},
        {{"silent"}, 1, false, -1},
        {{" /silent"}, 1, false, -1},
        {{"--help"}, 1, false, -1},
        {{"/home/ann/report.bak"}, 1, false, -1},  // a file dropped on the launcher
        {{"/ｓｉｌｅｎｔ"}, 1, false, -1},         // full-width letters are not folded
    };
    for (const Case& c : cases) {
        const std::string line = JoinArguments(c.arguments);
        bool silent = false;
        int delay = -1;
        EXPECT_EQ(CheckCommandLine(line, silent, delay), c.result) << line;
        EXPECT_EQ(silent, c.silent) << line;
        EXPECT_EQ(delay, c.delay) << line;
    }
}

TEST(ClaimSingleInstanceTest, EachLockResult) {
    struct Case {
        InstanceLockResult lock;
        int status;
        std::string text;
    };
    const Case cases[] = {
        {InstanceLockResult::Acquired, 0, ""},
        {InstanceLockResult::AlreadyRunning, exit_status::kAlreadyRunning, "Vaskは既に起動されています。"},
        {InstanceLockResult::Unavailable, exit_status::kNoInstanceLock,
         std::string(kNoInstanceLockMessage) + "\n/run/user/1000/Vask.lock: Permission denied"},
    };
    for (const Case& c : cases) {
        FakeInstanceLock lock;
        lock.result = c.lock;
        ScriptedPrompter prompter;
        EXPECT_EQ(ClaimSingleInstance(lock, prompter), c.status);
        EXPECT_EQ(lock.attempts, 1);
        if (c.text.empty()) {
            EXPECT_THAT(prompter.Prompts(), IsEmpty());
        } else {
            ASSERT_EQ(prompter.Prompts().size(), 1u);
            EXPECT_EQ(prompter.Prompts()[0].text, c.text);
            EXPECT_EQ(prompter.Prompts()[0].icon, PromptIcon::Stop);
        }
    }
}

// A prompter that lets a test act while a box is open (as a click or a signal would), then answers from the
// script.
class ActingPrompter : public ScriptedPrompter {
  public:
    PromptAnswer Ask(const Prompt& prompt) override {
        if (whileOpen) whileOpen(prompt);
        return ScriptedPrompter::Ask(prompt);
    }
    std::function<void(const Prompt&)> whileOpen;
};

class StartUpTest : public ::testing::Test {
  protected:
    StartUpTest() {
        environment.variables = {{"HOME", "/home/ann"}, {"TMPDIR", "/tmp"}};
        volumes.Add("/v/", "ext4", "data", 0xbeef, 1ULL << 30);
        fs.AddFile("/v/a.bak", 100);
        fs.AddFile("/v/sub/b.bak", 200);
        fs.AddFile("/v/c.txt", 5);
        profile.SetInt("nTrush", kDisposeDelete);
        profile.SetInt("bLog", 1);
        profile.SetString("strOutFolderEdit0", "/usr/");
    }

    // What the last interactive search left in the profile: the ticked volume, the pattern, the version.
    void SearchOnceInteractively(const std::string& pattern = "*.bak") {
        MemoryMainView otherView;
        ScriptedPrompter otherPrompter({PromptAnswer::Yes});
        MainDialogController other(
            MainDialogPorts{otherView, otherPrompter, clock, fs, environment, volumes, launcher, profile});
        other.Start();
        otherView.SetDriveCheckState(0, 1);
        otherView.patternText = pattern;
        other.OnSearch();
        ASSERT_EQ(profile.StoredString("strVersion"), "2.61");
        profile.ClearLog();
    }

    StartUpFlow& Flow() {
        if (!flow) {
            flow = std::make_unique<StartUpFlow>(
                StartUpPorts{controller, view, prompter, sign, sleeper, clock}, operationUi);
            controller.AttachDisposal(flow->OperationUi(), archiver, sound);
        }
        return *flow;
    }

    std::vector<std::string> Texts() const {
        std::vector<std::string> texts;
        for (const Prompt& prompt : prompter.Prompts())
            texts.push_back(prompt.text);
        return texts;
    }
    std::string Log() const {
        auto node = fs.Find("/cwd/Vask.Log");
        return node ? MemoryFileSystem::ContentOf(*node) : std::string();
    }
    bool Exists(const std::string& path) const { return fs.Find(path) != nullptr; }

    MemoryMainView view;
    ActingPrompter prompter;
    FakeClock clock;
    MemoryFileSystem fs;
    MemoryEnvironment environment;
    FakeVolumeSource volumes;
    FakeLauncher launcher;
    MemoryProfileStore profile;
    FakeNotificationSign sign;
    FakeSleeper sleeper;
    AgreeingFileOperationUi operationUi;
    FakeArchiverLoader archiver{FakeArchiverLoader::Behaviour::Missing};
    FakeSoundPlayer sound;
    MainDialogController controller{
        MainDialogPorts{view, prompter, clock, fs, environment, volumes, launcher, profile}};
    std::unique_ptr<StartUpFlow> flow;
};

TEST_F(StartUpTest, UnattendedRunSearchesDisposesAndEndsWithoutTheWindow) {
    SearchOnceInteractively();
    const StartUpFlow::Outcome outcome = Flow().OnInitDialog("/SILENT", true);
    EXPECT_FALSE(outcome.showWindow);
    EXPECT_EQ(outcome.exitStatus, exit_status::kDone);
    EXPECT_THAT(sign.calls,
                ElementsAre("add 189 Vaskがｻｲﾚﾝﾄﾓｰﾄﾞ実行中...", "modify 171", "modify 128", "remove"));
    EXPECT_FALSE(Exists("/v/a.bak"));
    EXPECT_FALSE(Exists("/v/sub/b.bak"));
    EXPECT_TRUE(Exists("/v/c.txt"));
    EXPECT_THAT(Log(), HasSubstr("---<Silent>------"));
    EXPECT_THAT(Texts(), IsEmpty());
    EXPECT_EQ(sleeper.sleeps, 0);  // /silent waits no time
    EXPECT_EQ(Flow().Phase(), UnattendedPhase::Ended);
}

TEST_F(StartUpTest, BadCommandLineReadsNothing) {
    SearchOnceInteractively();
    const StartUpFlow::Outcome outcome = Flow().OnInitDialog("/silent 15", true);
    EXPECT_FALSE(outcome.showWindow);
    EXPECT_EQ(outcome.exitStatus, exit_status::kBadCommandLine);
    ASSERT_EQ(prompter.Prompts().size(), 1u);
    EXPECT_EQ(prompter.Prompts()[0].text, kBadCommandLineMessage);
    EXPECT_EQ(prompter.Prompts()[0].icon, PromptIcon::Stop);
    EXPECT_THAT(profile.Reads(), IsEmpty());
    EXPECT_EQ(view.DriveItemCount(), 0);  // neither the drive list nor its ticks were read
    EXPECT_THAT(sign.calls, IsEmpty());
    EXPECT_TRUE(Exists("/v/a.bak"));
}

TEST_F(StartUpTest, InteractiveStartLoadsFillsAndRestoresInOrder) {
    SearchOnceInteractively();
    const StartUpFlow::Outcome outcome = Flow().OnInitDialog("", true);
    EXPECT_TRUE(outcome.showWindow);
    EXPECT_FALSE(controller.bSilent);
    EXPECT_EQ(view.patternText, "*.bak");                    // LoadProfile
    ASSERT_EQ(view.DriveItemCount(), 1);                     // FillDriveList
    EXPECT_EQ(view.DriveCheckState(0), 1);                   // RestoreDriveChecks, after the list was filled
    EXPECT_FALSE(view.IsControlEnabled(control::kDayEdit));  // OnLastDateCheck
    EXPECT_THAT(sign.calls, IsEmpty());
    EXPECT_TRUE(Exists("/v/a.bak"));

    // Without a display nobody could use the window: refused before anything is read.
    profile.ClearLog();
    MemoryMainView otherView;
    ScriptedPrompter otherPrompter;
    MainDialogController other(
        MainDialogPorts{otherView, otherPrompter, clock, fs, environment, volumes, launcher, profile});
    StartUpFlow headless(StartUpPorts{other, otherView, otherPrompter, sign, sleeper, clock}, operationUi);
    const StartUpFlow::Outcome refused = headless.OnInitDialog("", false);
    EXPECT_FALSE(refused.showWindow);
    EXPECT_EQ(refused.exitStatus, exit_status::kUnattendedNotPossible);
    ASSERT_EQ(otherPrompter.Prompts().size(), 1u);
    EXPECT_EQ(otherPrompter.Prompts()[0].text, kNoDisplayMessage);
    EXPECT_THAT(profile.Reads(), IsEmpty());
}

TEST_F(StartUpTest, VersionGate) {
    struct Case {
        std::optional<std::string> version;  // nullopt: no strVersion stored
        bool allowed;
    };
    const Case cases[] = {{std::nullopt, false}, {"", false},    {"1.99", false}, {"10.0", false},
                          {"2.00", true},        {"2.61", true}, {"abc", true}};
    for (const Case& c : cases) {
        for (bool display : {true, false}) {
            SCOPED_TRACE(c.version.value_or("<none>") + (display ? " display" : " no display"));
            MemoryProfileStore store;
            store.SetInt("nTrush", kDisposeDelete);
            if (c.version) store.SetString("strVersion", *c.version);
            MemoryMainView v;
            ScriptedPrompter p;
            FakeNotificationSign s;
            MainDialogController dialog(
                MainDialogPorts{v, p, clock, fs, environment, volumes, launcher, store});
            StartUpFlow start(StartUpPorts{dialog, v, p, s, sleeper, clock}, operationUi);
            dialog.AttachDisposal(start.OperationUi(), archiver, sound);
            const StartUpFlow::Outcome outcome = start.OnInitDialog("/silent", display);
            if (c.allowed) {
                EXPECT_FALSE(outcome.showWindow);
                EXPECT_FALSE(s.calls.empty());
                EXPECT_TRUE(dialog.bSilent);
                continue;
            }
            EXPECT_EQ(outcome.showWindow, display);
            EXPECT_EQ(outcome.exitStatus, display ? exit_status::kDone : exit_status::kUnattendedNotPossible);
            EXPECT_FALSE(dialog.bSilent);
            EXPECT_THAT(s.calls, IsEmpty());
            ASSERT_EQ(p.Prompts().size(), 1u);
            EXPECT_EQ(p.Prompts()[0].text, kFirstStartUnattendedMessage);
            EXPECT_EQ(EffectivePromptIcon(p.Prompts()[0]), PromptIcon::Exclamation);
        }
    }
}

TEST_F(StartUpTest, ChangedDrivesFallBackToInteractiveUse) {
    SearchOnceInteractively();
    volumes.volumes[0].serial = 0xdead;  // another volume at the same place
    for (bool display : {true, false}) {
        SCOPED_TRACE(display ? "display" : "no display");
        MemoryMainView v;
        ScriptedPrompter p;
        FakeNotificationSign s;
        MainDialogController dialog(
            MainDialogPorts{v, p, clock, fs, environment, volumes, launcher, profile});
        StartUpFlow start(StartUpPorts{dialog, v, p, s, sleeper, clock}, operationUi);
        const StartUpFlow::Outcome outcome = start.OnInitDialog("/silent5", display);
        EXPECT_EQ(outcome.showWindow, display);
        EXPECT_EQ(outcome.exitStatus, display ? exit_status::kDone : exit_status::kUnattendedNotPossible);
        EXPECT_FALSE(dialog.bSilent);
        EXPECT_EQ(v.DriveCheckState(0), 0);
        ASSERT_EQ(p.Prompts().size(), 1u);
        EXPECT_EQ(p.Prompts()[0].text, kDriveEnvironmentChangedMessage);
        EXPECT_THAT(s.calls, IsEmpty());
        EXPECT_EQ(sleeper.sleeps, 0);
    }
    EXPECT_TRUE(Exists("/v/a.bak"));
}

TEST_F(StartUpTest, WaitPumpsThenPausesWithTheWaitingIcon) {
    SearchOnceInteractively();
    std::vector<int> pumpsAtSleep;
    sleeper.onSleep = [&] {
        pumpsAtSleep.push_back(view.pumps);
        EXPECT_EQ(sign.icon, kIconWaiting);
        EXPECT_TRUE(Exists("/v/a.bak"));  // nothing searched or disposed of yet
    };
    EXPECT_EQ(Flow().OnInitDialog("/silent3", true).exitStatus, exit_status::kDone);
    EXPECT_EQ(sleeper.sleeps, 30);
    EXPECT_EQ(sleeper.totalMs, 3000);
    for (std::size_t i = 0; i < pumpsAtSleep.size(); ++i)
        EXPECT_EQ(pumpsAtSleep[i], static_cast<int>(i) + 1);
    EXPECT_FALSE(Exists("/v/a.bak"));
}

TEST_F(StartUpTest, NothingFoundEndsWellAndARefusedDisposalDoesNot) {
    SearchOnceInteractively("*.none");
    EXPECT_EQ(Flow().OnInitDialog("/silent", true).exitStatus, exit_status::kDone);
    EXPECT_EQ(view.status, "まず検索してください。");
    EXPECT_EQ(Log(), "");

    // "*.*" with nobody to answer its question (No): nothing searched, nothing disposed of.
    SearchOnceInteractively("*.*");
    MemoryMainView v;
    ScriptedPrompter p;
    FakeNotificationSign s;
    MainDialogController dialog(MainDialogPorts{v, p, clock, fs, environment, volumes, launcher, profile});
    StartUpFlow start(StartUpPorts{dialog, v, p, s, sleeper, clock}, operationUi);
    dialog.AttachDisposal(start.OperationUi(), archiver, sound);
    EXPECT_EQ(start.OnInitDialog("/silent", false).exitStatus, exit_status::kDisposalStopped);
    EXPECT_TRUE(Exists("/v/c.txt"));
    EXPECT_TRUE(Exists("/v/a.bak"));
}

// Where the sign is pressed or the signal arrives.
enum class Moment { Waiting, Searching, BetweenTwoFiles, InAllFilesQuestion };

struct StopCase {
    Moment moment;
    bool bySignal;        // SIGTERM (15) instead of a press on the sign
    PromptAnswer answer;  // to the forced-stop question
    bool stops;
    int status;
    std::vector<std::string> kept;
};

class ForcedStopTest : public StartUpTest, public ::testing::WithParamInterface<StopCase> {};

TEST_P(ForcedStopTest, StopsAtTheNextSafePointOrGoesOn) {
    const StopCase& c = GetParam();
    SearchOnceInteractively(c.moment == Moment::InAllFilesQuestion ? "*.*" : "*.bak");
    clock.stepMs = 25;  // every walker entry and every file passes the pump interval
    bool acted = false;
    bool signShownAfterAnswer = false;
    std::size_t writesBefore = 0;
    const auto act = [&] {
        if (acted) return;
        acted = true;
        writesBefore = profile.Writes().size();
        if (c.bySignal) {
            Flow().OnStopSignal(15);
        } else {
            prompter.Answer(c.answer);
            sign.Click();
        }
        signShownAfterAnswer = sign.shown;
    };
    int disposingPumps = 0;
    sleeper.onSleep = [&] {
        if (c.moment == Moment::Waiting) act();
    };
    view.onPump = [&] {
        if (c.moment == Moment::Searching && sign.icon == kIconSearching) act();
        // The second file's turn: the first is gone, the second not yet.
        if (c.moment == Moment::BetweenTwoFiles && sign.icon == kIconDisposing && ++disposingPumps == 2)
            act();
    };
    prompter.whileOpen = [&](const Prompt& prompt) {
        if (c.moment == Moment::InAllFilesQuestion && prompt.text.find("*.*") != std::string::npos) {
            prompter.Answer(PromptAnswer::Yes);  // the person at the box agrees to "*.*"
            act();
        }
    };
    const StartUpFlow::Outcome outcome = Flow().OnInitDialog("/silent1", true);
    ASSERT_TRUE(acted);
    EXPECT_FALSE(outcome.showWindow);
    EXPECT_EQ(outcome.exitStatus, c.status);

    std::vector<std::string> expectedTexts;
    if (c.moment == Moment::InAllFilesQuestion) expectedTexts.push_back(Texts().front());
    if (!c.bySignal) expectedTexts.push_back(kForcedStopQuestion);
    if (c.stops) expectedTexts.push_back(kForcedStopMessage);
    EXPECT_EQ(Texts(), expectedTexts);
    for (const Prompt& prompt : prompter.Prompts()) {
        if (prompt.text == kForcedStopQuestion) {
            EXPECT_EQ(prompt.buttons, PromptButtons::YesNo);
            EXPECT_EQ(prompt.icon, PromptIcon::Question);
            EXPECT_TRUE(prompt.topmost);
        } else if (prompt.text == kForcedStopMessage) {
            EXPECT_EQ(prompt.icon, PromptIcon::Stop);
            EXPECT_TRUE(prompt.topmost);
        }
    }
    EXPECT_EQ(sign.calls.back(), "remove");
    EXPECT_EQ(signShownAfterAnswer, !c.stops);  // a stop takes the sign away at once
    EXPECT_FALSE(sign.shown);
    for (const std::string path : {"/v/a.bak", "/v/sub/b.bak"}) {
        const bool kept = std::find(c.kept.begin(), c.kept.end(), path) != c.kept.end();
        EXPECT_EQ(Exists(path), kept) << path;
    }
    if (c.stops) {
        EXPECT_EQ(Log(), "");  // no log
        // Nothing saved from the stop on (a search that ended before it has saved, as any search does).
        EXPECT_EQ(profile.Writes().size(), writesBefore);
    } else {
        EXPECT_THAT(Log(), HasSubstr("---<Silent>------"));
        EXPECT_FALSE(profile.Writes().empty());
    }
}

const std::vector<std::string> kBoth = {"/v/a.bak", "/v/sub/b.bak"};
INSTANTIATE_TEST_SUITE_P(
    EveryPhase, ForcedStopTest,
    ::testing::Values(
        StopCase{Moment::Waiting, false, PromptAnswer::Yes, true, 0, kBoth},
        StopCase{Moment::Waiting, false, PromptAnswer::No, false, 0, {}},
        StopCase{Moment::Waiting, true, PromptAnswer::Yes, true, 143, kBoth},
        StopCase{Moment::Searching, false, PromptAnswer::Yes, true, 0, kBoth},
        StopCase{Moment::Searching, false, PromptAnswer::No, false, 0, {}},
        StopCase{Moment::Searching, true, PromptAnswer::Yes, true, 143, kBoth},
        StopCase{Moment::BetweenTwoFiles, false, PromptAnswer::Yes, true, 0, {"/v/sub/b.bak"}},
        StopCase{Moment::BetweenTwoFiles, false, PromptAnswer::No, false, 0, {}},
        StopCase{Moment::BetweenTwoFiles, true, PromptAnswer::Yes, true, 143, {"/v/sub/b.bak"}},
        StopCase{
            Moment::InAllFilesQuestion, true, PromptAnswer::Yes, true, 143, {"/v/a.bak", "/v/sub/b.bak"}}));

TEST_F(StartUpTest, PressesOutsideTheRunAndDuringTheQuestionAreIgnored) {
    SearchOnceInteractively();
    sign.Click();  // before the run: no question
    EXPECT_THAT(prompter.Prompts(), IsEmpty());
    int questions = 0;
    prompter.whileOpen = [&](const Prompt& prompt) {
        if (prompt.text != kForcedStopQuestion) return;
        ++questions;
        sign.Click();  // a second press while the question is open
    };
    sleeper.onSleep = [&] {
        if (sleeper.sleeps == 1) {
            prompter.Answer(PromptAnswer::No);
            sign.Click();
        }
    };
    EXPECT_EQ(Flow().OnInitDialog("/silent1", true).exitStatus, exit_status::kDone);
    EXPECT_EQ(questions, 1);
    sign.Click();  // after the run
    EXPECT_EQ(questions, 1);
}

// Once a stop is asked for, questions are declined without reaching the window, but the operation's end
// still does: a progress window shown for it must close.
TEST(StoppableOperationUiTest, AStopDeclinesQuestionsButLetsTheOperationEnd) {
    ScriptedFileOperationUi inner;
    MemoryMainView view;
    FakeClock clock;
    bool stop = false;
    StoppableOperationUi ui(inner, view, clock, stop);
    ui.BeginOperation(FileOperationKind::Delete, 2);
    EXPECT_TRUE(ui.ConfirmStart(FileOperationKind::Delete, {}));
    stop = true;
    EXPECT_FALSE(ui.Progress(0, 2, "/v/a"));
    EXPECT_EQ(ui.AskReplace("/v/a", "/t/a"), ReplaceAnswer::Cancel);
    ui.EndOperation();
    EXPECT_THAT(inner.calls, ElementsAre("begin", "confirm", "end"));
    EXPECT_EQ(inner.begunCount, 2u);
}

}  // namespace
}  // namespace vask
