// The pattern wizard window (dialog 173) over its .ui template: shows PatternWizard's check list and
// forwards each user action to it. After every click on the list it takes no input for 500 ms (mouse,
// keys, shortcuts and closing are dropped, without greying the window), as the list's section logic
// expects one click to be finished before the next.
//
// Use: construct, Start() (loads the list and ticks it from the pattern box; may ask the "*.*" question),
// then exec(). Each control's objectName is "id<number>"; Control(id) finds it.
#pragma once

#include <QDialog>
#include <QHash>
#include <QTimer>
#include <memory>

#include "patterns/PatternWizard.h"

namespace Ui {
class PatternWizardDialog;
}

namespace vask {

class PatternCheckListModel;

class PatternWizardDialog : public QDialog {
    Q_OBJECT

  public:
    // ports.runEditor may be empty: the wizard then runs its own editor dialog. The ports' references must
    // outlive the dialog.
    PatternWizardDialog(PatternWizardPorts ports, QWidget* parent = nullptr);
    ~PatternWizardDialog() override;

    void Start();

    QWidget* Control(int id) const { return controls_.value(id, nullptr); }
    PatternWizard& Wizard() { return *wizard_; }
    bool InputLocked() const { return lockTimer_.isActive(); }

    // Where "VaskFile._xt" is looked for after the current folder: the installed data folder
    // ("../share/vask" beside the executable's folder), then the build tree's copy ("resources" beside
    // the executable). Folders that do not exist are left out; the others are given without links.
    static std::vector<std::string> StandardDefaultListFolders(const QString& executableFolder);

  public slots:
    void accept() override;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    // A click on the list (or a keyboard move through it): the input lock, then the section logic.
    void OnListClicked();
    void LockInput();

    std::unique_ptr<Ui::PatternWizardDialog> ui_;
    PatternWizardPorts ports_;
    std::unique_ptr<PatternWizard> wizard_;
    PatternCheckListModel* model_ = nullptr;
    QHash<int, QWidget*> controls_;
    QHash<QObject*, int> tooltipTargets_;
    QTimer lockTimer_;
    bool keyPressInList_ = false;  // a key press is being handled by the list
};

}  // namespace vask
