#include "app/ui/MainWindow.h"

#include <QCoreApplication>
#include <QHelpEvent>
#include <QItemSelectionModel>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QToolTip>
#include <limits>

#include "app/core/MainDialogController.h"
#include "app/ui/ListDelegates.h"
#include "app/ui/ResultListModel.h"
#include "app/ui/Utf8Text.h"
#include "patterns/ui/PatternWizardDialog.h"
#include "platform/linux/IconvCp932Decoder.h"
#include "ui_MainDialog.h"

// The resources live in a static library; nothing else would pull their registration into the program.
static void InitVaskResources() {
    Q_INIT_RESOURCE(vask);
}

namespace vask {

namespace {

std::string ToStd(const QByteArray& bytes) {
    return std::string(bytes.constData(), bytes.size());
}

QByteArray ToBytes(const std::string& text) {
    return QByteArray(text.data(), static_cast<qsizetype>(text.size()));
}

// Wizard button 1060: the pattern wizard, modal; it sets the pattern box itself on OK.
void RunPatternWizard(MainWindow& window, MainDialogController& controller) {
    IconvCp932Decoder decoder;
    PatternWizardPorts ports{
        window,
        controller.Ports().prompter,
        controller.Ports().fileSystem,
        decoder,
        [&controller] {
            controller.ParsePatternText();
            return controller.State().listPattern;
        },
        [&controller] { return controller.Settings().bToolTip != 0; },
        {},
        PatternWizardDialog::StandardDefaultListFolders(QCoreApplication::applicationDirPath())};
    PatternWizardDialog wizard(std::move(ports), &window);
    wizard.Start();
    wizard.exec();
}

}  // namespace

MainWindow::MainWindow(QWidget* parent) : QDialog(parent), ui_(std::make_unique<Ui::MainDialog>()) {
    InitVaskResources();
    ui_->setupUi(this);
    // A fixed-size window: title, window menu, minimise and close, nothing to maximise or resize.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);

    static const QRegularExpression idName(QStringLiteral("^id(\\d+)$"));
    for (QWidget* widget : findChildren<QWidget*>()) {
        const QRegularExpressionMatch match = idName.match(widget->objectName());
        if (match.hasMatch()) controls_.insert(match.captured(1).toInt(), widget);
    }

    // The day edit takes digits only; a paste with anything else is refused as a whole.
    ui_->id1067->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,5}")), ui_->id1067));
    ui_->id1068->SetBuddy(ui_->id1067);

    // An inline completion from the history would change the patterns under the user's Enter key.
    ui_->id1015->setCompleter(nullptr);
    // A line edit silently cuts its text at 32,767 characters, and a cut pattern text can end in a shorter
    // pattern that names more files ("*.bak;*" from "*.bak;*.tmp"): the box takes any length.
    ui_->id1015->lineEdit()->setMaxLength(std::numeric_limits<int>::max());

    ui_->id1002->setItemDelegate(new DriveItemDelegate(ui_->id1002));
    ui_->id1020->setItemDelegate(new CompactRowDelegate(ui_->id1020));

    for (auto it = controls_.cbegin(); it != controls_.cend(); ++it)
        WatchForTooltips(it.value(), it.key());
}

MainWindow::~MainWindow() = default;

void MainWindow::WatchForTooltips(QWidget* widget, int id) {
    // Tooltip requests go to the widget under the pointer: a list's viewport, a combo box's edit.
    QList<QWidget*> targets{widget};
    if (auto* area = qobject_cast<QAbstractScrollArea*>(widget)) targets.append(area->viewport());
    if (auto* combo = qobject_cast<QComboBox*>(widget); combo != nullptr && combo->lineEdit() != nullptr) {
        targets.append(combo->lineEdit());
    }
    for (QWidget* target : targets) {
        tooltipTargets_.insert(target, id);
        target->installEventFilter(this);
    }
}

void MainWindow::Bind(MainDialogController& controller) {
    controller_ = &controller;
    resultModel_ = new ResultListModel(controller.State().results, this);
    ui_->id1020->setModel(resultModel_);

    connect(ui_->id1029, &QPushButton::clicked, this, [this] { controller_->OnSearch(); });
    connect(ui_->id1001, &QPushButton::clicked, this, [this] { controller_->OnOptionButton(); });
    connect(ui_->id1000, &QPushButton::clicked, this, [this] { controller_->OnDelete(); });
    connect(ui_->id1022, &QPushButton::clicked, this, [this] { controller_->OnAbort(); });
    // Every change of the box, not only a click: the keyboard, a screen reader's toggle action and the
    // start-up's restored state all enable or disable the day edit.
    connect(ui_->id1066, &QCheckBox::toggled, this, [this] { controller_->OnLastDateCheck(); });
    connect(ui_->id1044, &QPushButton::clicked, this, [this] { controller_->OnRecycleBin(); });
    connect(ui_->id1017, &QPushButton::clicked, this, [this] { controller_->OnVersion(); });
    connect(ui_->id57670, &QPushButton::clicked, this, [this] { controller_->OnHelp(); });
    connect(ui_->id1060, &QPushButton::clicked, this, [this] { RunPatternWizard(*this, *controller_); });
    connect(ui_->id2, &QPushButton::clicked, this, &MainWindow::reject);

    // A click on a row makes it current; a tick changes the summary too. A selection that the core clears
    // (an invalid current row) is no user selection.
    connect(ui_->id1020->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) {
                if (current.isValid()) controller_->UpdateSelectionSummary();
            });
    connect(resultModel_, &ResultListModel::CheckChanged, this,
            [this] { controller_->UpdateSelectionSummary(); });
    connect(ui_->id1020, &QListView::doubleClicked, this, [this] { controller_->OpenInViewer(); });
    connect(ui_->id1020, &QWidget::customContextMenuRequested, this, [this] { controller_->OpenInViewer(); });
}

QWidget* MainWindow::Control(int id) const {
    return controls_.value(id, nullptr);
}

// --- pattern box, drive list, age condition ---

std::string MainWindow::PatternText() const {
    return ToUtf8(ui_->id1015->currentText());
}

void MainWindow::SetPatternText(const std::string& text) {
    ui_->id1015->setEditText(FromUtf8(text));
}

// Changing the drop-down list must not change the edit text: a combo box would take over the first item's
// text when its list goes from empty to one item, and lose its text when the list is cleared.
void MainWindow::ClearPatternList() {
    const QString text = ui_->id1015->currentText();
    ui_->id1015->clear();
    ui_->id1015->setEditText(text);
}

void MainWindow::InsertPatternItem(int index, const std::string& text) {
    const QString editText = ui_->id1015->currentText();
    ui_->id1015->insertItem(index, FromUtf8(text), ToBytes(text));
    ui_->id1015->setEditText(editText);
}

int MainWindow::PatternItemCount() const {
    return ui_->id1015->count();
}

std::string MainWindow::PatternItemText(int index) const {
    // The bytes as inserted: a history entry that is not valid UTF-8 reads back unchanged.
    return ToStd(ui_->id1015->itemData(index).toByteArray());
}

int MainWindow::DriveItemCount() const {
    return ui_->id1002->count();
}

std::string MainWindow::DriveItemText(int index) const {
    return ToStd(ui_->id1002->item(index)->data(drive_role::kLine).toByteArray());
}

int MainWindow::DriveCheckState(int index) const {
    switch (ui_->id1002->item(index)->checkState()) {
        case Qt::Unchecked:
            return 0;
        case Qt::Checked:
            return 1;
        default:
            return 2;
    }
}

void MainWindow::SetDriveCheckState(int index, int state) {
    ui_->id1002->item(index)->setCheckState(state == 0   ? Qt::Unchecked
                                            : state == 1 ? Qt::Checked
                                                         : Qt::PartiallyChecked);
}

int MainWindow::LastDateCheck() const {
    return ui_->id1066->isChecked() ? 1 : 0;
}

void MainWindow::SetLastDateCheck(int state) {
    ui_->id1066->setChecked(state != 0);
}

std::string MainWindow::LastDateText() const {
    return ToUtf8(ui_->id1067->text());
}

void MainWindow::SetLastDateText(const std::string& text) {
    ui_->id1067->setText(FromUtf8(text));
}

void MainWindow::ClearDriveList() {
    ui_->id1002->clear();
}

void MainWindow::InsertDriveItem(int index, const DriveItem& item) {
    auto* row = new QListWidgetItem;
    row->setData(Qt::DisplayRole, FromUtf8(item.line));
    row->setData(drive_role::kLine, ToBytes(item.line));
    row->setData(drive_role::kMountPoint, ToBytes(item.mountPoint));
    row->setData(drive_role::kType, static_cast<int>(item.type));
    // Drive items are ticked, never selected; a greyed one cannot be ticked either.
    row->setFlags(item.enabled ? (Qt::ItemIsEnabled | Qt::ItemIsUserCheckable) : Qt::NoItemFlags);
    row->setCheckState(Qt::Unchecked);
    ui_->id1002->insertItem(index, row);
}

DriveItem MainWindow::DriveItemAt(int index) const {
    const QListWidgetItem* row = ui_->id1002->item(index);
    DriveItem item;
    item.line = ToStd(row->data(drive_role::kLine).toByteArray());
    item.mountPoint = ToStd(row->data(drive_role::kMountPoint).toByteArray());
    item.type = static_cast<DriveType>(row->data(drive_role::kType).toInt());
    item.enabled = (row->flags() & Qt::ItemIsEnabled) != 0;
    return item;
}

// --- walker host ---

void MainWindow::PumpMessages() {
    SyncResults();
    QCoreApplication::processEvents();
}

void MainWindow::ShowStatusText(const std::string& text) {
    ui_->id1021->setText(FromUtf8(text));
    // The walker holds the event loop; the text must reach the screen now, not at the next pump.
    ui_->id1021->repaint();
}

// --- controls ---

void MainWindow::SetControlEnabled(int id, bool enabled) {
    if (QWidget* widget = Control(id)) widget->setEnabled(enabled);
}

bool MainWindow::IsControlEnabled(int id) const {
    const QWidget* widget = Control(id);
    return widget != nullptr && widget->isEnabledTo(this);
}

void MainWindow::SetFocusTo(int id) {
    if (QWidget* widget = Control(id)) widget->setFocus(Qt::OtherFocusReason);
}

std::string MainWindow::StatusText() const {
    return ToUtf8(ui_->id1021->text());
}

void MainWindow::PlaySearchClip() {
    ui_->id1036->Play();
}

void MainWindow::StopSearchClip() {
    ui_->id1036->Stop();
}

// --- results ---

void MainWindow::SyncResults() {
    if (resultModel_ == nullptr) return;
    if (resultModel_->Sync()) ui_->id1020->scrollToBottom();
}

void MainWindow::ResultsChanged() {
    SyncResults();
    // Rows are read from the list when painted; check states the core changed show at the next paint.
    ui_->id1020->viewport()->update();
}

int MainWindow::SelectedResultIndex() const {
    const QItemSelectionModel* selection = ui_->id1020->selectionModel();
    if (selection == nullptr) return -1;
    const QModelIndex current = selection->currentIndex();
    if (current.isValid() && selection->isSelected(current)) return current.row();
    const QModelIndexList rows = selection->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void MainWindow::ClearResultSelection() {
    if (QItemSelectionModel* selection = ui_->id1020->selectionModel()) selection->clearSelection();
}

// --- closing and tooltips ---

void MainWindow::reject() {
    if (controller_ != nullptr && controller_->IsSearching()) return;
    QDialog::reject();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        const auto target = tooltipTargets_.constFind(watched);
        if (target != tooltipTargets_.cend()) {
            const std::string text =
                controller_ != nullptr ? controller_->TooltipText(*target) : std::string();
            if (text.empty()) {
                QToolTip::hideText();
            } else {
                QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(), FromUtf8(text),
                                   qobject_cast<QWidget*>(watched));
            }
            // Handled either way: no other tooltip (a parent's, an item's) may take its place.
            event->accept();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

}  // namespace vask
