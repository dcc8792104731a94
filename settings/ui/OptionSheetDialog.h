// The options sheet "ｵﾌﾟｼｮﾝ設定": five pages built from their .ui templates (dialogs 129, 130, 184, 131,
// 172) under a tab bar, with OK and Cancel only. It implements OptionSheetView over the widgets and forwards
// every user action (tab choice, OK, clicks, tooltip requests) to the OptionSheet it is bound to; the pages
// hold no behaviour of their own.
//
// Edits give back the bytes they were given as long as the user has not changed their text, so a stored
// folder whose name is not UTF-8, or longer than an edit's limit, survives a run of the sheet unchanged.
#pragma once

#include <QDialog>
#include <QHash>
#include <QPointer>
#include <array>
#include <memory>

#include "settings/OptionSheetView.h"

class QFileDialog;
class QListView;
class QStackedWidget;
class QTabBar;

namespace vask {

class LogListModel;
class OptionSheet;

class OptionSheetDialog : public QDialog, public OptionSheetView {
    Q_OBJECT

  public:
    explicit OptionSheetDialog(QWidget* parent = nullptr);
    ~OptionSheetDialog() override;

    // Forwards the user's actions to sheet, which must outlive the dialog. Call once, before the first run.
    void Bind(OptionSheet& sheet);

    // The widget of a control of a page, or null.
    QWidget* Control(OptionPage page, int id) const;
    // The page widget (its windowTitle is the tab caption).
    QWidget* Page(OptionPage page) const;
    QTabBar* TabBar() const { return tabBar_; }
    // Does what a click on the page's tab does.
    void ChooseTab(OptionPage page);
    LogListModel* LogModel() const { return logModel_; }

    // The WAVE picker, ready to run: filters "ｻｳﾝﾄﾞ (*.wav)" then "すべてのﾌｧｲﾙ (*.*)" (which lists every
    // file, also those without a dot), the file must exist; it starts in the folder of current when there
    // is one.
    static std::unique_ptr<QFileDialog> MakeWavePicker(QWidget* parent, const QString& current);

    // OptionSheetView
    bool RunModal() override;
    std::string Text(OptionPage page, int id) const override;
    void SetText(OptionPage page, int id, const std::string& text) override;
    bool IsTicked(OptionPage page, int id) const override;
    void SetTicked(OptionPage page, int id, bool ticked) override;
    void SetEnabled(OptionPage page, int id, bool enabled) override;
    void FocusAndSelectAll(OptionPage page, int id) override;
    std::optional<std::string> BrowseForFolder(OptionPage page, const std::string& title,
                                               const std::string& start) override;
    std::optional<std::string> PickWaveFile(const std::string& current) override;
    void ShowLog(std::shared_ptr<const LogLines> lines) override;

  public slots:
    void accept() override;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    struct Target {
        OptionPage page;
        int id;
    };
    void AddPage(OptionPage page, QWidget* widget);
    void ConnectPages();
    void OnTabChanged(int index);
    void ShowTab(int index);

    OptionSheet* sheet_ = nullptr;
    QTabBar* tabBar_ = nullptr;
    QStackedWidget* stack_ = nullptr;
    std::array<QWidget*, kOptionPageCount> pages_{};
    std::array<QHash<int, QWidget*>, kOptionPageCount> controls_;
    QHash<QObject*, Target> tooltipTargets_;
    // Per edit: the bytes last set and the text they were shown as.
    struct Given {
        std::string bytes;
        QString shown;
        int limit = 0;  // the edit's own length limit
    };
    mutable QHash<QObject*, Given> given_;
    LogListModel* logModel_ = nullptr;
};

}  // namespace vask
