#pragma once

#include <QFrame>

#include "recovery/Recovery.h"

class QLabel;
class QPushButton;

namespace qv {

// "12 recovered, 1 incomplete, 2 failed": what a recovery did, counted file by file (named
// streams count as files); categories with no file are left out, except recovered.
QString SummaryText(const RecoverySummary& summary);

// The line above the list that says how the last Undelete ended, with a button to the Log page
// and one to hide it. It does not block the window.
class SummaryBar final : public QFrame {
    Q_OBJECT
public:
    explicit SummaryBar(QWidget* parent);

    void Show(const RecoverySummary& summary);

    QLabel* Text() const { return text_; }
    QPushButton* LogButton() const { return log_; }
    QPushButton* CloseButton() const { return close_; }

signals:
    void LogWanted();

private:
    QLabel* text_;
    QPushButton* log_;
    QPushButton* close_;
};

}  // namespace qv
