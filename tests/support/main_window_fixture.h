// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A main window on a small device database, with its settings in a temporary
// folder, the message box and the file dialogs replaced by recorders.

#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <vector>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "core/engine/program_state.h"
#include "gui/dialogs/message_box.h"
#include "gui/ui/file_chooser.h"
#include "gui/ui/main_window.h"
#include "platform/app/app_state.h"
#include "platform/app/settings_store.h"
#include "platform/link/serial_link.h"
#include "support/qt_test_support.h"
#include "support/test_devices.h"

// Readable QStrings in test failures.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace corvanel::test {

struct ShownMessage {
    QString text;
    int kind = 0;
    QString caption;
};

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ensure_app();
        ASSERT_TRUE(folder.isValid());
        store = std::make_unique<SettingsStore>(folder.filePath(QStringLiteral("settings.ini")));
        previous_store = install_settings(store.get());
        // The window follows Program All with a Verify unless told otherwise; the
        // tests of single operations drive each one alone (the tests of that
        // Verify remove this).
        store->put_number(QStringLiteral("Verify After Program"), 0);
        install_state(&program);
        program_folder() = folder.path() + QLatin1Char('/');
        ASSERT_EQ(parse_device_database(kTestDevices, "test devices", program.database).status,
                  DatabaseStatus::Loaded);
        set_message_box_interceptor([this](const QString& text, int kind, const QString& caption) {
            messages.push_back({text, kind, caption});
            return message_answer;
        });
        set_file_chooser([this](FileChooserMode mode, const QString& title, const QString& start,
                                const QString&) {
            chooser_calls.push_back({mode, title, start});
            return chosen_path;
        });
    }

    void TearDown() override {
        window.reset();
        link.reset();
        set_message_box_interceptor({});
        set_file_chooser({});
        install_state(nullptr);
        install_settings(previous_store);
    }

    // Creates the window with `model` stored as the remembered model and runs
    // the load sequence; the window is made the active one.
    Form1& open_window(const QString& model = QStringLiteral("1")) {
        store->put_string(QStringLiteral("Microcontroller Model"), model);
        window = std::make_unique<Form1>();
        window->set_serial_link(link.get());
        window->load_sequence();
        window->activateWindow();
        QApplication::setActiveWindow(window.get());
        (void)QTest::qWaitForWindowActive(window.get(), 2000);
        QApplication::processEvents();
        return *window;
    }

    QString write_file(const QString& name, const QByteArray& bytes) {
        const QString path = folder.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return path;
    }

    // A serial line whose COM ports lead nowhere, except `virtual_port`, which
    // leads to the in-process board emulating the applied model's chip.
    void use_serial_link(int virtual_port) {
        const QString ports = folder.filePath(QStringLiteral("ports"));
        QDir().mkpath(ports);
        for (int n = 1; n <= 16; ++n) {
            QFile entry(ports + QStringLiteral("/COM%1").arg(n));
            ASSERT_TRUE(entry.open(QIODevice::WriteOnly));
            entry.write(n == virtual_port ? "virtual" : "/nonexistent/tty-corvanel-test");
        }
        link = std::make_unique<SerialLink>(program);
        link->MSComm1.set_ports_folder(ports);
    }

    struct ChooserCall {
        FileChooserMode mode;
        QString title;
        QString start_folder;
    };

    QTemporaryDir folder;
    std::unique_ptr<SettingsStore> store;
    SettingsStore* previous_store = nullptr;
    ProgramState program;
    std::unique_ptr<SerialLink> link;
    std::unique_ptr<Form1> window;
    std::vector<ShownMessage> messages;
    int message_answer = 1;
    std::vector<ChooserCall> chooser_calls;
    QString chosen_path;
};

}  // namespace corvanel::test
