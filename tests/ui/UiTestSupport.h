#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "ui/MainDialog.h"
#include "ui/ResultSheet.h"
#include "ui/UndeletePage.h"

namespace qv::test {

// Answers the modal windows and popup menus a test's action opens (message boxes, file dialogs,
// the Undelete To dialog, a context menu), in order, the way a person would: each step waits for
// a window of its kind, looks at it and presses its buttons or keys. A window that no step expects,
// or a step still waiting at the end, is a failure (and the window is closed so that the test does
// not hang).
class ModalScript {
public:
    ModalScript();

    // Adds a step for the next modal window or popup of type T.
    template <typename T>
    ModalScript& Then(std::function<void(T*)> act) {
        steps_.push_back([act](QWidget* w) {
            T* window = qobject_cast<T*>(w);
            // Acted on outside the poll, so that windows it opens are seen too.
            if (window) QTimer::singleShot(0, w, [act, window] { act(window); });
            return window != nullptr;
        });
        return *this;
    }
    // Adds a step for a message box: its "title|text" goes to said, then button is pressed.
    ModalScript& ThenMessage(std::string& said,
                             QMessageBox::StandardButton button = QMessageBox::Ok);

    // Runs action, which opens the windows the steps expect: whether every step ran and no
    // other window came.
    testing::AssertionResult Run(const std::function<void()>& action);
    bool Done() const { return steps_.empty(); }

private:
    void Poll();

    QTimer timer_;
    std::deque<std::function<bool(QWidget*)>> steps_;  // each acts on a window it takes
    QPointer<QWidget> handled_;
    QPointer<QWidget> waitingOn_;
    int waitedMs_ = 0;
    std::vector<std::string> problems_;
};

// Types a whole path into a file dialog's name field, as a person may, and presses its accept
// button: the dialog checks the name as it does for a person.
void TypeAndAccept(QFileDialog* dialog, const QString& path);

// Runs work on a thread of its own, as a worker, while this thread runs meanwhile and then
// handles events until work has returned.
void OnWorker(const std::function<void()>& work, const std::function<void()>& meanwhile = {});

// Chooses image in the window's drive chooser: its letter, 0 when the chooser does not offer it.
char16_t ChooseImage(MainDialog& dialog, const std::string& image);

// A window on image, chosen in its drive chooser and scanned (advanced scan as asked).
struct ScannedWindow {
    explicit ScannedWindow(const std::string& image, bool advanced = true);
    // The row that shows the file of this name; -1 when none does.
    int RowOf(const std::string& name);

    MainDialog dialog;
    char16_t letter = 0;  // 0: the image is not offered, nothing is scanned
    UndeletePage& page = *dialog.Sheet()->Undelete();
};

}  // namespace qv::test
