#include "patterns/ui/PatternWizardDialog.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QHelpEvent>
#include <QRegularExpression>
#include <QToolTip>

#include "patterns/ui/PatternCheckListModel.h"
#include "patterns/ui/PatternListEditDialog.h"
#include "ui_PatternWizardDialog.h"

namespace vask {

namespace {

// Input that the lock drops. Paint, focus and timer events pass, so the window stays drawn and alive.
bool IsUserInput(QEvent::Type type) {
    switch (type) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::Shortcut:
        case QEvent::Wheel:
        case QEvent::ContextMenu:
            return true;
        default:
            return false;
    }
}

}  // namespace

PatternWizardDialog::PatternWizardDialog(PatternWizardPorts ports, QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::PatternWizardDialog>()), ports_(std::move(ports)) {
    ui_->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);

    static const QRegularExpression idName(QStringLiteral("^id(\\d+)$"));
    for (QWidget* widget : findChildren<QWidget*>()) {
        const QRegularExpressionMatch match = idName.match(widget->objectName());
        if (match.hasMatch()) controls_.insert(match.captured(1).toInt(), widget);
    }

    if (!ports_.runEditor) {
        ports_.runEditor = [this] {
            PatternListEditDialog editor(ports_.fileSystem, ports_.prompter, ports_.decoder,
                                         ports_.tooltipsOn, this);
            return editor.Start() && editor.exec() == QDialog::Accepted;
        };
    }
    wizard_ = std::make_unique<PatternWizard>(ports_);
    model_ = new PatternCheckListModel(wizard_->List(), this);
    ui_->id1059->setModel(model_);

    lockTimer_.setSingleShot(true);
    lockTimer_.setInterval(500);

    // A mouse click reaches the wizard when the button is released, after the list has toggled the box;
    // a move of the current line by a key reaches it at once. The current line the list sets by itself
    // (when it first gets the focus) and the one a mouse press sets are no click.
    connect(ui_->id1059, &QAbstractItemView::clicked, this, [this] { OnListClicked(); });
    connect(ui_->id1059->selectionModel(), &QItemSelectionModel::currentChanged, this, [this] {
        if (!keyPressInList_) return;
        keyPressInList_ = false;
        OnListClicked();
    });

    connect(ui_->id1, &QPushButton::clicked, this, &PatternWizardDialog::accept);
    connect(ui_->id2, &QPushButton::clicked, this, &PatternWizardDialog::reject);
    connect(ui_->id1061, &QPushButton::clicked, this, [this] {
        if (wizard_->OnEdit()) model_->Reset();
    });
    connect(ui_->id1062, &QPushButton::clicked, this, [this] {
        if (wizard_->OnRevert()) model_->Reset();
    });

    for (const int id : {wizard_control::kPatternList, wizard_control::kEdit, wizard_control::kRevert}) {
        QWidget* widget = Control(id);
        tooltipTargets_.insert(widget, id);
        widget->installEventFilter(this);
    }
    tooltipTargets_.insert(ui_->id1059->viewport(), wizard_control::kPatternList);

    // The input lock must see input for every widget of this window before the widget does.
    qApp->installEventFilter(this);
}

PatternWizardDialog::~PatternWizardDialog() = default;

void PatternWizardDialog::Start() {
    wizard_->OnInitDialog();
    model_->Reset();
}

std::vector<std::string> PatternWizardDialog::StandardDefaultListFolders(const QString& executableFolder) {
    const QDir folder(executableFolder);
    std::vector<std::string> folders;
    for (const char* relative : {"../share/vask", "resources"}) {
        const QString canonical = QDir(folder.filePath(QString::fromLatin1(relative))).canonicalPath();
        if (!canonical.isEmpty()) folders.push_back(QFile::encodeName(canonical).toStdString() + "/");
    }
    return folders;
}

void PatternWizardDialog::LockInput() {
    lockTimer_.start();
}

void PatternWizardDialog::OnListClicked() {
    LockInput();
    wizard_->OnPatternListClicked();
    model_->TicksChanged();
}

void PatternWizardDialog::accept() {
    wizard_->OnOK();
    QDialog::accept();
}

void PatternWizardDialog::closeEvent(QCloseEvent* event) {
    if (InputLocked()) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

bool PatternWizardDialog::eventFilter(QObject* watched, QEvent* event) {
    if (InputLocked() && IsUserInput(event->type())) {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (widget != nullptr && (widget == this || isAncestorOf(widget))) return true;
    }
    if (watched == ui_->id1059 && event->type() == QEvent::KeyPress) {
        // The list handles the key right after this filter; the flag is gone once it has.
        keyPressInList_ = true;
        QTimer::singleShot(0, this, [this] { keyPressInList_ = false; });
    }
    if (event->type() == QEvent::ToolTip) {
        const auto target = tooltipTargets_.constFind(watched);
        if (target != tooltipTargets_.cend()) {
            const std::string text = wizard_->TooltipText(*target);
            if (text.empty()) {
                QToolTip::hideText();
            } else {
                QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(), QString::fromStdString(text),
                                   qobject_cast<QWidget*>(watched));
            }
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

}  // namespace vask
