#pragma once
// Only one Korvo may drive the analyser card and the serial lines at a time. The first start holds a
// lock file and listens on a local socket; a later start finds the lock taken, asks the first one over
// the socket to come to the front and ends. The lock is held for the whole life of this object, so it
// must live as long as the program does: a refused close request must not let a second copy in.
//
// Lock and socket sit side by side in one private directory of the user, chosen from the account
// alone: a start from a shell without a desktop session (no XDG_RUNTIME_DIR, another TMPDIR) must find
// the copy started from the desktop, and no other user may plant a lock that keeps Korvo from starting.
#include <QLockFile>
#include <QObject>
#include <QString>
#include <memory>
#include <sys/types.h>

class QLocalServer;

namespace korvo {

// What the instance directory is chosen from. The program takes the real account; tests give a home
// and a /run/user of their own.
struct InstancePlace {
    uid_t uid = 0;
    QString home;                                      // from the account database
    QString runUserRoot = QStringLiteral("/run/user"); // where the session directories live

    // The effective user, the home of its account entry ($HOME only when the system has no entry).
    static InstancePlace ofThisUser();
};

// <runUserRoot>/<uid>/korvo when <runUserRoot>/<uid> is a directory (not a link) owned by the user,
// else <home>/.local/state/korvo; empty when there is neither.
QString instanceDirectory(const InstancePlace& place);

// Creates `dir` (and missing parents) with mode 0700 and checks that it is a directory, not a link,
// owned by `uid` and closed to everybody else. Empty when it can be used, else why not.
QString prepareInstanceDirectory(const QString& dir, uid_t uid);

class SingleInstanceGuard : public QObject {
    Q_OBJECT
public:
    enum class Outcome {
        First,            // this process owns the guard
        OtherActivated,   // another instance holds it and was asked to come forward
        OtherUnreachable, // another instance holds it but did not answer
        DirectoryRefused  // the instance directory is unfit (see error()); nothing was locked
    };

    explicit SingleInstanceGuard(const InstancePlace& place = InstancePlace::ofThisUser(),
                                 QObject* parent = nullptr);
    ~SingleInstanceGuard() override;

    // Tries to become the first instance. Waits at most `timeoutMs` for an answer of the other one.
    Outcome acquire(int timeoutMs = 2000);
    bool owned() const { return owned_; }

    const QString& directory() const { return dir_; }
    QString lockPath() const;
    QString socketPath() const;
    // Why acquire() refused the directory, as a message for the user.
    const QString& error() const { return error_; }

signals:
    // Another start asked this instance to show its main window.
    void activationRequested();

private:
    void onConnection();

    QString dir_;
    QString error_;
    uid_t uid_;
    std::unique_ptr<QLockFile> lock_;
    QLocalServer* server_ = nullptr;
    bool owned_ = false;
};

} // namespace korvo
