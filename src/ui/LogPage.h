#pragma once

#include <QWidget>

#include "app/LogPane.h"

class QPlainTextEdit;
class QPushButton;

namespace qv {

class WindowPrompts;

// The log's text in the window: a read-only pane that never wraps and follows the end. Appends
// from a worker are synchronous calls onto the window thread. It keeps every line.
class WindowLogPane final : public LogPane {
public:
    explicit WindowLogPane(QPlainTextEdit* edit) : edit_(edit) {}
    void Append(const std::u16string& text) override;
    void Clear() override;
    std::u16string Text() const override;

private:
    QPlainTextEdit* edit_;
};

// The "Log" page: the pane, "Clear &Log" and "Sa&ve Log". Attaches its pane to the global log
// while it exists.
class LogPage final : public QWidget {
    Q_OBJECT
public:
    LogPage(WindowPrompts& prompts, QWidget* parent);
    ~LogPage() override;

    QPlainTextEdit* Pane() const { return edit_; }
    QPushButton* ClearButton() const { return clear_; }
    QPushButton* SaveButton() const { return save_; }

private:
    QPlainTextEdit* edit_;
    QPushButton* clear_;
    QPushButton* save_;
    WindowLogPane pane_;
    WindowPrompts& prompts_;
};

}  // namespace qv
