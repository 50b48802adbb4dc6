#pragma once

#include <QDBusConnection>
#include <QString>

#include <string>

namespace qv {

// Opens a block device read-only through udisks2 ("OpenForBackup" of its Block interface), which
// lets polkit ask the user for a password: the desktop's way to read a device the program's user
// may not open. Root opens devices directly and never needs this.
struct UdisksOpen {
    int fd = -1;     // an open read-only descriptor, close-on-exec, owned by the caller
    int error = 0;   // errno-style cause when fd is -1
    QString reason;  // the cause in words, for the log
};

// Long enough for a person to type a password at polkit's prompt.
inline constexpr int kUdisksTimeoutMs = 5 * 60 * 1000;

UdisksOpen OpenThroughUdisks(const QDBusConnection& bus, const QString& device,
                             int timeoutMs = kUdisksTimeoutMs);
// The same on the system bus: a descriptor, or -1 with *error set and the cause in *reason
// (either may be null). Shaped to be handed to the engine as its second way to open a device.
int OpenThroughUdisks(const std::u16string& device, int* error, std::string* reason);

}  // namespace qv
