#pragma once

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace qv {

// "Undelete To": asks where the checked files go and whether their folder paths are recreated.
// Made anew for every Undelete, so it always starts with an empty path and the box unchecked.
class UndeleteToDialog final : public QDialog {
    Q_OBJECT
public:
    explicit UndeleteToDialog(QWidget* transientFor);

    // After OK: the path as typed, and the state of "Do not recover pathnames".
    QString Path() const { return path_; }
    bool DoNotRecoverPathnames() const { return doNotRecoverPathnames_; }

    QLineEdit* PathEdit() const { return edit_; }
    QPushButton* BrowseButton() const { return browse_; }
    QCheckBox* PathnamesBox() const { return check_; }
    QPushButton* OkButton() const { return ok_; }
    QPushButton* CancelButton() const { return cancel_; }

public slots:
    void accept() override;

private:
    void OnBrowse();

    QLineEdit* edit_;
    QPushButton* browse_;
    QCheckBox* check_;
    QPushButton* ok_;
    QPushButton* cancel_;
    QString path_;
    bool doNotRecoverPathnames_ = false;
};

}  // namespace qv
