#pragma once

#include <QString>
#include <QStringList>

class QWidget;

namespace qv {

// Where the help page is looked for, in order: installed (<prefix>/share/doc/quorvane/help.html
// beside the program's bin/), next to the program, and the source tree's docs/ for a build that
// was not installed.
QStringList HelpFileCandidates();
// The first candidate that exists, or an empty string.
QString FindHelpFile(const QStringList& candidates);

// Opens the help page through the desktop's URL handler. A missing page, or a desktop that
// cannot show it, gets a message box over owner. Returns whether it was handed on.
bool OpenHelp(QWidget* owner, const QStringList& candidates);

}  // namespace qv
