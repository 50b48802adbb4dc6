#include "ui/AboutPage.h"

#include <QGroupBox>
#include <QLabel>

#include "ui/DialogUnits.h"

namespace qv {

AboutPage::AboutPage(QWidget* parent) : QWidget(parent) {
    setFont(PageFont());
    const DialogUnits du(font());
    resize(du.Size(259, 182));
    auto* frame = new QGroupBox(this);
    frame->setGeometry(du.Rect(7, 7, 245, 167));
    auto* text = new QLabel(QStringLiteral("Quorvane Version 1.0"), this);
    text->setGeometry(du.Rect(94, 19, 138, 14));
}

}  // namespace qv
