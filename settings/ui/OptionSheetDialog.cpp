#include "settings/ui/OptionSheetDialog.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHBoxLayout>
#include <QHelpEvent>
#include <QKeySequence>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QShortcut>
#include <QSignalBlocker>
#include <QStackedWidget>
#include <QTabBar>
#include <QTimer>
#include <QToolTip>
#include <QVBoxLayout>

#include "platform/Prompter.h"
#include "settings/OptionSheet.h"
#include "settings/ui/LogListModel.h"
#include "ui_OptionPage129.h"
#include "ui_OptionPage130.h"
#include "ui_OptionPage131.h"
#include "ui_OptionPage172.h"
#include "ui_OptionPage184.h"

namespace vask {

namespace oc = option_control;

namespace {

const QString kSoundFilter = QString::fromUtf8(kSoundFileFilter);
const QString kAllFilesFilter = QString::fromUtf8(kAllFilesFileFilter);

template <class Form>
QWidget* BuildPage() {
    auto* page = new QWidget;
    Form form;
    form.setupUi(page);
    return page;
}

int PageIndex(OptionPage page) {
    return static_cast<int>(page);
}

}  // namespace

OptionSheetDialog::OptionSheetDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QString::fromUtf8(kOptionSheetCaption));
    setFont(QFont(QStringLiteral("Noto Sans CJK JP")));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);

    tabBar_ = new QTabBar(this);
    tabBar_->setDrawBase(false);
    tabBar_->setExpanding(false);
    stack_ = new QStackedWidget(this);
    stack_->setFrameShape(QFrame::StyledPanel);
    AddPage(OptionPage::Disposal, BuildPage<Ui::OptionPage129>());
    AddPage(OptionPage::AvoidFolders, BuildPage<Ui::OptionPage130>());
    AddPage(OptionPage::AllFilesFolders, BuildPage<Ui::OptionPage184>());
    AddPage(OptionPage::Functions, BuildPage<Ui::OptionPage131>());
    AddPage(OptionPage::LogView, BuildPage<Ui::OptionPage172>());

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("id1"));  // IDOK
    ok->setDefault(true);
    auto* cancel = new QPushButton(QString::fromUtf8(PromptButtonLabel(PromptAnswer::Cancel)), this);
    cancel->setObjectName(QStringLiteral("id2"));  // IDCANCEL
    connect(ok, &QPushButton::clicked, this, &OptionSheetDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &OptionSheetDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->setSpacing(0);
    layout->addWidget(tabBar_);
    layout->addWidget(stack_);
    layout->addSpacing(8);
    layout->addLayout(buttons);

    auto* list = qobject_cast<QListView*>(Control(OptionPage::LogView, oc::kLogList));
    logModel_ = new LogListModel(list);
    list->setModel(logModel_);

    connect(tabBar_, &QTabBar::currentChanged, this, &OptionSheetDialog::OnTabChanged);
    // The keys of a tabbed sheet: Ctrl+Tab and Ctrl+PgDown forward, with Shift or PgUp back.
    const auto step = [this](int delta) {
        ChooseTab(
            static_cast<OptionPage>((tabBar_->currentIndex() + delta + kOptionPageCount) % kOptionPageCount));
    };
    for (const QKeySequence& key :
         {QKeySequence(Qt::CTRL | Qt::Key_Tab), QKeySequence(Qt::CTRL | Qt::Key_PageDown)})
        connect(new QShortcut(key, this), &QShortcut::activated, this, [step] { step(1); });
    for (const QKeySequence& key :
         {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab), QKeySequence(Qt::CTRL | Qt::Key_PageUp)})
        connect(new QShortcut(key, this), &QShortcut::activated, this, [step] { step(-1); });

    ConnectPages();
}

OptionSheetDialog::~OptionSheetDialog() = default;

void OptionSheetDialog::AddPage(OptionPage page, QWidget* widget) {
    const int index = PageIndex(page);
    pages_[index] = widget;
    stack_->addWidget(widget);
    tabBar_->addTab(widget->windowTitle());

    static const QRegularExpression idName(QStringLiteral("^id(\\d+)$"));
    for (QWidget* child : widget->findChildren<QWidget*>()) {
        const QRegularExpressionMatch match = idName.match(child->objectName());
        if (!match.hasMatch()) continue;
        const int id = match.captured(1).toInt();
        controls_[index].insert(id, child);
        // Tooltip requests go to the widget under the pointer: for a list, its viewport.
        QList<QWidget*> targets{child};
        if (auto* area = qobject_cast<QAbstractScrollArea*>(child)) targets.append(area->viewport());
        for (QWidget* target : targets) {
            tooltipTargets_.insert(target, Target{page, id});
            target->installEventFilter(this);
        }
    }
}

void OptionSheetDialog::ConnectPages() {
    const auto onClick = [this](OptionPage page, int id, auto handler) {
        if (auto* button = qobject_cast<QAbstractButton*>(Control(page, id))) {
            connect(button, &QAbstractButton::clicked, this, [this, handler] {
                if (sheet_ != nullptr) handler(*sheet_);
            });
        }
    };
    for (int id : {oc::kMethodTrash, oc::kMethodMove, oc::kMethodDelete, oc::kMethodCompress})
        onClick(OptionPage::Disposal, id, [](OptionSheet& s) { s.OnMethodClicked(); });
    for (int id : {oc::kMoveFolderBrowse, oc::kLzhFolderBrowse})
        onClick(OptionPage::Disposal, id, [id](OptionSheet& s) { s.OnBrowse(OptionPage::Disposal, id); });
    for (OptionPage page : {OptionPage::AvoidFolders, OptionPage::AllFilesFolders}) {
        for (int k = 0; k < static_cast<int>(kFolderListSize); ++k) {
            const int id = oc::kFolderBrowse0 + k;
            onClick(page, id, [page, id](OptionSheet& s) { s.OnBrowse(page, id); });
        }
    }
    onClick(OptionPage::Functions, oc::kLog, [](OptionSheet& s) { s.OnLogClicked(); });
    onClick(OptionPage::Functions, oc::kWave, [](OptionSheet& s) { s.OnWaveClicked(); });
    onClick(OptionPage::Functions, oc::kReadOnlyFolder, [](OptionSheet& s) { s.OnReadOnlyFolderClicked(); });
    onClick(OptionPage::Functions, oc::kWavePick, [](OptionSheet& s) { s.OnPickWave(); });
    onClick(OptionPage::Functions, oc::kListen, [](OptionSheet& s) { s.OnListen(); });
    onClick(OptionPage::LogView, oc::kLogReset, [](OptionSheet& s) { s.OnResetLog(); });
}

void OptionSheetDialog::Bind(OptionSheet& sheet) {
    sheet_ = &sheet;
}

QWidget* OptionSheetDialog::Control(OptionPage page, int id) const {
    return controls_[PageIndex(page)].value(id, nullptr);
}

QWidget* OptionSheetDialog::Page(OptionPage page) const {
    return pages_[PageIndex(page)];
}

// --- tabs and closing ---

void OptionSheetDialog::ChooseTab(OptionPage page) {
    tabBar_->setCurrentIndex(PageIndex(page));
}

void OptionSheetDialog::OnTabChanged(int index) {
    const int shown = stack_->currentIndex();
    if (index == shown) return;
    // The tab bar has already moved; it goes back until the page that is shown agrees to be left.
    {
        const QSignalBlocker blocker(tabBar_);
        tabBar_->setCurrentIndex(shown);
    }
    if (sheet_ != nullptr && !sheet_->SwitchTo(static_cast<OptionPage>(index))) return;
    ShowTab(index);
}

void OptionSheetDialog::ShowTab(int index) {
    {
        const QSignalBlocker blocker(tabBar_);
        tabBar_->setCurrentIndex(index);
    }
    stack_->setCurrentIndex(index);
    if (index == PageIndex(OptionPage::LogView)) {
        // Now that the list has its size, the newest lines at the end can be brought into view.
        auto* list = qobject_cast<QListView*>(Control(OptionPage::LogView, oc::kLogList));
        list->scrollToBottom();
        QTimer::singleShot(0, list, &QListView::scrollToBottom);
    }
}

bool OptionSheetDialog::RunModal() {
    ShowTab(PageIndex(OptionPage::Disposal));
    return exec() == QDialog::Accepted;
}

void OptionSheetDialog::accept() {
    if (sheet_ != nullptr && !sheet_->OnOk()) return;
    QDialog::accept();
}

// --- controls ---

std::string OptionSheetDialog::Text(OptionPage page, int id) const {
    auto* edit = qobject_cast<QLineEdit*>(Control(page, id));
    if (edit == nullptr) return std::string();
    const auto given = given_.constFind(edit);
    if (given != given_.cend() && given->shown == edit->text()) return given->bytes;
    return edit->text().toUtf8().toStdString();
}

void OptionSheetDialog::SetText(OptionPage page, int id, const std::string& text) {
    auto* edit = qobject_cast<QLineEdit*>(Control(page, id));
    if (edit == nullptr) return;
    Given& given = given_[edit];
    if (given.limit == 0) given.limit = edit->maxLength();
    const QString shown = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    // A longer stored text than the user may type is shown whole (setText would cut it to the limit).
    edit->setMaxLength(std::max<int>(given.limit, static_cast<int>(shown.size())));
    edit->setText(shown);
    given.bytes = text;
    given.shown = edit->text();
}

bool OptionSheetDialog::IsTicked(OptionPage page, int id) const {
    auto* button = qobject_cast<QAbstractButton*>(Control(page, id));
    return button != nullptr && button->isChecked();
}

void OptionSheetDialog::SetTicked(OptionPage page, int id, bool ticked) {
    auto* button = qobject_cast<QAbstractButton*>(Control(page, id));
    if (button == nullptr || button->isChecked() == ticked) return;
    // An exclusive radio button cannot be cleared while it is exclusive; clearing it leaves none selected.
    const bool exclusive = button->autoExclusive();
    if (!ticked) button->setAutoExclusive(false);
    button->setChecked(ticked);
    button->setAutoExclusive(exclusive);
}

void OptionSheetDialog::SetEnabled(OptionPage page, int id, bool enabled) {
    if (QWidget* widget = Control(page, id)) widget->setEnabled(enabled);
}

void OptionSheetDialog::FocusAndSelectAll(OptionPage page, int id) {
    auto* edit = qobject_cast<QLineEdit*>(Control(page, id));
    if (edit == nullptr) return;
    edit->setFocus(Qt::OtherFocusReason);
    edit->selectAll();
}

std::optional<std::string> OptionSheetDialog::BrowseForFolder(OptionPage page, const std::string& title,
                                                              const std::string& start) {
    const QString chosen = QFileDialog::getExistingDirectory(
        Page(page), QString::fromUtf8(title.data(), static_cast<qsizetype>(title.size())),
        QFile::decodeName(QByteArray(start.data(), static_cast<qsizetype>(start.size()))),
        QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
    if (chosen.isEmpty()) return std::nullopt;
    return QFile::encodeName(chosen).toStdString();
}

std::unique_ptr<QFileDialog> OptionSheetDialog::MakeWavePicker(QWidget* parent, const QString& current) {
    auto dialog = std::make_unique<QFileDialog>(parent);
    // Qt's own dialog: its file model is the one the all-files filter is mended on.
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setFileMode(QFileDialog::ExistingFile);
    dialog->setNameFilters({kSoundFilter, kAllFilesFilter});
    dialog->setDefaultSuffix(QStringLiteral("wav"));
    // "*.wav" finds DING.WAV too, as the sound filter always did.
    dialog->setFilter(dialog->filter() & ~QDir::CaseSensitive);
    if (!current.isEmpty() && QFileInfo(current).isAbsolute()) {
        dialog->setDirectory(QFileInfo(current).absolutePath());
    }
    QFileDialog* raw = dialog.get();
    // "*.*" means every file here, not only names with a dot. The dialog sets its model's filters after it
    // announces a choice, so the mend comes once the event loop is back.
    const auto mend = [raw] {
        if (raw->selectedNameFilter() != kAllFilesFilter) return;
        if (auto* model = raw->findChild<QFileSystemModel*>()) model->setNameFilters({QStringLiteral("*")});
    };
    const auto mendLater = [raw, mend] { QTimer::singleShot(0, raw, mend); };
    QObject::connect(raw, &QFileDialog::filterSelected, raw, mendLater);
    if (auto* types = raw->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"))) {
        QObject::connect(types, &QComboBox::currentIndexChanged, raw, mendLater);
    }
    return dialog;
}

std::optional<std::string> OptionSheetDialog::PickWaveFile(const std::string& current) {
    auto dialog = MakeWavePicker(
        this, QFile::decodeName(QByteArray(current.data(), static_cast<qsizetype>(current.size()))));
    if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty()) return std::nullopt;
    return QFile::encodeName(dialog->selectedFiles().first()).toStdString();
}

void OptionSheetDialog::ShowLog(std::shared_ptr<const LogLines> lines) {
    auto* list = qobject_cast<QListView*>(Control(OptionPage::LogView, oc::kLogList));
    logModel_->SetLines(std::move(lines), list->font());
    list->scrollToBottom();
}

// --- tooltips ---

bool OptionSheetDialog::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        const auto target = tooltipTargets_.constFind(watched);
        if (target != tooltipTargets_.cend()) {
            const std::string text =
                sheet_ != nullptr ? sheet_->TooltipText(target->page, target->id) : std::string();
            if (text.empty()) {
                QToolTip::hideText();
            } else {
                QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(),
                                   QString::fromUtf8(text.c_str()), qobject_cast<QWidget*>(watched));
            }
            event->accept();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

}  // namespace vask
