#include "app/single_instance.h"

#include "common/platform_info.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>

namespace korvo {

namespace {
const QByteArray kRaiseRequest = "raise\n";

// The key ends up in a file name and a socket name: keep it to harmless characters.
QString sanitised(const QString& s) {
    QString out;
    for (QChar c : s) out += (c.isLetterOrNumber() || c == '-' || c == '_') ? c : QChar('_');
    return out.isEmpty() ? QStringLiteral("user") : out;
}
} // namespace

SingleInstanceGuard::SingleInstanceGuard(QString key, QObject* parent)
    : QObject(parent), key_(sanitised(key)) {}

SingleInstanceGuard::~SingleInstanceGuard() {
    if (server_) server_->close();
    if (lock_) lock_->unlock();
}

QString SingleInstanceGuard::defaultKey() {
    return QStringLiteral("korvo-") + QString::fromStdString(loggedOnUserName());
}

QString SingleInstanceGuard::lockDirectory() {
    // Asked directly: QStandardPaths would invent and create a directory when the variable is unset.
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return !runtime.isEmpty() && QDir(runtime).exists() ? runtime : QDir::tempPath();
}

SingleInstanceGuard::Outcome SingleInstanceGuard::acquire(int timeoutMs) {
    if (owned_) return Outcome::First;
    lock_ = std::make_unique<QLockFile>(QDir(lockDirectory()).filePath(key_ + ".lock"));
    // A lock left by a crashed instance is recognised by its dead process id and taken over; the age
    // of a lock alone never makes it stale, since Korvo runs for days.
    lock_->setStaleLockTime(0);
    if (lock_->tryLock(0)) {
        owned_ = true;
        server_ = new QLocalServer(this);
        server_->setSocketOptions(QLocalServer::UserAccessOption);
        QLocalServer::removeServer(key_); // a socket file of a crashed instance
        server_->listen(key_);
        connect(server_, &QLocalServer::newConnection, this, &SingleInstanceGuard::onConnection);
        return Outcome::First;
    }
    lock_.reset();

    QLocalSocket socket;
    socket.connectToServer(key_);
    if (!socket.waitForConnected(timeoutMs)) return Outcome::OtherUnreachable;
    socket.write(kRaiseRequest);
    if (!socket.waitForBytesWritten(timeoutMs)) return Outcome::OtherUnreachable;
    socket.disconnectFromServer();
    return Outcome::OtherActivated;
}

void SingleInstanceGuard::onConnection() {
    // Any connection is a request to come forward; the peer's bytes only prove it got through.
    while (QLocalSocket* s = server_->nextPendingConnection()) {
        connect(s, &QLocalSocket::disconnected, s, &QObject::deleteLater);
        connect(s, &QLocalSocket::readyRead, s, [s] { s->readAll(); });
        emit activationRequested();
    }
}

} // namespace korvo
