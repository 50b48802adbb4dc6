// quorvane: the desktop program. Finds deleted files on the machine's NTFS volumes, or on the
// image files given as arguments, and copies them out.
#include <unistd.h>

#include <QApplication>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/BlockDevice.h"
#include "ui/MainDialog.h"
#include "ui/QtText.h"
#include "ui/UdisksOpener.h"

int main(int argc, char** argv) {
    // Answered before the window system is asked for anything, so that they work without one.
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--version") {
            std::printf("quorvane %s\n", QUORVANE_VERSION);
            return 0;
        }
        if (arg == "--help" || arg == "-h") {
            std::printf(
                "Usage: quorvane [IMAGE...]\n"
                "Finds deleted files on the machine's NTFS volumes, or on the NTFS image files\n"
                "given, and copies them out. Each IMAGE that opens as NTFS is offered beside the\n"
                "machine's volumes.\n\n"
                "  --version  print the version and exit\n"
                "  --help     print this help and exit\n");
            return 0;
        }
    }
    QApplication app(argc, argv);
    QApplication::setApplicationVersion(QStringLiteral(QUORVANE_VERSION));
    QApplication::setApplicationName(QStringLiteral("Quorvane"));
    QApplication::setDesktopFileName(QStringLiteral("quorvane"));
    // What is left after Qt took its own options: the images to offer beside the drives.
    std::vector<std::u16string> images;
    for (int i = 1; i < argc; ++i)
        images.push_back(qv::FromQString(QString::fromLocal8Bit(argv[i])));
    // A block device the user may not read is opened read-only through udisks2, which asks for
    // the password; as root the device is opened directly.
    if (::geteuid() != 0) qv::SetPrivilegedOpener(&qv::OpenThroughUdisks);
    qv::MainDialog dialog(images);
    dialog.show();
    dialog.exec();
    return 0;
}
