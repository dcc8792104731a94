// The pattern wizard on a 20,000-line list: opening it (read, tick from the pattern box, first paint), a
// click on the box of a header over a 5,000-line section, and OK into the main window's pattern box. The
// real dialog runs offscreen on the real file system in a temporary folder. Each time should stay within
// 0.2 s, the longest pause a click may take without being seen; the ratio to that budget is printed last.
//
// Usage: QT_QPA_PLATFORM=offscreen ./build/bench/wizard
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QListView>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <chrono>
#include <cstdio>
#include <fstream>

#include "app/core/MainDialogController.h"
#include "app/ui/MainWindow.h"
#include "patterns/ui/PatternWizardDialog.h"
#include "platform/Prompter.h"
#include "platform/linux/IconvCp932Decoder.h"
#include "platform/linux/PosixFileSystem.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

class NoPrompts : public vask::Prompter {
  public:
    vask::PromptAnswer Ask(const vask::Prompt& prompt) override {
        std::fprintf(stderr, "unexpected prompt: %s\n", prompt.text.c_str());
        return vask::PromptAnswer::Ok;
    }
};

// 20,000 lines: a head comment, one section of 5,000 patterns, 30 sections of 500, "<その他>" and a
// closing header, with separators between sections; the comment is not shown.
void WriteList(const std::string& path) {
    std::ofstream out(path, std::ios::binary);
    out << "' benchmark list\r\n<big>\r\n";
    for (int i = 0; i < 5000; ++i)
        out << "*.big" << i << "\r\n";
    for (int s = 0; s < 30; ++s) {
        out << "-----\r\n<section " << s << ">\r\n";
        for (int i = 0; i < 498; ++i)
            out << "*.s" << s << "x" << i << "\r\n";
    }
    out << "<その他>\r\n<end>\r\n";  // 20,004 lines in all
}

void ClickHeaderBox(QListView* list, int row) {
    const QModelIndex index = list->model()->index(row, 0);
    list->scrollTo(index);
    QStyleOptionViewItem option;
    option.initFrom(list->viewport());
    option.widget = list;
    option.rect = list->visualRect(index);
    option.features = QStyleOptionViewItem::HasCheckIndicator;
    const QRect box = list->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, list);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, box.center());
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QTemporaryDir folder;
    if (!folder.isValid() || ::chdir(QFile::encodeName(folder.path()).constData()) != 0) {
        std::fprintf(stderr, "no temporary folder\n");
        return 1;
    }
    WriteList("VaskFile.Txt");

    vask::PosixFileSystem fileSystem;
    vask::IconvCp932Decoder decoder;
    NoPrompts prompter;
    vask::MainWindow window;  // its pattern box only (no controller behind it)
    window.SetPatternText("*.big10;*.s29x400;*.unknown");
    // As in the program, the main window is on the screen (its fonts loaded) when the wizard opens.
    window.show();
    QApplication::processEvents();

    auto start = Clock::now();
    vask::PatternWizardDialog wizard(
        vask::PatternWizardPorts{window,
                                 prompter,
                                 fileSystem,
                                 decoder,
                                 [] {
                                     return std::vector<std::string>{"*.big10", "*.s29x400", "*.unknown"};
                                 },
                                 [] { return false; },
                                 [] { return false; },
                                 {}});
    wizard.Start();
    wizard.show();
    QApplication::processEvents();
    wizard.repaint();
    const double open = Seconds(start);

    auto* list = qobject_cast<QListView*>(wizard.Control(vask::wizard_control::kPatternList));
    const int rows = list->model()->rowCount();
    start = Clock::now();
    ClickHeaderBox(list, 0);  // "<big>", partly ticked: unticks its 5,000 lines
    ClickHeaderBox(list, 0);  // within the input lock: dropped
    QApplication::processEvents();
    list->viewport()->repaint();
    const double click = Seconds(start);
    const bool unticked = list->model()->index(4999, 0).data(Qt::CheckStateRole).toInt() == Qt::Unchecked;
    QTest::qWait(600);
    ClickHeaderBox(list, 0);  // ticks all 5,000
    QTest::qWait(600);

    start = Clock::now();
    qobject_cast<QPushButton*>(wizard.Control(vask::wizard_control::kOk))->click();
    QApplication::processEvents();
    const double ok = Seconds(start);

    const std::string text = window.PatternText();

    // Opening again with the 5,000 patterns that OK put into the box: each is looked up in the list.
    start = Clock::now();
    vask::PatternWizardDialog again(vask::PatternWizardPorts{window,
                                                             prompter,
                                                             fileSystem,
                                                             decoder,
                                                             [&text] { return vask::SplitPatternText(text); },
                                                             [] { return false; },
                                                             [] { return false; },
                                                             {}});
    again.Start();
    again.show();
    QApplication::processEvents();
    again.repaint();
    const double reopen = Seconds(start);
    std::printf("list rows=%d  pattern text after OK: %zu bytes\n", rows, text.size());
    // Every line shown and "*.unknown" placed below "<その他>"; the whole big section ticked.
    if (rows != 20004 || !unticked || text.rfind("*.big0;*.big1;", 0) != 0) {
        std::fprintf(stderr, "unexpected result\n");
        return 1;
    }
    std::printf("wizard_open_s=%.4f  (%.2f of the 0.2 s budget)\n", open, open / 0.2);
    std::printf("wizard_click_s=%.4f  (%.2f of the 0.2 s budget)\n", click, click / 0.2);
    std::printf("wizard_ok_s=%.4f  (%.2f of the 0.2 s budget)\n", ok, ok / 0.2);
    std::printf("wizard_reopen_s=%.4f  (%.2f of the 0.2 s budget; 5,000 patterns in the box)\n", reopen,
                reopen / 0.2);
    return 0;
}
