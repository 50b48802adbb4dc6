#include "ui/ResultSheet.h"

#include <QBoxLayout>

#include "ui/AboutPage.h"
#include "ui/LogPage.h"
#include "ui/UndeletePage.h"

namespace qv {

ResultSheet::ResultSheet(WindowPrompts& prompts, QWidget* parent)
    : QWidget(parent), prompts_(prompts), tabs_(new QTabWidget(this)) {
    for (const char* title : {"Deleted files", "Log", "About"}) {
        // Each tab holds a holder whose layout takes its page once the page is made.
        auto* holder = new QWidget;
        auto* layout = new QVBoxLayout(holder);
        layout->setContentsMargins(0, 0, 0, 0);
        tabs_->addTab(holder, QString::fromLatin1(title));
    }
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(tabs_);
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
    QWidget* holder = tabs_->widget(index);
    QWidget* page = nullptr;
    switch (index) {
        case 0:
            page = undelete_ = new UndeletePage(prompts_, holder);
            connect(undelete_, &UndeletePage::LogWanted, this, [this] { SetActivePage(1); });
            break;
        case 1: page = log_ = new LogPage(prompts_, holder); break;
        default: page = about_ = new AboutPage(holder); break;
    }
    pages_[static_cast<size_t>(index)] = page;
    holder->layout()->addWidget(page);
}

void ResultSheet::Show(int index) {
    if (index < 0 || index >= kPages) return;
    if (!pages_[static_cast<size_t>(index)]) Create(index);
    pages_[static_cast<size_t>(index)]->show();
}

}  // namespace qv
