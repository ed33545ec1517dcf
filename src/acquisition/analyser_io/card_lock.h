#pragma once
// One analyser card, one program: the desktop program, korvo-cli and the Tango server each take this
// lock before they open the card's ports, and a second one is refused instead of counting the same
// gates. The lock is an flock() on a file that every user may open (by default in /run/lock, the
// place of device locks); the kernel drops it when the holder ends, however it ends, so a crashed
// program never keeps the card locked. The holder writes its process number into the file for the
// message of the one refused.
#include <memory>
#include <string>

namespace korvo {

// The lock file of the real card: $KORVO_CARD_LOCK when set (a test's own file), else
// /run/lock/korvo-analyser-card.lock.
std::string cardLockPath();

class CardLock {
public:
    // Takes the lock on `path` (created when missing). nullptr with the reason in *error when another
    // process holds it or the file cannot be opened.
    static std::unique_ptr<CardLock> acquire(const std::string& path, std::string* error);
    ~CardLock();
    CardLock(const CardLock&) = delete;
    CardLock& operator=(const CardLock&) = delete;

private:
    explicit CardLock(int fd) : fd_(fd) {}
    int fd_;
};

} // namespace korvo
