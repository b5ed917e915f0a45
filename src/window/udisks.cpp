// The two UDisks2 calls: Manager.ResolveDevice finds the device's block object, and
// Block.OpenForBackup opens it read-only, with the system's password dialog when needed.
#include "window/udisks.h"

#include <fcntl.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusUnixFileDescriptor>
#include <QVariantMap>

namespace skelbrook::window {
namespace {

const char* const kService = "org.freedesktop.UDisks2";
const char* const kManagerPath = "/org/freedesktop/UDisks2/Manager";
const char* const kManagerInterface = "org.freedesktop.UDisks2.Manager";
const char* const kBlockInterface = "org.freedesktop.UDisks2.Block";
// The user may take a while over the password dialog.
constexpr int kAuthorisationTimeoutMs = 5 * 60 * 1000;

Status Refused(const QDBusMessage& reply) {
  return Status::Error("the system's disk service (UDisks2) refused: " +
                       reply.errorMessage().toStdString());
}

}  // namespace

Status OpenThroughUDisks(const std::string& path, std::unique_ptr<DiskReader>& disk) {
  disk.reset();
  QDBusConnection bus = QDBusConnection::systemBus();
  if (!bus.isConnected() || !bus.interface()->isServiceRegistered(QString::fromLatin1(kService))) {
    return Status::Error("the system's disk service (UDisks2) is not running");
  }
  QDBusMessage resolve = QDBusMessage::createMethodCall(
      QString::fromLatin1(kService), QString::fromLatin1(kManagerPath),
      QString::fromLatin1(kManagerInterface), QStringLiteral("ResolveDevice"));
  resolve << QVariantMap{{QStringLiteral("path"), QString::fromStdString(path)}} << QVariantMap{};
  const QDBusMessage resolved = bus.call(resolve);
  if (resolved.type() != QDBusMessage::ReplyMessage || resolved.arguments().isEmpty())
    return Refused(resolved);
  const auto objects = qdbus_cast<QList<QDBusObjectPath>>(resolved.arguments().first());
  if (objects.isEmpty()) return Status::Error("the system's disk service does not know " + path);

  QDBusMessage open = QDBusMessage::createMethodCall(
      QString::fromLatin1(kService), objects.first().path(), QString::fromLatin1(kBlockInterface),
      QStringLiteral("OpenForBackup"));
  open << QVariantMap{};
  open.setInteractiveAuthorizationAllowed(true);
  // The window opens disks off its own thread, so it stays drawn while the system asks for the
  // password.
  const QDBusMessage opened = bus.call(open, QDBus::Block, kAuthorisationTimeoutMs);
  if (opened.type() != QDBusMessage::ReplyMessage || opened.arguments().isEmpty())
    return Refused(opened);
  const auto descriptor = qdbus_cast<QDBusUnixFileDescriptor>(opened.arguments().first());
  if (!descriptor.isValid()) return Status::Error("the system's disk service handed over nothing");
  // The message's descriptor closes with it: the disk keeps a duplicate of its own.
  return AdoptRawDisk(fcntl(descriptor.fileDescriptor(), F_DUPFD_CLOEXEC, 0), path, disk);
}

}  // namespace skelbrook::window
