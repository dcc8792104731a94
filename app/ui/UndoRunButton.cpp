#include "app/ui/UndoRunButton.h"

#include <QApplication>
#include <QEvent>
#include <QGridLayout>
#include <QIcon>
#include <QInputDialog>
#include <QProgressDialog>
#include <QPushButton>

#include "app/ui/MessageBoxes.h"
#include "disposal/RunUndo.h"
#include "disposal/UndoTexts.h"
#include "platform/Prompter.h"
#include "settings/ui/OptionSheetDialog.h"

namespace vask {

namespace {

using undo_text::kCaption;
constexpr std::size_t kListedRuns = 10;

// Re-checks the runs folder whenever the log page is shown: a run made meanwhile enables the button.
class PageShowWatcher : public QObject {
  public:
    PageShowWatcher(QObject* parent, std::function<void()> onShow)
        : QObject(parent), onShow_(std::move(onShow)) {}

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show) onShow_();
        return QObject::eventFilter(watched, event);
    }

  private:
    std::function<void()> onShow_;
};

std::string LabelOf(const RunSummary& run, Clock& clock) {
    const std::int64_t start = run.usable ? run.header.startSeconds : RunStartOfName(run.name);
    return RunLabel(run, clock.ToLocalTime(start));
}

void Inform(QWidget* parent, QMessageBox::Icon icon, const std::string& text) {
    ShowMessageBox(parent, icon, kCaption, text, "",
                   {{PromptButtonLabel(PromptAnswer::Ok), QMessageBox::AcceptRole, "ok"}}, 0);
}

// Asks about run; true to undo it. chooseOther is set when the user wants to pick another run.
bool Ask(QWidget* parent, const std::string& label, bool offerOthers, bool& chooseOther) {
    std::vector<MessageChoice> choices = {{PromptButtonLabel(PromptAnswer::Yes), QMessageBox::YesRole, "yes"},
                                          {PromptButtonLabel(PromptAnswer::No), QMessageBox::NoRole, "no"}};
    if (offerOthers) choices.push_back({undo_text::kOlderRunsLabel, QMessageBox::ActionRole, "older"});
    const std::size_t answer = ShowMessageBox(parent, QMessageBox::Question, kCaption,
                                              undo_text::UndoQuestion(label), "", choices, 1);
    chooseOther = answer == 2;
    return answer == 0;
}

void RunUndo(QWidget* parent, FileSystem& fileSystem, Clock& clock, const std::string& folder,
             ArchiverLoader* archiver) {
    const std::vector<RunSummary> runs = ListOfferedRuns(fileSystem, folder);
    if (runs.empty()) return;
    std::size_t chosen = 0;
    bool chooseOther = false;
    if (!Ask(parent, LabelOf(runs[0], clock), runs.size() > 1, chooseOther)) {
        if (!chooseOther) return;
        QStringList labels;
        for (std::size_t i = 0; i < runs.size() && i < kListedRuns; ++i)
            labels << QString::fromStdString(std::to_string(i + 1) + ": " + LabelOf(runs[i], clock));
        QInputDialog picker(parent);
        picker.setWindowTitle(kCaption);
        picker.setLabelText(QString::fromUtf8(undo_text::kPickRunText));
        picker.setComboBoxItems(labels);
        picker.setComboBoxEditable(false);
        // Like every box of Vask: its button texts (Qt's own are English without their translation) and no
        // theme icons.
        picker.setOkButtonText(QString::fromUtf8(PromptButtonLabel(PromptAnswer::Ok)));
        picker.setCancelButtonText(QString::fromUtf8(PromptButtonLabel(PromptAnswer::Cancel)));
        for (QAbstractButton* button : picker.findChildren<QAbstractButton*>())
            button->setIcon(QIcon());
        if (picker.exec() != QDialog::Accepted) return;
        // Numbered: two runs in one minute may otherwise read the same.
        chosen = static_cast<std::size_t>(labels.indexOf(picker.textValue()));
        if (chosen >= runs.size()) return;
        bool again = false;
        if (!Ask(parent, LabelOf(runs[chosen], clock), false, again)) return;
    }
    const RunSummary& run = runs[chosen];
    if (!run.usable) {
        Inform(parent, QMessageBox::Warning, undo_text::kUnusableRunText);
        return;
    }
    QProgressDialog progress(QString::fromUtf8(undo_text::kProgressText),
                             QString::fromUtf8(undo_text::kProgressCancelLabel), 0,
                             static_cast<int>(run.count), parent);
    progress.setWindowTitle(kCaption);
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(300);
    const UndoOutcome outcome = UndoRun(
        fileSystem, folder, run.name,
        [&](std::size_t done, std::size_t, const std::string& path) {
            progress.setValue(static_cast<int>(done));
            progress.setLabelText(QString::fromStdString(path));
            QApplication::processEvents();
            return !progress.wasCanceled();
        },
        archiver);
    progress.reset();
    Inform(parent, outcome.stayed.empty() && outcome.usable ? QMessageBox::Information : QMessageBox::Warning,
           UndoResultText(outcome));
}

}  // namespace

QPushButton* AttachUndoRunButton(OptionSheetDialog& dialog, FileSystem& fileSystem, Clock& clock,
                                 std::string runsFolder, ArchiverLoader* archiver) {
    QWidget* page = dialog.Page(OptionPage::LogView);
    auto* grid = page ? qobject_cast<QGridLayout*>(page->layout()) : nullptr;
    if (!grid) return nullptr;
    auto* button = new QPushButton(QString::fromUtf8(undo_text::kButtonLabel), page);
    button->setObjectName("undoRun");
    // Left, where the row holds only a spacer; Reset keeps its place on the right.
    grid->addWidget(button, 1, 0, Qt::AlignLeft);
    const auto refresh = [button, &fileSystem, runsFolder] {
        button->setEnabled(!runsFolder.empty() && !ListOfferedRuns(fileSystem, runsFolder).empty());
    };
    refresh();
    page->installEventFilter(new PageShowWatcher(page, refresh));
    QObject::connect(button, &QPushButton::clicked, page,
                     [page, &fileSystem, &clock, runsFolder, refresh, archiver] {
                         RunUndo(page, fileSystem, clock, runsFolder, archiver);
                         refresh();
                     });
    return button;
}

}  // namespace vask
