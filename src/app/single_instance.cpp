#include "app/single_instance.h"

#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>

#include <cerrno>
#include <cstring>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace korvo {

namespace {

const QByteArray kRaiseRequest = "raise\n";
const QString kLockName = QStringLiteral("korvo.lock");
const QString kSocketName = QStringLiteral("korvo.socket");

QString systemError(int err) {
    return QString::fromLocal8Bit(std::strerror(err));
}

// A directory that is really one (a link to a directory does not count) and belongs to `uid`.
bool ownDirectory(const QString& path, uid_t uid) {
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == uid;
}

// mkdir -p for the parents of `path`, private as the XDG base directories ask of what they create;
// directories that already exist are left as they are.
void makeParents(const QByteArray& path) {
    for (qsizetype pos = path.indexOf('/', 1); pos > 0; pos = path.indexOf('/', pos + 1))
        ::mkdir(path.left(pos).constData(), 0700);
}

} // namespace

InstancePlace InstancePlace::ofThisUser() {
    InstancePlace place;
    place.uid = ::geteuid();
    const long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buf(static_cast<std::size_t>(size > 0 ? size : 16384));
    passwd pw{};
    passwd* found = nullptr;
    // The account's home, not $HOME: a start with another HOME (sudo -E, a script) must find the
    // same directory.
    if (::getpwuid_r(place.uid, &pw, buf.data(), buf.size(), &found) == 0 && found && found->pw_dir)
        place.home = QFile::decodeName(found->pw_dir);
    if (place.home.isEmpty()) place.home = qEnvironmentVariable("HOME");
    return place;
}

QString instanceDirectory(const InstancePlace& place) {
    const QString session = QDir(place.runUserRoot).filePath(QString::number(place.uid));
    if (ownDirectory(session, place.uid)) return QDir(session).filePath(QStringLiteral("korvo"));
    if (place.home.isEmpty()) return {};
    return QDir(place.home).filePath(QStringLiteral(".local/state/korvo"));
}

QString prepareInstanceDirectory(const QString& dir, uid_t uid) {
    if (dir.isEmpty()) return QStringLiteral("there is no home directory for user id %1").arg(uid);
    const QByteArray path = QFile::encodeName(QDir::cleanPath(dir));
    makeParents(path);
    // Made here: set the mode exactly, whatever the umask took away.
    if (::mkdir(path.constData(), 0700) == 0) ::chmod(path.constData(), 0700);
    struct stat st {};
    if (::lstat(path.constData(), &st) != 0) return dir + QStringLiteral(": ") + systemError(errno);
    if (S_ISLNK(st.st_mode)) return dir + QStringLiteral(" is a symbolic link, not a directory");
    if (!S_ISDIR(st.st_mode)) return dir + QStringLiteral(" is not a directory");
    if (st.st_uid != uid)
        return dir + QStringLiteral(" belongs to user id %1, not to user id %2").arg(st.st_uid).arg(uid);
    // Only the permission bits count: a set-group-id bit inherited from the parent opens nothing.
    if ((st.st_mode & 0777) != 0700)
        return dir + QStringLiteral(" has mode %1; it must be 0700 (chmod 700 %2)")
                         .arg(QString::number(st.st_mode & 0777, 8).rightJustified(4, QLatin1Char('0')), dir);
    return {};
}

SingleInstanceGuard::SingleInstanceGuard(const InstancePlace& place, QObject* parent)
    : QObject(parent), dir_(instanceDirectory(place)), uid_(place.uid) {}

SingleInstanceGuard::~SingleInstanceGuard() {
    if (server_) server_->close();
    if (lock_) lock_->unlock();
}

QString SingleInstanceGuard::lockPath() const {
    return QDir(dir_).filePath(kLockName);
}

QString SingleInstanceGuard::socketPath() const {
    return QDir(dir_).filePath(kSocketName);
}

SingleInstanceGuard::Outcome SingleInstanceGuard::acquire(int timeoutMs) {
    if (owned_) return Outcome::First;
    // Never a fallback to a shared place: a lock there could be planted by anybody.
    error_ = prepareInstanceDirectory(dir_, uid_);
    if (!error_.isEmpty()) return Outcome::DirectoryRefused;

    lock_ = std::make_unique<QLockFile>(lockPath());
    // A lock left by a crashed instance is recognised by its dead process id and taken over; the age
    // of a lock alone never makes it stale, since Korvo runs for days.
    lock_->setStaleLockTime(0);
    if (lock_->tryLock(0)) {
        owned_ = true;
        server_ = new QLocalServer(this);
        server_->setSocketOptions(QLocalServer::UserAccessOption);
        QLocalServer::removeServer(socketPath()); // the socket file of a crashed instance
        // Without the socket this copy still runs alone; only later starts cannot bring it forward.
        if (!server_->listen(socketPath()))
            qWarning("korvo: cannot listen on %s: %s", qPrintable(socketPath()),
                     qPrintable(server_->errorString()));
        connect(server_, &QLocalServer::newConnection, this, &SingleInstanceGuard::onConnection);
        return Outcome::First;
    }
    lock_.reset();

    QLocalSocket socket;
    socket.connectToServer(socketPath());
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
