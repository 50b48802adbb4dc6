#pragma once

#include <QIcon>

namespace qv {

// The program's icon (window, About box, desktop entry).
QIcon AppIcon();

}  // namespace qv
