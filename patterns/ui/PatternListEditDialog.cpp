#include "patterns/ui/PatternListEditDialog.h"

#include <QHelpEvent>
#include <QToolTip>

#include "ui_PatternListEditDialog.h"

namespace vask {

PatternListEditDialog::PatternListEditDialog(FileSystem& fileSystem, Prompter& prompter,
                                             Cp932Decoder& decoder, std::function<bool()> tooltipsOn,
                                             QWidget* parent)
    : QDialog(parent),
      ui_(std::make_unique<Ui::PatternListEditDialog>()),
      editor_(fileSystem, prompter, decoder),
      tooltipsOn_(std::move(tooltipsOn)) {
    ui_->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    connect(ui_->id1, &QPushButton::clicked, this, &PatternListEditDialog::accept);
    connect(ui_->id2, &QPushButton::clicked, this, &PatternListEditDialog::reject);
    ui_->id1061->installEventFilter(this);
    ui_->id1061->viewport()->installEventFilter(this);
}

PatternListEditDialog::~PatternListEditDialog() = default;

QPlainTextEdit* PatternListEditDialog::EditBox() const {
    return ui_->id1061;
}

bool PatternListEditDialog::Start() {
    if (!editor_.OnInitDialog()) return false;
    const std::string& text = editor_.Text();
    QString shown = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    // One CR LF is one line break in the box; toPlainText gives it back as LF.
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    ui_->id1061->setPlainText(shown);
    ui_->id1061->document()->setModified(false);
    return true;
}

void PatternListEditDialog::accept() {
    const QByteArray text = ui_->id1061->toPlainText().toUtf8();
    if (editor_.OnOK(ui_->id1061->document()->isModified(),
                     std::string_view(text.constData(), static_cast<std::size_t>(text.size())))) {
        QDialog::accept();
    }
}

bool PatternListEditDialog::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::ToolTip && (watched == ui_->id1061 || watched == ui_->id1061->viewport())) {
        const std::string text = PatternListEditor::TooltipText(kEditorEditBox, tooltipsOn_ && tooltipsOn_());
        if (text.empty()) {
            QToolTip::hideText();
        } else {
            QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(), QString::fromStdString(text),
                               ui_->id1061);
        }
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

}  // namespace vask
