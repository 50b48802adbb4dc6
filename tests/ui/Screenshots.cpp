// Pictures of every page of the window and of its dialogs, taken on a real X server (run under
// xvfb-run): ui_screenshots IMAGE OUTDIR. Fails when a picture cannot be written or is blank.
#include <QApplication>
#include <QDir>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <cstdio>
#include <set>

#include "UiTestSupport.h"
#include "app/ProgressDialog.h"
#include "ui/AboutBox.h"
#include "ui/ProgressWindow.h"
#include "ui/ResultModel.h"
#include "ui/UndeleteToDialog.h"

namespace {

int failures = 0;

// A picture with fewer than 3 colours shows nothing.
bool Blank(const QImage& image) {
    std::set<QRgb> colours;
    for (int y = 0; y < image.height() && colours.size() < 3; y += 3)
        for (int x = 0; x < image.width() && colours.size() < 3; x += 3)
            colours.insert(image.pixel(x, y));
    return colours.size() < 3;
}

void Save(QWidget* widget, const QDir& out, const char* name) {
    widget->show();  // a dialog is shown for its picture; the window is already
    const bool exposed = QTest::qWaitForWindowExposed(widget);
    QTest::qWait(200);  // let the window paint
    const QImage picture = exposed ? widget->grab().toImage() : QImage();
    const QString path = out.filePath(QString::fromLatin1(name));
    if (picture.isNull() || Blank(picture) || !picture.save(path)) {
        std::fprintf(stderr, "ui_screenshots: %s is not shown, blank or cannot be written\n", name);
        ++failures;
        return;
    }
    std::printf("%s %dx%d\n", qPrintable(path), picture.width(), picture.height());
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: ui_screenshots IMAGE OUTDIR\n");
        return 2;
    }
    QDir out(QString::fromLocal8Bit(argv[2]));
    out.mkpath(QStringLiteral("."));

    qv::test::ScannedWindow window(QString::fromLocal8Bit(argv[1]).toStdString());
    qv::MainDialog& dialog = window.dialog;
    if (!window.letter || !QTest::qWaitForWindowExposed(&dialog)) return 1;
    // The first three rows as shown (sorted by name) ticked.
    qv::SortedResults& shown = window.page.Sorted();
    for (int row = 0; row < 3 && row < shown.rowCount(); ++row)
        shown.setData(shown.index(row, 0), Qt::Checked, Qt::CheckStateRole);
    Save(&dialog, out, "deleted-files.png");
    dialog.Sheet()->SetActivePage(1);
    Save(&dialog, out, "log.png");
    dialog.Sheet()->SetActivePage(2);
    Save(&dialog, out, "about-page.png");
    dialog.Sheet()->SetActivePage(0);

    qv::UndeleteToDialog undeleteTo(&dialog, 3);
    undeleteTo.PathEdit()->setText(QStringLiteral("/home/me/recovered"));
    Save(&undeleteTo, out, "undelete-to.png");
    undeleteTo.hide();

    qv::ProgressWindow progressWindow(&dialog);
    qv::ProgressDialog progress(&progressWindow);
    progress.SetStatus(u"Searching deleted files, please wait...", u"Please wait", nullptr);
    for (int i = 0; i < 4; ++i)
        progressWindow.StepBar();
    Save(&progressWindow, out, "progress.png");
    progressWindow.hide();

    qv::AboutBox about(&dialog);
    Save(&about, out, "about-box.png");
    return failures == 0 ? 0 : 1;
}
