#pragma once

// Shared helpers for the widget tests. gtest_main provides main(), so the one
// QApplication of the test program is created on first use and lives until exit.

#include <QApplication>

namespace corvanel::test {

// The program's QApplication, created on the first call (QT_QPA_PLATFORM is
// set to "offscreen" by CTest, and by this helper when nothing else set it).
inline QApplication* ensure_app() {
    if (auto* existing = qobject_cast<QApplication*>(QCoreApplication::instance())) {
        return existing;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    static int argc = 1;
    static char name[] = "qt_tests";
    static char* argv[] = {name, nullptr};
    // Never destroyed: a QApplication torn down among the program's static
    // destructors outlives Qt's own globals and crashes the test program at exit.
    static auto* app = new QApplication(argc, argv);
    return app;
}

}  // namespace corvanel::test
