#include "ui/FilterBar.h"

#include <QBoxLayout>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

#include "ui/QtText.h"

namespace qv {

namespace {
constexpr FileState kStates[] = {FileState::kResident, FileState::kIntact,
                                 FileState::kPartlyOverwritten, FileState::kOverwritten,
                                 FileState::kUnknown};
}  // namespace

FilterBar::FilterBar(QWidget* parent) : QWidget(parent) {
    search_ = new QLineEdit(this);
    search_->setPlaceholderText(QStringLiteral("Search names and paths (Ctrl+F)"));
    search_->setClearButtonEnabled(true);
    search_->setToolTip(
        QStringLiteral("Text found anywhere in a name or path, or a pattern with * and ?"));
    type_ = new QComboBox(this);
    type_->addItem(QStringLiteral("All types"));
    type_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    state_ = new QComboBox(this);
    state_->addItem(QStringLiteral("All states"), -1);
    for (const FileState state : kStates)
        state_->addItem(QString::fromLatin1(StateName(state).data(),
                                            static_cast<qsizetype>(StateName(state).size())),
                        static_cast<int>(state));
    auto* typeLabel = new QLabel(QStringLiteral("&Type"), this);
    typeLabel->setBuddy(type_);
    auto* stateLabel = new QLabel(QStringLiteral("S&tate"), this);
    stateLabel->setBuddy(state_);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(search_, 1);
    layout->addWidget(typeLabel);
    layout->addWidget(type_);
    layout->addWidget(stateLabel);
    layout->addWidget(state_);

    typing_.setSingleShot(true);
    typing_.setInterval(kTypingDelay);
    connect(&typing_, &QTimer::timeout, this, &FilterBar::Changed);
    connect(search_, &QLineEdit::textChanged, this, [this] { typing_.start(); });
    connect(type_, &QComboBox::currentIndexChanged, this, &FilterBar::Changed);
    connect(state_, &QComboBox::currentIndexChanged, this, &FilterBar::Changed);
}

std::u16string FilterBar::SearchText() const {
    return FromQString(search_->text());
}

std::u16string FilterBar::Type() const {
    return type_->currentIndex() <= 0 ? std::u16string() : FromQString(type_->currentText());
}

std::optional<FileState> FilterBar::State() const {
    const int state = state_->currentData().toInt();
    if (state < 0) return std::nullopt;
    return static_cast<FileState>(state);
}

void FilterBar::SetTypes(const std::vector<std::u16string>& types) {
    const QString chosen = type_->currentIndex() > 0 ? type_->currentText() : QString();
    const QSignalBlocker quiet(type_);
    type_->clear();
    type_->addItem(QStringLiteral("All types"));
    for (const std::u16string& type : types)
        type_->addItem(ToQString(type));
    const int again = chosen.isEmpty() ? 0 : type_->findText(chosen);
    type_->setCurrentIndex(std::max(again, 0));
    if (!chosen.isEmpty() && again < 0) emit Changed();
}

void FilterBar::FocusSearch() {
    search_->setFocus(Qt::ShortcutFocusReason);
    search_->selectAll();
}

void FilterBar::ClearSearch() {
    if (search_->text().isEmpty()) return;
    search_->clear();
    // Cleared on purpose: the whole list comes back at once.
    typing_.stop();
    emit Changed();
}

}  // namespace qv
