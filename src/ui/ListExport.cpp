#include "ui/ListExport.h"

#include <QDir>
#include <QFileDialog>

#include "app/ListWriter.h"
#include "platform/Text.h"
#include "ui/QtText.h"
#include "ui/ResultModel.h"
#include "ui/WindowPrompts.h"

namespace qv {

namespace {

const QString kTitle = QStringLiteral("Export list");
const QString kCsvFilter = QStringLiteral("CSV (*.csv)");
const QString kJsonFilter = QStringLiteral("JSON Lines (*.jsonl *.json)");

}  // namespace

void ExportShownList(QWidget* owner, const SortedResults& shown, char16_t letter) {
    QFileDialog dialog(owner, kTitle, QDir::homePath(),
                       kCsvFilter + QStringLiteral(";;") + kJsonFilter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(QStringLiteral("csv"));
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog](const QString& f) {
        dialog.setDefaultSuffix(f == kJsonFilter ? QStringLiteral("jsonl") : QStringLiteral("csv"));
    });
    dialog.selectFile(QStringLiteral("deleted-files.csv"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    WriteShownList(owner, dialog.selectedFiles().constFirst(), shown, letter);
}

bool WriteShownList(QWidget* owner, const QString& path, const SortedResults& shown,
                    char16_t letter) {
    const std::u16string target = FromQString(path);
    const std::optional<ListFormat> asked = ListFormatFor(target);
    std::vector<DeletedFile> files;
    files.reserve(static_cast<size_t>(shown.rowCount()));
    for (int row = 0; row < shown.rowCount(); ++row)
        files.push_back(shown.File(row));
    const Status written = WriteFileList(target, files, asked.value_or(ListFormat::kCsv), letter);
    if (!written) {
        const Error& e = written.error();
        const QString cause =
            e.osError ? ToQString(ErrorText(e.osError)) : QString::fromStdString(e.Text());
        WindowPrompts::ShowMessageBox(
            owner, QStringLiteral("The list could not be written to %1: %2").arg(path, cause),
            kTitle, PromptButtons::kOk);
        return false;
    }
    if (!asked)
        WindowPrompts::ShowMessageBox(
            owner,
            QStringLiteral("%1 ends neither in .csv nor in .jsonl or .json: the list was written "
                           "as CSV.")
                .arg(path),
            kTitle, PromptButtons::kOk);
    return true;
}

}  // namespace qv
