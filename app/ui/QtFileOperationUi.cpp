#include "app/ui/QtFileOperationUi.h"

#include <QAbstractTableModel>
#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QTreeView>
#include <QVBoxLayout>
#include <vector>

#include "app/ui/MessageBoxes.h"
#include "app/ui/Utf8Text.h"
#include "disposal/FileOperationTexts.h"
#include "platform/Prompter.h"

namespace vask {

namespace text = file_operation_text;

namespace {

constexpr int kPathWidth = 440;

// A question box in the look every message box of Vask shares; the first choice is the default.
std::size_t Ask(QWidget* parent, const std::string& caption, const std::string& message,
                const std::string& detail, const std::vector<MessageChoice>& choices,
                std::size_t escapeIndex) {
    return ShowMessageBox(parent, QMessageBox::Question, caption, message, detail, choices, escapeIndex);
}

// The failures as rows; texts are made when a row is drawn, so thousands of failures cost nothing up front.
class FailureModel : public QAbstractTableModel {
  public:
    explicit FailureModel(const std::vector<FileOperationFailure>& failures, QObject* parent)
        : QAbstractTableModel(parent), failures_(failures) {}

    int rowCount(const QModelIndex& parent = QModelIndex()) const override {
        return parent.isValid() ? 0 : static_cast<int>(failures_.size());
    }
    int columnCount(const QModelIndex& parent = QModelIndex()) const override {
        return parent.isValid() ? 0 : 2;
    }
    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::ToolTipRole)) return QVariant();
        const FileOperationFailure& failure = failures_[static_cast<std::size_t>(index.row())];
        return FromUtf8(index.column() == 0 ? text::FailurePath(failure) : text::FailureReason(failure));
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return QVariant();
        return FromUtf8(section == 0 ? text::ReportPathHeader() : text::ReportReasonHeader());
    }

  private:
    const std::vector<FileOperationFailure>& failures_;
};

}  // namespace

// Shown with show(), not exec(): the engine keeps the thread and pumps events through Progress.
class FileProgressWindow : public QDialog {
  public:
    explicit FileProgressWindow(QWidget* parent) : QDialog(parent) {
        setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                       Qt::WindowCloseButtonHint);
        // Application-modal: while events are pumped, nothing else of Vask may start (a second Delete).
        setWindowModality(Qt::ApplicationModal);
        count_ = new QLabel(this);
        bar_ = new QProgressBar(this);
        bar_->setRange(0, 1000);
        bar_->setTextVisible(false);
        path_ = new QLabel(this);
        path_->setFixedWidth(kPathWidth);
        path_->setTextFormat(Qt::PlainText);
        cancel_ = new QPushButton(FromUtf8(PromptButtonLabel(PromptAnswer::Cancel)), this);
        cancel_->setObjectName(QStringLiteral("cancel"));
        connect(cancel_, &QPushButton::clicked, this, &FileProgressWindow::reject);

        auto* buttons = new QHBoxLayout;
        buttons->addStretch();
        buttons->addWidget(cancel_);
        auto* layout = new QVBoxLayout(this);
        layout->addWidget(path_);
        layout->addWidget(bar_);
        layout->addWidget(count_);
        layout->addLayout(buttons);
        layout->setSizeConstraint(QLayout::SetFixedSize);
    }

    void ShowState(std::size_t done, std::size_t total, const std::string& path) {
        count_->setText(FromUtf8(text::ProgressCount(done, total)));
        bar_->setValue(total == 0 ? 0 : static_cast<int>(done * 1000.0 / static_cast<double>(total)));
        path_->setText(path_->fontMetrics().elidedText(FromUtf8(path), Qt::ElideMiddle, kPathWidth));
    }

    bool Cancelled() const { return cancelled_; }

    // Cancel, Escape and the close box: the engine stops at its next Progress call; until then the window
    // stays, so the user sees the operation end rather than vanish in mid-file.
    void reject() override {
        cancelled_ = true;
        cancel_->setEnabled(false);
    }

  private:
    QLabel* count_;
    QProgressBar* bar_;
    QLabel* path_;
    QPushButton* cancel_;
    bool cancelled_ = false;
};

QtFileOperationUi::QtFileOperationUi(QWidget* parent, Clock& clock) : parent_(parent), clock_(clock) {}

QtFileOperationUi::~QtFileOperationUi() {
    delete window_.data();
}

QWidget* QtFileOperationUi::DialogParent() const {
    if (window_ && window_->isVisible()) return window_.data();
    return parent_.data();
}

QWidget* QtFileOperationUi::ProgressWindow() const {
    return window_ && window_->isVisible() ? window_.data() : nullptr;
}

void QtFileOperationUi::BeginOperation(FileOperationKind kind, std::size_t /*count*/) {
    CloseProgressWindow();  // operations do not nest: anything still shown belongs to none
    kind_ = kind;
    RestartShowDelay();
}

void QtFileOperationUi::EndOperation() {
    CloseProgressWindow();
}

void QtFileOperationUi::RestartShowDelay() {
    if (window_) return;
    startMs_ = clock_.MonotonicMilliseconds();
    lastPumpMs_ = startMs_;
}

bool QtFileOperationUi::ConfirmStart(FileOperationKind kind, const std::vector<FileOperationItem>& items) {
    const std::size_t answer =
        Ask(DialogParent(), text::ConfirmCaption(items), text::ConfirmText(kind, items), std::string(),
            {{PromptButtonLabel(PromptAnswer::Yes), QMessageBox::YesRole, "yes"},
             {PromptButtonLabel(PromptAnswer::No), QMessageBox::NoRole, "no"}},
            1);
    RestartShowDelay();
    return answer == 0;
}

bool QtFileOperationUi::OfferCreateFolder(const std::string& folder) {
    const std::size_t answer = Ask(DialogParent(), "Vask", text::CreateFolderText(folder), std::string(),
                                   {{PromptButtonLabel(PromptAnswer::Yes), QMessageBox::YesRole, "yes"},
                                    {PromptButtonLabel(PromptAnswer::No), QMessageBox::NoRole, "no"}},
                                   1);
    RestartShowDelay();
    return answer == 0;
}

ReplaceAnswer QtFileOperationUi::AskReplace(const std::string& /*source*/, const std::string& target) {
    const std::size_t answer =
        Ask(DialogParent(), text::ReplaceCaption(), text::ReplaceText(target), text::ReplaceDetail(target),
            {{PromptButtonLabel(PromptAnswer::Yes), QMessageBox::YesRole, "yes"},
             {text::YesToAllLabel(), QMessageBox::YesRole, "yesToAll"},
             {PromptButtonLabel(PromptAnswer::No), QMessageBox::NoRole, "no"},
             {PromptButtonLabel(PromptAnswer::Cancel), QMessageBox::RejectRole, "cancel"}},
            3);
    RestartShowDelay();
    static constexpr ReplaceAnswer kAnswers[] = {ReplaceAnswer::Yes, ReplaceAnswer::YesToAll,
                                                 ReplaceAnswer::No, ReplaceAnswer::Cancel};
    return kAnswers[answer];
}

bool QtFileOperationUi::Progress(std::size_t done, std::size_t total, const std::string& path) {
    // Cancelled: the window stays, its Cancel greyed, until the operation ends, so the user sees it end
    // rather than vanish in mid-file.
    if (window_ && window_->Cancelled()) return false;
    // One clock reading per file and nothing else: 100,000 quick deletes must not wait for the screen.
    const std::int64_t now = clock_.MonotonicMilliseconds();
    if (now - lastPumpMs_ < kPumpEveryMs) return true;
    lastPumpMs_ = now;
    if (!window_ && now - startMs_ >= kShowAfterMs) ShowProgressWindow();
    if (window_) window_->ShowState(done, total, path);
    // Before the modal window is up, a click would reach the main window in the middle of the operation;
    // such input waits until the operation is over.
    QCoreApplication::processEvents(window_ ? QEventLoop::AllEvents : QEventLoop::ExcludeUserInputEvents);
    return !(window_ && window_->Cancelled());
}

void QtFileOperationUi::ShowProgressWindow() {
    window_ = new FileProgressWindow(ShownParent(parent_.data()));
    window_->setWindowTitle(FromUtf8(text::ProgressTitle(kind_)));
    window_->show();
}

void QtFileOperationUi::CloseProgressWindow() {
    // Deleted at once: it is never closed from inside one of its own signals, and nothing may wait for
    // the event loop to take it off the screen.
    delete window_.data();
    window_ = nullptr;
}

void QtFileOperationUi::ReportFailures(FileOperationKind kind,
                                       const std::vector<FileOperationFailure>& failures) {
    CloseProgressWindow();  // the report takes its place: the files are done with
    QDialog dialog(ShownParent(parent_.data()));
    dialog.setWindowTitle(FromUtf8(text::ReportTitle(kind)));

    auto* icon = new QLabel(&dialog);
    const int iconSize = dialog.style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, &dialog);
    icon->setPixmap(dialog.style()->standardIcon(QStyle::SP_MessageBoxCritical).pixmap(iconSize, iconSize));
    auto* heading = new QLabel(FromUtf8(text::ReportHeading()), &dialog);
    auto* top = new QHBoxLayout;
    top->addWidget(icon);
    top->addWidget(heading, 1);

    auto* list = new QTreeView(&dialog);
    list->setObjectName(QStringLiteral("failures"));
    list->setModel(new FailureModel(failures, list));
    // Equal rows let the view skip measuring every row: thousands of failures open at once.
    list->setUniformRowHeights(true);
    list->setRootIsDecorated(false);
    list->setItemsExpandable(false);
    list->setTextElideMode(Qt::ElideMiddle);
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->header()->setStretchLastSection(true);
    list->header()->resizeSection(0, 380);

    auto* buttons = new QDialogButtonBox(&dialog);
    QPushButton* ok =
        buttons->addButton(FromUtf8(PromptButtonLabel(PromptAnswer::Ok)), QDialogButtonBox::AcceptRole);
    ok->setObjectName(QStringLiteral("ok"));
    ok->setDefault(true);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);

    auto* layout = new QVBoxLayout(&dialog);
    layout->addLayout(top);
    layout->addWidget(list, 1);
    layout->addWidget(buttons);
    dialog.resize(780, 380);

    dialog.exec();
}

}  // namespace vask
