#include "ui/AppIcon.h"

namespace qv {

QIcon AppIcon() {
    return QIcon(QStringLiteral(":/quorvane/quorvane.png"));
}

}  // namespace qv
