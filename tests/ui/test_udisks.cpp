// Opening a device through a stand-in udisks2 on a private bus: a read-only, close-on-exec
// descriptor of the volume; refusals, unknown devices and no service become named causes.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusUnixFileDescriptor>
#include <QProcess>
#include <QStandardPaths>

#include <atomic>

#include "UiTestSupport.h"
#include "support/Fixtures.h"
#include "ui/UdisksOpener.h"

namespace qv {
namespace {

// udisks2's Manager: knows /dev/fake0 (a fixture image) and /dev/denied.
class FakeManager : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.UDisks2.Manager")
public slots:
    QList<QDBusObjectPath> ResolveDevice(const QVariantMap& devspec, const QVariantMap&) {
        const QString path = devspec.value(QStringLiteral("path")).toString();
        if (path != QStringLiteral("/dev/fake0") && path != QStringLiteral("/dev/denied"))
            return {};
        return {QDBusObjectPath(QStringLiteral("/org/freedesktop/UDisks2/block_devices/") +
                                path.mid(5))};
    }
};

// udisks2's Block of one device: opens the image, or refuses as polkit does.
class FakeBlock : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.UDisks2.Block")
public:
    FakeBlock(std::string path, bool refuses) : image(std::move(path)), refuse(refuses) {}
    const std::string image;
    const bool refuse;
    std::atomic<bool> interactive{false};
public slots:
    QDBusUnixFileDescriptor OpenForBackup(const QVariantMap&) {
        interactive = message().isInteractiveAuthorizationAllowed();
        if (refuse) {
            sendErrorReply(QStringLiteral("org.freedesktop.UDisks2.Error.NotAuthorizedDismissed"),
                           QStringLiteral("The authentication dialog was dismissed"));
            return {};
        }
        const int fd = ::open(image.c_str(), O_RDONLY | O_CLOEXEC);
        QDBusUnixFileDescriptor result(fd);  // keeps a duplicate
        ::close(fd);
        return result;
    }
};

// Runs the opener on a thread of its own, as the scan worker would, while the test's thread
// serves the stand-in.
UdisksOpen OpenOnWorker(const QDBusConnection& bus, const QString& device) {
    UdisksOpen result;
    test::OnWorker([&] { result = OpenThroughUdisks(bus, device, 10000); });
    return result;
}

// The stand-in and the program talk over a private message bus, ended with the test.
class Udisks : public ::testing::Test {
protected:
    void SetUp() override {
        const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
        if (!daemon.isEmpty())
            bus_.start(daemon, {QStringLiteral("--session"), QStringLiteral("--nofork"),
                                QStringLiteral("--print-address")});
        if (!bus_.waitForStarted(5000) || !bus_.waitForReadyRead(5000))
            GTEST_SKIP() << "dbus-daemon is not available";
        const QString address = QString::fromUtf8(bus_.readLine()).trimmed();
        service_ = QDBusConnection::connectToBus(address, QStringLiteral("udisks-service"));
        client_ = QDBusConnection::connectToBus(address, QStringLiteral("udisks-client"));
        ASSERT_TRUE(service_.isConnected());
        ASSERT_TRUE(client_.isConnected());
    }
    void TearDown() override {
        QDBusConnection::disconnectFromBus(QStringLiteral("udisks-service"));
        QDBusConnection::disconnectFromBus(QStringLiteral("udisks-client"));
        bus_.terminate();
        bus_.waitForFinished(5000);
    }
    QProcess bus_;
    QDBusConnection service_{QString()}, client_{QString()};
};

TEST_F(Udisks, TheDescriptorReadsTheVolumeReadOnlyAndEveryFailureIsACause) {
    QV_REQUIRE_FIXTURE(image, "rich-4k.img");
    // Nobody serves udisks2 yet.
    UdisksOpen none = OpenOnWorker(client_, QStringLiteral("/dev/fake0"));
    EXPECT_EQ(none.fd, -1);
    EXPECT_EQ(none.error, ENOSYS);
    EXPECT_TRUE(none.reason.contains(QStringLiteral("ServiceUnknown")))
        << none.reason.toStdString();

    FakeManager manager;
    FakeBlock fake0(image, false), denied(image, true);
    const std::pair<const char*, QObject*> objects[] = {
        {"Manager", &manager}, {"block_devices/fake0", &fake0}, {"block_devices/denied", &denied}};
    for (const auto& [path, object] : objects)
        ASSERT_TRUE(service_.registerObject(
            QStringLiteral("/org/freedesktop/UDisks2/") + QLatin1String(path), object,
            QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(service_.registerService(QStringLiteral("org.freedesktop.UDisks2")));
    const UdisksOpen opened = OpenOnWorker(client_, QStringLiteral("/dev/fake0"));
    ASSERT_GE(opened.fd, 0) << opened.reason.toStdString();
    EXPECT_TRUE(fake0.interactive);  // polkit may ask for the password
    char boot[512];
    ASSERT_EQ(::pread(opened.fd, boot, sizeof boot, 0), 512);
    EXPECT_EQ(std::string(boot + 3, 8), "NTFS    ");
    EXPECT_EQ(::fcntl(opened.fd, F_GETFL) & O_ACCMODE, O_RDONLY);
    EXPECT_TRUE(::fcntl(opened.fd, F_GETFD) & FD_CLOEXEC);
    EXPECT_EQ(::write(opened.fd, "x", 1), -1);
    ::close(opened.fd);

    const UdisksOpen refused = OpenOnWorker(client_, QStringLiteral("/dev/denied"));
    EXPECT_EQ(refused.fd, -1);
    EXPECT_EQ(refused.error, EACCES);
    EXPECT_TRUE(refused.reason.contains(QStringLiteral("dismissed")))
        << refused.reason.toStdString();

    const UdisksOpen unknown = OpenOnWorker(client_, QStringLiteral("/dev/sdz9"));
    EXPECT_EQ(unknown.fd, -1);
    EXPECT_EQ(unknown.error, ENOENT);
    EXPECT_TRUE(unknown.reason.contains(QStringLiteral("/dev/sdz9")));
}

}  // namespace
}  // namespace qv

#include "test_udisks.moc"
