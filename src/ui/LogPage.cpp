#include "ui/LogPage.h"

#include <QBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextCursor>

#include "app/Log.h"
#include "ui/QtText.h"
#include "ui/UiThread.h"
#include "ui/WindowPrompts.h"

namespace qv {

void WindowLogPane::Append(const std::u16string& text) {
    if (getenv("QV_EXP_NOLOG")) return;
    const QString value = ToQString(text);
    CallOnUiThread(edit_, [&] {
        QTextCursor cursor(edit_->document());
        cursor.movePosition(QTextCursor::End);
        cursor.insertText(value);
        edit_->verticalScrollBar()->setValue(edit_->verticalScrollBar()->maximum());
    });
}

void WindowLogPane::Clear() {
    CallOnUiThread(edit_, [&] { edit_->clear(); });
}

std::u16string WindowLogPane::Text() const {
    return FromQString(CallOnUiThread(edit_, [&] { return edit_->toPlainText(); }));
}

LogPage::LogPage(WindowPrompts& prompts, QWidget* parent)
    : QWidget(parent),
      edit_(new QPlainTextEdit(this)),
      clear_(new QPushButton(QStringLiteral("Clear &Log"), this)),
      save_(new QPushButton(QStringLiteral("Sa&ve Log"), this)),
      pane_(edit_),
      prompts_(prompts) {
    edit_->setReadOnly(true);
    edit_->setLineWrapMode(QPlainTextEdit::NoWrap);
    edit_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    edit_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    edit_->setObjectName(QStringLiteral("logPane"));
    // The pane fills the page above the two buttons, which sit side by side in the middle.
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(clear_);
    buttons->addWidget(save_);
    buttons->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(edit_, 1);
    layout->addLayout(buttons);
    connect(clear_, &QPushButton::clicked, this, [] { Log::Global().Clear(); });
    connect(save_, &QPushButton::clicked, this, [this] {
        prompts_.SetOwner(window());
        Log::Global().Save(prompts_);
    });
    Log::Global().Attach(&pane_);
}

LogPage::~LogPage() {
    if (Log::Global().Pane() == &pane_) Log::Global().Attach(nullptr);
}

}  // namespace qv
