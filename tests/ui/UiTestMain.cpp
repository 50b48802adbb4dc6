// The window tests run on Qt's offscreen platform, in UTC so that log time stamps are known.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>

#include <cstdlib>
#include <ctime>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    setenv("TZ", "UTC", 1);
    tzset();
    // The tests answer file dialogs as widgets; a desktop's own dialogs would not be reachable.
    QApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    // Settings the window remembers (the preview's split) go to a folder of this run, never to
    // the user's own.
    const QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
