// Times the window the way a user waits for it: one scan, from Scan to the list filled and
// sorted by name; a click on each heading (ascending, then again: descending); and, with
// --recover-all DIR, Select all and Undelete into DIR (the destination typed into the Undelete To
// dialog), until the progress window has closed.
//   ui_scan_timing IMAGE [--no-advanced] [--recover-all DIR]
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <cstdio>
#include <cstring>

#include "ui/DriveChooser.h"
#include "ui/MainDialog.h"
#include "ui/QtText.h"
#include "ui/ResultSheet.h"
#include "ui/UndeletePage.h"
#include "ui/UndeleteToDialog.h"

namespace {

double Seconds(const QElapsedTimer& timer) {
    return static_cast<double>(timer.nsecsElapsed()) / 1e9;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: ui_scan_timing IMAGE [--no-advanced] [--recover-all DIR]\n");
        return 2;
    }
    bool advanced = true;
    QString recoverInto;
    for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], "--no-advanced") == 0) {
            advanced = false;
        } else if (std::strcmp(argv[i], "--recover-all") == 0 && i + 1 < argc) {
            recoverInto = QString::fromLocal8Bit(argv[++i]);
        } else {
            std::fprintf(stderr, "ui_scan_timing: unknown argument %s\n", argv[i]);
            return 2;
        }
    }
    const std::u16string image = qv::FromQString(QString::fromLocal8Bit(argv[1]));
    qv::MainDialog dialog({image});
    dialog.show();
    QComboBox* chooser = dialog.DriveChooser();
    for (int i = 0; i < chooser->count(); ++i)
        if (chooser->itemData(i).value<qv::Drive>().source.path == image)
            chooser->setCurrentIndex(i);
    dialog.AdvancedScan()->setChecked(advanced);
    QElapsedTimer timer;
    timer.start();
    dialog.OnScan();
    qv::UndeletePage* page = dialog.Sheet()->Undelete();
    std::printf("%.3f s, %d rows\n", Seconds(timer), page->Model().Count());
    for (int column = 0; column < qv::ResultModel::kColumns; ++column) {
        const QString heading = qv::ResultModel::Headings()[static_cast<size_t>(column)].trimmed();
        for (const char* way : {"up", "down"}) {
            timer.restart();
            page->SortByColumn(column);
            std::printf("  sort by %s, %s: %.3f s\n", qPrintable(heading), way, Seconds(timer));
        }
    }
    if (recoverInto.isEmpty()) return 0;

    page->SelectAll();
    // The Undelete To dialog is answered as soon as it is up.
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        if (auto* to = qobject_cast<qv::UndeleteToDialog*>(QApplication::activeModalWidget())) {
            answer.stop();
            to->PathEdit()->setText(recoverInto);
            to->OkButton()->click();
            timer.restart();
        }
    });
    answer.start(10);
    page->OnUndelete();
    std::printf("recovery: %.3f s\n", Seconds(timer));
    return 0;
}
