// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/dialogs/document_view.h"

#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QScreen>
#include <QTextBrowser>
#include <QVBoxLayout>

#include "gui/dialogs/message_box.h"
#include "platform/app/app_state.h"
#include "platform/app/data_files.h"

namespace corvanel {

namespace {

std::function<bool(const QUrl&)>& folder_opener() {
    static std::function<bool(const QUrl&)> opener;
    return opener;
}

// When the documentation is not installed: enough to start, and where the rest is.
const char* const kBoardSummary =
    "# Board Wiring\n\n"
    "The programmer board is an Arduino Uno or Nano (ATmega328P at 16 MHz) with the "
    "Tavrelix Corvanel firmware (`firmware/` of the source), connected by USB. It switches "
    "Vdd and Vpp (about 13 V from an adjustable boost module, set with \"Test Vpp\" and a "
    "meter before a chip goes in) and drives the chip's ICSP lines: PGC (clock), PGD (data), "
    "MCLR/Vpp, Vdd and Vss.\n\n"
    "The full wiring, the schematic and how to load the firmware are on the page "
    "**board.md** of the documentation (`docs/board.md` in the source, "
    "`share/doc/tavrelix-corvanel/docs/` when installed), which was not found here.\n\n"
    "The window talks to the board at 56000 baud by default (Options, Change Baud Rate).";

}  // namespace

DocumentView::DocumentView(const QString& title, const QString& markdown, const QString& folder,
                           QWidget* parent)
    : QDialog(parent), browser_(new QTextBrowser(this)) {
    setWindowTitle(title);
    browser_->setOpenExternalLinks(true);
    if (!folder.isEmpty()) {
        browser_->setSearchPaths({folder});
        browser_->document()->setBaseUrl(QUrl::fromLocalFile(folder));
    }
    browser_->setMarkdown(markdown);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(browser_);
    layout->addWidget(buttons);
    // Wide enough for the page's tables, never larger than the screen.
    QSize size(760, 600);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        size = size.boundedTo(screen->availableSize() * 9 / 10);
    }
    resize(size);
}

QString board_wiring_text(const QString& docs_folder) {
    if (!docs_folder.isEmpty()) {
        QFile page(QDir(docs_folder).filePath(QStringLiteral("board.md")));
        if (page.open(QIODevice::ReadOnly)) {
            return QString::fromUtf8(page.readAll());
        }
    }
    return QString::fromUtf8(kBoardSummary);
}

DocumentView* show_board_wiring(QWidget* parent) {
    const QString folder = find_documentation_folder(program_folder());
    auto* view =
        new DocumentView(QStringLiteral("Board Wiring"), board_wiring_text(folder), folder, parent);
    view->setAttribute(Qt::WA_DeleteOnClose);
    view->show();
    return view;
}

void open_documentation_folder() {
    const QString folder = find_documentation_folder(program_folder());
    if (folder.isEmpty()) {
        (void)mymsgbox(
            QStringLiteral("The documentation folder was not found. It is looked for "
                           "in:\r\n%1")
                .arg(documentation_folders(program_folder()).join(QStringLiteral("\r\n"))),
            message_kind::kInformation, window_title());
        return;
    }
    const QUrl url = QUrl::fromLocalFile(folder);
    const bool opened = folder_opener() ? folder_opener()(url) : QDesktopServices::openUrl(url);
    if (!opened) {
        (void)mymsgbox(QStringLiteral("The documentation is in %1").arg(folder),
                       message_kind::kInformation, window_title());
    }
}

void set_folder_opener(std::function<bool(const QUrl&)> opener) {
    folder_opener() = std::move(opener);
}

}  // namespace corvanel
