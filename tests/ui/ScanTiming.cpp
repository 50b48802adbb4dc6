// Times one scan through the window, from Scan to the list filled and sorted by name, the way a
// user waits for it: ui_scan_timing IMAGE [--no-advanced]. Prints the seconds and the row count.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>

#include <cstdio>
#include <cstring>

#include "ui/DriveChooser.h"
#include "ui/MainDialog.h"
#include "ui/QtText.h"
#include "ui/ResultSheet.h"
#include "ui/UndeletePage.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: ui_scan_timing IMAGE [--no-advanced]\n");
        return 2;
    }
    const std::u16string image = qv::FromQString(QString::fromLocal8Bit(argv[1]));
    qv::MainDialog dialog({image});
    dialog.show();
    QComboBox* chooser = dialog.DriveChooser();
    for (int i = 0; i < chooser->count(); ++i)
        if (chooser->itemData(i).value<qv::Drive>().source.path == image)
            chooser->setCurrentIndex(i);
    dialog.AdvancedScan()->setChecked(!(argc > 2 && std::strcmp(argv[2], "--no-advanced") == 0));
    QElapsedTimer timer;
    timer.start();
    dialog.OnScan();
    const double seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    std::printf("%.3f s, %d rows\n", seconds, dialog.Sheet()->Undelete()->Model().Count());
    return 0;
}
