#pragma once
// Only one Korvo may drive the analyser card and the serial lines at a time. The first start holds a
// lock file and listens on a local socket; a later start finds the lock taken, asks the first one over
// the socket to come to the front and ends. The lock is held for the whole life of this object, so it
// must live as long as the program does: a refused close request must not let a second copy in.
#include <QLockFile>
#include <QObject>
#include <QString>
#include <memory>

class QLocalServer;

namespace korvo {

class SingleInstanceGuard : public QObject {
    Q_OBJECT
public:
    enum class Outcome {
        First,           // this process owns the guard
        OtherActivated,  // another instance holds it and was asked to come forward
        OtherUnreachable // another instance holds it but did not answer
    };

    // `key` names the lock file and the socket; the default key is per user, so two users on one
    // machine do not block each other.
    explicit SingleInstanceGuard(QString key = defaultKey(), QObject* parent = nullptr);
    ~SingleInstanceGuard() override;

    // Tries to become the first instance. Waits at most `timeoutMs` for an answer of the other one.
    Outcome acquire(int timeoutMs = 2000);
    bool owned() const { return owned_; }

    static QString defaultKey();
    // Directory of the lock file: the user's runtime directory, else the temporary directory.
    static QString lockDirectory();

signals:
    // Another start asked this instance to show its main window.
    void activationRequested();

private:
    void onConnection();

    QString key_;
    std::unique_ptr<QLockFile> lock_;
    QLocalServer* server_ = nullptr;
    bool owned_ = false;
};

} // namespace korvo
