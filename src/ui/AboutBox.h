#pragma once

#include <QDialog>

namespace qv {

// "About Quorvane": the icon, the name and version, and OK.
class AboutBox final : public QDialog {
    Q_OBJECT
public:
    explicit AboutBox(QWidget* parent);
};

}  // namespace qv
