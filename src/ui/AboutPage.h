#pragma once

#include <QWidget>

namespace qv {

// The "About" page: the program's name and version in a frame.
class AboutPage final : public QWidget {
    Q_OBJECT
public:
    explicit AboutPage(QWidget* parent);
};

}  // namespace qv
