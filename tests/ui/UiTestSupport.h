#pragma once

#include <QApplication>
#include <QFileDialog>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace qv::test {

// Answers the modal windows a test's action opens (message boxes, file dialogs, the Undelete To
// dialog), in order, the way a person would: each step waits for a modal window of its kind,
// looks at it and presses its buttons. A window that no step expects, or a step still waiting
// at the end, is a failure (and the window is closed so that the test does not hang).
class ModalScript {
public:
    struct Step {
        std::function<bool(QWidget*)> matches;
        std::function<void(QWidget*)> act;
    };

    ModalScript();
    ~ModalScript();

    // Adds a step for the next modal window of type T.
    template <typename T>
    ModalScript& Then(std::function<void(T*)> act) {
        steps_.push_back({[](QWidget* w) { return qobject_cast<T*>(w) != nullptr; },
                          [act](QWidget* w) { act(qobject_cast<T*>(w)); }});
        return *this;
    }
    // Adds a step for a popup menu.
    ModalScript& ThenPopup(std::function<void(QWidget*)> act);

    bool Done() const { return steps_.empty(); }
    const std::vector<std::string>& Problems() const { return problems_; }

private:
    void Poll();

    QTimer timer_;
    std::deque<Step> steps_;
    std::deque<std::function<void(QWidget*)>> popups_;
    QPointer<QWidget> handled_;
    QPointer<QWidget> waitingOn_;
    int waitedMs_ = 0;
    std::vector<std::string> problems_;
};

// Types a whole path into a file dialog's name field, as a person may, and presses its accept
// button: the dialog checks the name as it does for a person.
void TypeAndAccept(QFileDialog* dialog, const QString& path);

// The text of a modal window for failure messages: title and text.
std::string Describe(QWidget* window);

// Processes events until done() or timeoutMs; whether done() became true.
bool WaitFor(const std::function<bool()>& done, int timeoutMs = 10000);

}  // namespace qv::test
