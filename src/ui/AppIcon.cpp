#include "ui/AppIcon.h"

// The picture is compiled into the ui library, a static library: its resources must be
// registered by hand before the first use (outside any namespace, as the macro requires).
static void RegisterResources() {
    Q_INIT_RESOURCE(quorvane);
}

namespace qv {

QIcon AppIcon() {
    static const bool registered = (RegisterResources(), true);
    (void)registered;
    return QIcon(QStringLiteral(":/quorvane/quorvane.png"));
}

}  // namespace qv
