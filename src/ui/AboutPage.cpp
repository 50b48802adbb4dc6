#include "ui/AboutPage.h"

#include <QBoxLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>

namespace qv {

AboutPage::AboutPage(QWidget* parent) : QWidget(parent) {
    // The name and version in a frame in the page's top left corner, whatever the page's size.
    auto* frame = new QGroupBox(this);
    auto* text = new QLabel(QStringLiteral("Quorvane Version 1.0"), frame);
    auto* inFrame = new QVBoxLayout(frame);
    inFrame->addWidget(text, 0, Qt::AlignHCenter | Qt::AlignTop);
    inFrame->addStretch(1);
    frame->setMinimumSize(360, 240);
    auto* layout = new QGridLayout(this);
    layout->addWidget(frame, 0, 0);
    layout->setRowStretch(1, 1);
    layout->setColumnStretch(1, 1);
}

}  // namespace qv
