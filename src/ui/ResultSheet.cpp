#include "ui/ResultSheet.h"

#include <QStyleOptionTabWidgetFrame>

#include "ui/AboutPage.h"
#include "ui/LogPage.h"
#include "ui/UndeletePage.h"

namespace qv {

QPoint TabControl::PageOrigin() const {
    QStyleOptionTabWidgetFrame option;
    initStyleOption(&option);
    return style()->subElementRect(QStyle::SE_TabWidgetTabContents, &option, this).topLeft();
}

ResultSheet::ResultSheet(WindowPrompts& prompts, QWidget* parent)
    : QWidget(parent), prompts_(prompts), tabs_(new TabControl(this)) {
    for (const char* title : {"Deleted files", "Log", "About"})
        tabs_->addTab(new QWidget, QString::fromLatin1(title));
    Create(0);
    Show(0);
    connect(tabs_, &QTabWidget::currentChanged, this, &ResultSheet::Show);
}

void ResultSheet::SetActivePage(int index) {
    if (index < 0 || index >= kPages) return;
    tabs_->setCurrentIndex(index);
    Show(index);  // also when it was current already
}

void ResultSheet::Create(int index) {
    QWidget* page = nullptr;
    switch (index) {
        case 0: page = undelete_ = new UndeletePage(prompts_, this); break;
        case 1: page = log_ = new LogPage(prompts_, this); break;
        default: page = about_ = new AboutPage(this); break;
    }
    pages_[static_cast<size_t>(index)] = page;
    page->move(tabs_->pos() + tabs_->PageOrigin());
    Place(page);
}

void ResultSheet::Show(int index) {
    if (index < 0 || index >= kPages) return;
    if (!pages_[static_cast<size_t>(index)]) Create(index);
    for (int i = 0; i < kPages; ++i)
        if (QWidget* page = pages_[static_cast<size_t>(i)]; page && i != index) page->hide();
    QWidget* page = pages_[static_cast<size_t>(index)];
    page->raise();
    page->show();
}

void ResultSheet::Place(QWidget* page) const {
    // Every page keeps its corner and ends 14 pixels short of the sheet's right and bottom.
    const QPoint corner = page->pos();
    page->resize(width() - corner.x() - 14, height() - corner.y() - 14);
}

void ResultSheet::resizeEvent(QResizeEvent* event) {
    tabs_->setGeometry(0, 0, width() - 12, height() - 12);
    for (QWidget* page : pages_)
        if (page) Place(page);
    QWidget::resizeEvent(event);
}

}  // namespace qv
