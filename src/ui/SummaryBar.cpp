#include "ui/SummaryBar.h"

#include <QBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStringList>

#include "ui/QtText.h"

namespace qv {

QString SummaryText(const RecoverySummary& summary) {
    if (summary.refused) return QStringLiteral("Nothing recovered: ") + ToQString(summary.refusal);
    QStringList parts{QStringLiteral("%1 recovered").arg(summary.recovered)};
    const auto add = [&](int count, const char* what) {
        if (count > 0) parts.append(QStringLiteral("%1 %2").arg(count).arg(QLatin1String(what)));
    };
    add(summary.incomplete, "incomplete");
    add(summary.failed, "failed");
    add(summary.skipped, "skipped");
    add(summary.canceled, "canceled");
    add(summary.notReached, "not reached");
    return parts.join(QStringLiteral(", "));
}

SummaryBar::SummaryBar(QWidget* parent) : QFrame(parent) {
    setFrameStyle(QFrame::StyledPanel | QFrame::Plain);
    setObjectName(QStringLiteral("recoverySummary"));
    text_ = new QLabel(this);
    text_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    log_ = new QPushButton(QStringLiteral("Show &log"), this);
    log_->setAutoDefault(false);
    close_ = new QPushButton(QStringLiteral("Hide"), this);
    close_->setAutoDefault(false);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(6, 2, 2, 2);
    layout->addWidget(text_, 1);
    layout->addWidget(log_);
    layout->addWidget(close_);
    connect(log_, &QPushButton::clicked, this, &SummaryBar::LogWanted);
    connect(close_, &QPushButton::clicked, this, &QWidget::hide);
    hide();
}

void SummaryBar::Show(const RecoverySummary& summary) {
    text_->setText(QStringLiteral("Undelete: ") + SummaryText(summary));
    show();
}

}  // namespace qv
