// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The Help menu's documents: "Board Wiring" shows the board's page (board.md of
// the documentation folder) in a window of its own, or a short summary that
// names the page when the folder is not installed; "Documentation" opens the
// folder in the desktop's file manager.

#include <QDialog>
#include <QString>
#include <QUrl>

#include <functional>

class QTextBrowser;

namespace corvanel {

class DocumentView : public QDialog {
    Q_OBJECT
public:
    // Shows `markdown`; links to other pages open relative to `folder`.
    DocumentView(const QString& title, const QString& markdown, const QString& folder,
                 QWidget* parent = nullptr);
    [[nodiscard]] QTextBrowser* browser() const { return browser_; }

private:
    QTextBrowser* browser_;
};

// What "Board Wiring" shows: board.md of `docs_folder`, or the summary when the
// folder is empty or the page cannot be read.
[[nodiscard]] QString board_wiring_text(const QString& docs_folder);

// Opens the window (not modal: it can stay beside the main window while
// wiring). Answers the window, which deletes itself when closed.
DocumentView* show_board_wiring(QWidget* parent);

// "Documentation": opens the folder, or says where it was looked for.
void open_documentation_folder();

// Replaces the desktop's file manager (tests): while set, the folder's URL goes here.
void set_folder_opener(std::function<bool(const QUrl&)> opener);

}  // namespace corvanel
