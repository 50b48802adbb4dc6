#include "ui/Help.h"

#include <QBoxLayout>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QPushButton>
#include <QTextBrowser>
#include <QUrl>

#include "ui/WindowPrompts.h"

namespace qv {

QStringList HelpFileCandidates() {
    const QDir bin(QCoreApplication::applicationDirPath());
    return {QDir::cleanPath(bin.filePath(QStringLiteral(QUORVANE_HELP_RELATIVE))),
            bin.filePath(QStringLiteral("help.html")), QStringLiteral(QUORVANE_SOURCE_HELP)};
}

QString FindHelpFile(const QStringList& candidates) {
    for (const QString& path : candidates)
        if (QFileInfo(path).isFile()) return QFileInfo(path).absoluteFilePath();
    return {};
}

QWidget* ShowHelpWindow(QWidget* owner, const QString& path) {
    auto* window = new QDialog(owner, Qt::Window);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setWindowTitle(QStringLiteral("Quorvane Help"));
    auto* browser = new QTextBrowser(window);
    browser->setObjectName(QStringLiteral("helpBrowser"));
    browser->setOpenExternalLinks(false);
    browser->setSource(QUrl::fromLocalFile(path));
    auto* close = new QPushButton(QStringLiteral("&Close"), window);
    QObject::connect(close, &QPushButton::clicked, window, &QDialog::close);
    auto* layout = new QVBoxLayout(window);
    layout->addWidget(browser, 1);
    layout->addWidget(close, 0, Qt::AlignRight);
    window->resize(720, 640);
    window->show();
    return window;
}

bool OpenHelp(QWidget* owner, const QStringList& candidates, bool (*openUrl)(const QUrl&)) {
    const QString path = FindHelpFile(candidates);
    if (path.isEmpty()) {
        WindowPrompts::ShowMessageBox(
            owner,
            QStringLiteral("The help file help.html was not found. Looked in:\n") +
                candidates.join(QLatin1Char('\n')),
            QStringLiteral("Help"), PromptButtons::kOk);
        return false;
    }
    // Without a program for HTML pages the page is shown in a window of our own.
    if (!openUrl(QUrl::fromLocalFile(path))) ShowHelpWindow(owner, path);
    return true;
}

}  // namespace qv
