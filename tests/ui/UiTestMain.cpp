#include <QApplication>
#include <QTest>

#include "UiTests.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    int failures = 0;
    failures += QTest::qExec(NewMainWindowTest().get(), argc, argv);
    failures += QTest::qExec(NewWidgetsTest().get(), argc, argv);
    failures += QTest::qExec(NewDisposalWindowTest().get(), argc, argv);
    return failures == 0 ? 0 : 1;
}
