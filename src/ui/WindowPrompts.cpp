#include "ui/WindowPrompts.h"

#include <QFileDialog>
#include <QMessageBox>

#include "ui/QtText.h"
#include "ui/UiThread.h"

namespace qv {

WindowPrompts::WindowPrompts(QWidget* owner) : QObject(nullptr), owner_(owner) {}

int WindowPrompts::ShowMessageBox(QWidget* owner, const QString& text, const QString& caption,
                                  PromptButtons buttons) {
    QMessageBox box(owner);
    box.setWindowTitle(caption);
    box.setText(text);
    box.setIcon(QMessageBox::NoIcon);
    struct Choice {
        QMessageBox::StandardButton button;
        int answer;
    };
    std::vector<Choice> choices;
    switch (buttons) {
        case PromptButtons::kOk: choices = {{QMessageBox::Ok, kIdOk}}; break;
        case PromptButtons::kRetryCancel:
            choices = {{QMessageBox::Retry, kIdRetry}, {QMessageBox::Cancel, kIdCancel}};
            break;
        case PromptButtons::kAbortRetryIgnore:
            choices = {{QMessageBox::Abort, kIdAbort},
                       {QMessageBox::Retry, kIdRetry},
                       {QMessageBox::Ignore, kIdIgnore}};
            break;
        case PromptButtons::kYesNoCancel:
            choices = {{QMessageBox::Yes, kIdYes},
                       {QMessageBox::No, kIdNo},
                       {QMessageBox::Cancel, kIdCancel}};
            break;
        case PromptButtons::kYesNo:
            choices = {{QMessageBox::No, kIdNo}, {QMessageBox::Yes, kIdYes}};
            break;
    }
    for (const Choice& c : choices)
        box.addButton(c.button);
    box.setDefaultButton(choices.front().button);
    // Escape and the close box give Cancel where there is one; Abort, Retry, Ignore gets Ignore
    // (of its three answers, the one that loses nothing); OK otherwise.
    QMessageBox::StandardButton escape = choices.front().button;
    for (const Choice& c : choices)
        if (c.button == QMessageBox::Cancel || c.button == QMessageBox::Ignore) escape = c.button;
    box.setEscapeButton(box.button(escape));
    box.exec();
    const auto clicked = box.standardButton(box.clickedButton());
    for (const Choice& c : choices)
        if (c.button == clicked) return c.answer;
    for (const Choice& c : choices)
        if (c.button == escape) return c.answer;
    return choices.front().answer;
}

int WindowPrompts::MessageBox(const std::u16string& text, const std::u16string& caption,
                              PromptButtons buttons) {
    const QString t = ToQString(text);
    const QString c = ToQString(caption);
    return CallOnUiThread(this, [&] { return ShowMessageBox(owner_, t, c, buttons); });
}

std::optional<std::u16string> WindowPrompts::SaveFileDialog(const std::u16string& filterName,
                                                            const std::u16string& filterPattern,
                                                            const std::u16string& defaultExtension,
                                                            const std::u16string& initialName,
                                                            const std::u16string& initialFolder) {
    // Callers give "*.*" for every file; to Qt's dialog it would only match names with a dot.
    QString pattern = ToQString(filterPattern);
    if (pattern == QStringLiteral("*.*")) pattern = QStringLiteral("*");
    QString name = ToQString(filterName);
    const int open = static_cast<int>(name.indexOf(QLatin1Char('(')));
    name = (open > 0 ? name.left(open).trimmed() : name) + QStringLiteral(" (") + pattern +
           QLatin1Char(')');
    const QString suffix = ToQString(defaultExtension);
    const QString initial = ToQString(initialName);
    const QString folder = ToQString(initialFolder);
    const QString chosen = CallOnUiThread(this, [&] {
        QFileDialog dialog(owner_);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setNameFilter(name);
        if (!suffix.isEmpty()) dialog.setDefaultSuffix(suffix);
        if (!folder.isEmpty()) dialog.setDirectory(folder);
        if (!initial.isEmpty()) dialog.selectFile(initial);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return QString();
        return dialog.selectedFiles().constFirst();
    });
    if (chosen.isEmpty()) return std::nullopt;
    return FromQString(chosen);
}

}  // namespace qv
