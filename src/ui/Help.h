#pragma once

#include <QDesktopServices>
#include <QString>
#include <QStringList>

class QUrl;
class QWidget;

namespace qv {

// Where the help page is looked for, in order: installed (<prefix>/share/doc/quorvane/help.html
// beside the program's bin/), next to the program, and the source tree's docs/ for a build that
// was not installed.
QStringList HelpFileCandidates();
// The first candidate that exists, or an empty string.
QString FindHelpFile(const QStringList& candidates);

// Opens the help page through the desktop's URL handler (openUrl); when no program takes it,
// shows it in a window of our own. A missing page gets a message box over owner. Returns
// whether the page was found.
bool OpenHelp(QWidget* owner, const QStringList& candidates,
              bool (*openUrl)(const QUrl&) = &QDesktopServices::openUrl);

// The help page in a browser window over owner, deleted when closed; the window.
QWidget* ShowHelpWindow(QWidget* owner, const QString& path);

}  // namespace qv
