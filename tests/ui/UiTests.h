// The test objects of vask_ui_tests; UiTestMain runs each in turn.
#pragma once

#include <QObject>
#include <memory>

std::unique_ptr<QObject> NewMainWindowTest();
std::unique_ptr<QObject> NewWidgetsTest();
std::unique_ptr<QObject> NewDisposalWindowTest();
