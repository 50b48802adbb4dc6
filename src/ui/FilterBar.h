#pragma once

#include <QTimer>
#include <QWidget>

#include <optional>
#include <string>
#include <vector>

#include "scan/FileState.h"

class QComboBox;
class QLineEdit;

namespace qv {

// The bar above the list: a search field for names and paths, a Type box ("All types" and the
// types the list holds) and a State box. Changed() follows every change; typing is gathered for
// a few milliseconds first, so that a burst of keys filters the list once.
class FilterBar final : public QWidget {
    Q_OBJECT
public:
    static constexpr int kTypingDelay = 40;  // ms

    explicit FilterBar(QWidget* parent);

    std::u16string SearchText() const;
    // The type chosen, folded to small letters; empty for "All types".
    std::u16string Type() const;
    // The state chosen; nothing for "All states".
    std::optional<FileState> State() const;

    // Offers these types (folded, sorted) after "All types", keeping the choice when it is
    // still among them.
    void SetTypes(const std::vector<std::u16string>& types);
    void FocusSearch();
    void ClearSearch();

    QLineEdit* SearchField() const { return search_; }
    QComboBox* TypeBox() const { return type_; }
    QComboBox* StateBox() const { return state_; }

signals:
    void Changed();

private:
    QLineEdit* search_;
    QComboBox* type_;
    QComboBox* state_;
    QTimer typing_;
};

}  // namespace qv
