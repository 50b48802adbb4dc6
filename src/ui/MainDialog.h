#pragma once

#include <QDesktopServices>
#include <QDialog>

#include <memory>
#include <string>
#include <vector>

#include "app/DriveList.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QPushButton;

namespace qv {

class ResultSheet;
class WindowPrompts;

// The program's window: the drive chooser, "Advanced scan", Scan, Help and Quit above the result
// sheet, laid out so that the sheet takes the room the window gains. Quit, Ctrl+Q and the close
// box end it, and with it the program, after asking when files are ticked; Escape clears the
// search field. F1 opens Help, Ctrl+F goes to the search field.
class MainDialog final : public QDialog {
    Q_OBJECT
public:
    static constexpr int kMinimumWidth = 550;
    static constexpr int kMinimumHeight = 400;
    static constexpr int kDefaultWidth = 800;
    static constexpr int kDefaultHeight = 600;

    // images: image files given on the command line; those that open as NTFS are offered with
    // letters after the machine's NTFS volumes, the others named in a message box.
    explicit MainDialog(const std::vector<std::u16string>& images, QWidget* parent = nullptr);
    ~MainDialog() override;

    void OnScan();
    void OnHelp();
    void OnAbout();
    // Empties the drive chooser and offers these drives (at start: the machine's NTFS volumes,
    // then the images that open as NTFS).
    void FillDriveChooser(const std::vector<Drive>& drives);

    QComboBox* DriveChooser() const { return drives_; }
    QCheckBox* AdvancedScan() const { return advanced_; }
    QPushButton* ScanButton() const { return scan_; }
    QPushButton* HelpButton() const { return help_; }
    QPushButton* QuitButton() const { return quit_; }
    ResultSheet* Sheet() const { return sheet_; }
    WindowPrompts& Prompts() { return *prompts_; }
    // Where Help looks for its page (tests point it elsewhere).
    QStringList helpCandidates;
    // How Help hands the page to the desktop (tests stand in a refusal).
    bool (*openUrl)(const QUrl&) = &QDesktopServices::openUrl;

public slots:
    void reject() override;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    std::unique_ptr<WindowPrompts> prompts_;
    QGroupBox* group_;
    QComboBox* drives_;
    QPushButton* scan_;
    QCheckBox* advanced_;
    QPushButton* help_;
    QPushButton* quit_;
    ResultSheet* sheet_;
};

}  // namespace qv
