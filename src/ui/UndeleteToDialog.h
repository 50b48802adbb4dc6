#pragma once

#include <QDialog>

#include "recovery/OutputPaths.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace qv {

// "Undelete To": says how many files are ticked and asks where they go, whether their folder
// paths are recreated, whether their timestamps are restored and what happens to a file that
// exists. Made anew for every Undelete, so it always starts with an empty path, the boxes
// unchecked and "Ask".
class UndeleteToDialog final : public QDialog {
    Q_OBJECT
public:
    UndeleteToDialog(QWidget* transientFor, int files);

    // After OK: the path as typed, and the choices.
    QString Path() const { return path_; }
    bool DoNotRecoverPathnames() const { return doNotRecoverPathnames_; }
    bool RestoreTimestamps() const { return restoreTimes_; }
    ExistingFile IfExists() const { return existingFile_; }

    QLabel* Prompt() const { return prompt_; }
    QLineEdit* PathEdit() const { return edit_; }
    QPushButton* BrowseButton() const { return browse_; }
    QCheckBox* PathnamesBox() const { return check_; }
    QCheckBox* TimestampsBox() const { return keepTimes_; }
    QComboBox* IfExistsBox() const { return existing_; }
    QPushButton* OkButton() const { return ok_; }
    QPushButton* CancelButton() const { return cancel_; }

public slots:
    void accept() override;

private:
    void OnBrowse();

    QLabel* prompt_;
    QLineEdit* edit_;
    QPushButton* browse_;
    QCheckBox* check_;
    QCheckBox* keepTimes_;
    QComboBox* existing_;
    QPushButton* ok_;
    QPushButton* cancel_;
    QString path_;
    bool doNotRecoverPathnames_ = false;
    bool restoreTimes_ = false;
    ExistingFile existingFile_ = ExistingFile::kAsk;
};

}  // namespace qv
