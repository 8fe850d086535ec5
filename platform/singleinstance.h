#pragma once
#include <QString>
#include <memory>

namespace platform {

// Held for the life of the process. The kernel releases the lock when the holder dies,
// so a crashed instance never leaves it stuck.
class SingleInstanceLock {
public:
    explicit SingleInstanceLock(QString path = defaultPath());
    ~SingleInstanceLock();
    SingleInstanceLock(const SingleInstanceLock&) = delete;
    SingleInstanceLock& operator=(const SingleInstanceLock&) = delete;

    bool tryAcquire(); // false: another instance holds it
    static QString defaultPath();

private:
    QString m_path;
    int m_fd = -1;
};

} // namespace platform
