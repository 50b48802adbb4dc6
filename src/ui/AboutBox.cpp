#include "ui/AboutBox.h"

#include <QLabel>
#include <QPushButton>

#include "ui/AppIcon.h"
#include "ui/DialogUnits.h"

namespace qv {

AboutBox::AboutBox(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("About Quorvane"));
    setFont(DialogFont());
    const DialogUnits du(font());
    setFixedSize(du.Size(235, 169));
    auto* icon = new QLabel(this);
    icon->setPixmap(AppIcon().pixmap(32, 32));
    icon->setGeometry(du.X(11), du.Y(17), 32, 32);
    auto* text = new QLabel(QStringLiteral("Quorvane Version 1.0"), this);
    text->move(du.X(40), du.Y(10));
    text->adjustSize();
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setGeometry(du.Rect(178, 7, 50, 12));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

}  // namespace qv
