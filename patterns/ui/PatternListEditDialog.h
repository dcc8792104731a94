// The pattern list editor window (dialog 183) over its .ui template: "VaskFile.Txt" in one plain-text box
// without word wrap (Enter inserts a line break), saved on OK after the question when it was changed.
//
// Use: construct, Start() (false: the list could not be read, which was reported; do not exec), exec().
#pragma once

#include <QDialog>
#include <functional>
#include <memory>

#include "patterns/PatternListEditor.h"

namespace Ui {
class PatternListEditDialog;
}

class QPlainTextEdit;

namespace vask {

class PatternListEditDialog : public QDialog {
    Q_OBJECT

  public:
    // The references must outlive the dialog; tooltipsOn is asked at each tooltip.
    PatternListEditDialog(FileSystem& fileSystem, Prompter& prompter, Cp932Decoder& decoder,
                          std::function<bool()> tooltipsOn, QWidget* parent = nullptr);
    ~PatternListEditDialog() override;

    bool Start();
    QPlainTextEdit* EditBox() const;

  public slots:
    // Saves as PatternListEditor::OnOK says; stays open when the save failed.
    void accept() override;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    std::unique_ptr<Ui::PatternListEditDialog> ui_;
    PatternListEditor editor_;
    std::function<bool()> tooltipsOn_;
};

}  // namespace vask
