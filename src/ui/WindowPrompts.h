#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

#include "base/Prompts.h"

namespace qv {

// Message boxes and the save-file dialog of the window. A worker's question is a synchronous
// call onto the window thread, so the worker waits for the answer; the window thread asks
// directly. Each box is owned by the window given with SetOwner (the progress window while a
// worker runs), so it never opens behind the program.
class WindowPrompts final : public QObject, public Prompts {
    Q_OBJECT
public:
    explicit WindowPrompts(QWidget* owner);

    void SetOwner(QWidget* owner) { owner_ = owner; }
    QWidget* Owner() const { return owner_; }

    int MessageBox(const std::u16string& text, const std::u16string& caption,
                   PromptButtons buttons) override;
    std::optional<std::u16string> SaveFileDialog(const std::u16string& filterName,
                                                 const std::u16string& filterPattern,
                                                 const std::u16string& defaultExtension,
                                                 const std::u16string& initialName,
                                                 const std::u16string& initialFolder) override;

    // The same message box, shown on the window thread; the answer as a PromptAnswer (1 OK ...
    // 7 No).
    static int ShowMessageBox(QWidget* owner, const QString& text, const QString& caption,
                              PromptButtons buttons);

private:
    QPointer<QWidget> owner_;
};

}  // namespace qv
