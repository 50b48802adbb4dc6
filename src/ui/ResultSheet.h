#pragma once

#include <QTabWidget>
#include <QWidget>

#include <array>

namespace qv {

class AboutPage;
class LogPage;
class UndeletePage;
class WindowPrompts;

// The tabbed area below the main dialog's controls, with its pages "Deleted files", "Log" and
// "About". A page is made when it is first shown, the first one at once; each fills its tab.
class ResultSheet final : public QWidget {
    Q_OBJECT
public:
    static constexpr int kPages = 3;

    ResultSheet(WindowPrompts& prompts, QWidget* parent);

    void SetActivePage(int index);
    int ActivePage() const { return tabs_->currentIndex(); }
    UndeletePage* Undelete() const { return undelete_; }
    LogPage* Log() const { return log_; }
    AboutPage* About() const { return about_; }
    QWidget* Page(int index) const { return pages_[static_cast<size_t>(index)]; }
    QTabWidget* Tabs() const { return tabs_; }

private:
    void Show(int index);
    void Create(int index);

    WindowPrompts& prompts_;
    QTabWidget* tabs_;
    std::array<QWidget*, kPages> pages_{};
    UndeletePage* undelete_ = nullptr;
    LogPage* log_ = nullptr;
    AboutPage* about_ = nullptr;
};

}  // namespace qv
