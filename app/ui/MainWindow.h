// The main window (dialog 102) over its .ui template: it implements MainView over its widgets and forwards
// every user action to one call of MainDialogController; it holds no behaviour of its own.
//
// Each control's objectName is "id<number>" (id1029 …); Control(id) finds it. Tooltips come from
// MainDialogController::TooltipText and are shown only when it gives a text. Cancel, Escape and the close box
// end the dialog except while a search runs.
#pragma once

#include <QDialog>
#include <QHash>
#include <memory>

#include "app/core/MainView.h"

namespace Ui {
class MainDialog;
}

namespace vask {

class MainDialogController;
class ResultListModel;

class MainWindow : public QDialog, public MainView {
    Q_OBJECT

  public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    // Connects the controls to the controller and shows its results. Call once, after constructing the
    // controller with this window as its view and before its Start. The controller must outlive the window.
    void Bind(MainDialogController& controller);

    // The widget of a control identifier, or null.
    QWidget* Control(int id) const;
    // Null until Bind.
    ResultListModel* ResultModel() const { return resultModel_; }

    // DialogStateHolder
    std::string PatternText() const override;
    void SetPatternText(const std::string& text) override;
    void ClearPatternList() override;
    void InsertPatternItem(int index, const std::string& text) override;
    int PatternItemCount() const override;
    std::string PatternItemText(int index) const override;
    int DriveItemCount() const override;
    std::string DriveItemText(int index) const override;
    int DriveCheckState(int index) const override;
    void SetDriveCheckState(int index, int state) override;
    int LastDateCheck() const override;
    void SetLastDateCheck(int state) override;
    std::string LastDateText() const override;
    void SetLastDateText(const std::string& text) override;

    // WalkerHost
    // Announces the results found since the last call, keeps the newest in view, then runs pending events.
    void PumpMessages() override;
    void ShowStatusText(const std::string& text) override;

    // MainView
    void SetControlEnabled(int id, bool enabled) override;
    bool IsControlEnabled(int id) const override;
    void SetFocusTo(int id) override;
    std::string StatusText() const override;
    void PlaySearchClip() override;
    void StopSearchClip() override;
    void ClearDriveList() override;
    void InsertDriveItem(int index, const DriveItem& item) override;
    DriveItem DriveItemAt(int index) const override;
    void ResultsChanged() override;
    int SelectedResultIndex() const override;
    void ClearResultSelection() override;

  public slots:
    // Refused while a search runs; Escape, Cancel and the close box all come here.
    void reject() override;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // Announces appended results; scrolls to the newest when there were any.
    void SyncResults();
    void WatchForTooltips(QWidget* widget, int id);

    std::unique_ptr<Ui::MainDialog> ui_;
    MainDialogController* controller_ = nullptr;
    ResultListModel* resultModel_ = nullptr;
    QHash<int, QWidget*> controls_;
    QHash<QObject*, int> tooltipTargets_;
};

}  // namespace vask
