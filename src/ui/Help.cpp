#include "ui/Help.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
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

bool OpenHelp(QWidget* owner, const QStringList& candidates) {
    const QString path = FindHelpFile(candidates);
    if (path.isEmpty()) {
        WindowPrompts::ShowMessageBox(
            owner,
            QStringLiteral("The help file help.html was not found. Looked in:\n") +
                candidates.join(QLatin1Char('\n')),
            QStringLiteral("Help"), PromptButtons::kOk);
        return false;
    }
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path))) {
        WindowPrompts::ShowMessageBox(owner,
                                      QStringLiteral("No program to show %1 was found.").arg(path),
                                      QStringLiteral("Help"), PromptButtons::kOk);
        return false;
    }
    return true;
}

}  // namespace qv
