// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Shared helpers for the widget tests. gtest_main provides main(), so the one
// QApplication of the test program is created on first use and lives until exit.

#include <QApplication>
#include <QObject>
#include <QString>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>

#include <functional>

#include "platform/app/settings_store.h"

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

// A settings store in a temporary folder, installed as the program-wide store
// for the life of this object, so that no test reads or writes the settings of
// whoever runs it.
class TemporarySettings {
public:
    TemporarySettings()
        : file_(dir_.filePath(QStringLiteral("settings.ini"))),
          store_(file_),
          previous_(install_settings(&store_)) {}
    ~TemporarySettings() { install_settings(previous_); }
    TemporarySettings(const TemporarySettings&) = delete;
    TemporarySettings& operator=(const TemporarySettings&) = delete;

    [[nodiscard]] SettingsStore& store() { return store_; }
    [[nodiscard]] const QString& file() const { return file_; }

private:
    QTemporaryDir dir_;
    QString file_;
    SettingsStore store_;
    SettingsStore* previous_;
};

// Runs `show`, which opens a modal dialog and returns its result, and lets
// `act` work on the dialog once it is up (answering `acted`). A dialog that the
// action failed to close is closed after five seconds, so no test can hang.
template <typename Dialog, typename Result>
Result drive_modal(const std::function<Result()>& show, const std::function<void(Dialog&)>& act,
                   bool& acted) {
    acted = false;
    QTimer::singleShot(0, [&] {
        if (auto* box = qobject_cast<Dialog*>(QApplication::activeModalWidget())) {
            acted = true;
            act(*box);
        }
    });
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] {
        if (auto* box = QApplication::activeModalWidget()) {
            box->close();
        }
    });
    guard.start(5000);
    return show();
}

}  // namespace corvanel::test
