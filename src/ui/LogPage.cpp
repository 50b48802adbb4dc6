#include "ui/LogPage.h"

#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextCursor>

#include "app/Log.h"
#include "ui/DialogUnits.h"
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
    setFont(PageFont());
    const DialogUnits du(font());
    resize(du.Size(598, 318));
    edit_->setGeometry(du.Rect(7, 0, 584, 289));
    edit_->setReadOnly(true);
    edit_->setLineWrapMode(QPlainTextEdit::NoWrap);
    edit_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    edit_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    edit_->setObjectName(QStringLiteral("logPane"));
    clear_->setGeometry(du.Rect(230, 298, 45, 12));
    save_->setGeometry(du.Rect(306, 298, 50, 12));
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

void LogPage::resizeEvent(QResizeEvent* event) {
    // The pane fills the page above the buttons; the buttons sit side by side, 10 pixels apart,
    // centred, and Save takes Clear's size.
    const int cx = width();
    const int cy = height();
    const int w = clear_->width();
    const int h = clear_->height();
    edit_->setGeometry(0, 0, cx, cy - h - 12);
    clear_->setGeometry(cx / 2 - w - 5, cy - h - 2, w, h);
    save_->setGeometry(cx / 2 + 5, cy - h - 2, w, h);
    QWidget::resizeEvent(event);
}

}  // namespace qv
