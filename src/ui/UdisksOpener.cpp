#include "ui/UdisksOpener.h"

#include <fcntl.h>
#include <unistd.h>

#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusUnixFileDescriptor>
#include <QFileInfo>

#include <cerrno>

#include "ui/QtText.h"

namespace qv {

namespace {

const QString kService = QStringLiteral("org.freedesktop.UDisks2");
const QString kManagerPath = QStringLiteral("/org/freedesktop/UDisks2/Manager");
const QString kManager = QStringLiteral("org.freedesktop.UDisks2.Manager");
const QString kBlock = QStringLiteral("org.freedesktop.UDisks2.Block");

UdisksOpen Failure(int error, const QString& reason) {
    UdisksOpen result;
    result.error = error;
    result.reason = reason;
    return result;
}

UdisksOpen FailureFrom(const QDBusMessage& reply) {
    const QString name = reply.errorName();
    int error = EIO;
    if (name.startsWith(QStringLiteral("org.freedesktop.UDisks2.Error.NotAuthorized")))
        error = EACCES;
    else if (name == QStringLiteral("org.freedesktop.DBus.Error.ServiceUnknown") ||
             name == QStringLiteral("org.freedesktop.DBus.Error.NameHasNoOwner"))
        error = ENOSYS;
    else if (name == QStringLiteral("org.freedesktop.DBus.Error.NoReply"))
        error = ETIMEDOUT;
    return Failure(error, QStringLiteral("udisks2: %1: %2").arg(name, reply.errorMessage()));
}

}  // namespace

UdisksOpen OpenThroughUdisks(const QDBusConnection& bus, const QString& device, int timeoutMs) {
    if (!bus.isConnected())
        return Failure(ENOTCONN, QStringLiteral("udisks2: no connection to the system bus"));
    if (!(bus.connectionCapabilities() & QDBusConnection::UnixFileDescriptorPassing))
        return Failure(ENOTSUP, QStringLiteral("udisks2: the bus cannot pass descriptors"));

    // Which of udisks2's objects stands for the device node.
    QDBusMessage resolve =
        QDBusMessage::createMethodCall(kService, kManagerPath, kManager, "ResolveDevice");
    resolve << QVariantMap{{QStringLiteral("path"), device}} << QVariantMap{};
    const QDBusMessage resolved = bus.call(resolve, QDBus::Block, timeoutMs);
    if (resolved.type() == QDBusMessage::ErrorMessage) return FailureFrom(resolved);
    const QList<QDBusObjectPath> objects =
        resolved.arguments().isEmpty()
            ? QList<QDBusObjectPath>()
            : qdbus_cast<QList<QDBusObjectPath>>(resolved.arguments().constFirst());
    if (objects.isEmpty())
        return Failure(ENOENT, QStringLiteral("udisks2 does not know %1").arg(device));

    QDBusMessage open = QDBusMessage::createMethodCall(kService, objects.constFirst().path(),
                                                       kBlock, "OpenForBackup");
    open << QVariantMap{};
    open.setInteractiveAuthorizationAllowed(true);  // polkit may ask for the password
    const QDBusMessage opened = bus.call(open, QDBus::Block, timeoutMs);
    if (opened.type() == QDBusMessage::ErrorMessage) return FailureFrom(opened);
    if (opened.arguments().isEmpty())
        return Failure(EIO, QStringLiteral("udisks2 gave no descriptor for %1").arg(device));
    const auto descriptor = qdbus_cast<QDBusUnixFileDescriptor>(opened.arguments().constFirst());
    if (!descriptor.isValid())
        return Failure(EIO, QStringLiteral("udisks2 gave no descriptor for %1").arg(device));
    // The message's descriptor closes with it: keep a duplicate of our own.
    UdisksOpen result;
    result.fd = ::fcntl(descriptor.fileDescriptor(), F_DUPFD_CLOEXEC, 0);
    if (result.fd < 0) return Failure(errno, QStringLiteral("udisks2: cannot keep the descriptor"));
    // OpenForBackup opens read-only; make sure nothing else came back.
    const int flags = ::fcntl(result.fd, F_GETFL);
    if (flags < 0 || (flags & O_ACCMODE) != O_RDONLY) {
        ::close(result.fd);
        return Failure(EPERM, QStringLiteral("udisks2 did not open %1 read-only").arg(device));
    }
    return result;
}

int OpenThroughUdisks(const std::u16string& device, int* error, std::string* reason) {
    const UdisksOpen result = OpenThroughUdisks(QDBusConnection::systemBus(), ToQString(device));
    if (result.fd < 0) {
        if (error) *error = result.error;
        if (reason) *reason = result.reason.toStdString();
    }
    return result.fd;
}

}  // namespace qv
