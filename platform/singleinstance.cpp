#include "platform/singleinstance.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace platform {

SingleInstanceLock::SingleInstanceLock(QString path) : m_path(std::move(path)) {}

SingleInstanceLock::~SingleInstanceLock() {
    // The file stays: removing it would let a newcomer lock a fresh file while another
    // waiter still holds the old, unlinked one.
    if (m_fd >= 0)
        ::close(m_fd);
}

QString SingleInstanceLock::defaultPath() {
    const QString forced = qEnvironmentVariable("KESTRUNE_LOCK_PATH");
    if (!forced.isEmpty())
        return forced;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QFileInfo(runtime).isDir())
        return runtime + QStringLiteral("/kestrune-nms.lock");
    return QStringLiteral("/tmp/kestrune-nms-%1.lock").arg(::getuid());
}

bool SingleInstanceLock::tryAcquire() {
    if (m_fd >= 0)
        return true;
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    const QByteArray native = QFile::encodeName(m_path);
    // Close-on-exec: a program this one starts must not keep the lock after we end.
    const int fd = ::open(native.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0) {
        // Nothing proves another instance runs; refusing to start would be wrong.
        qWarning("single instance: cannot open %s: %s", native.constData(), strerror(errno));
        return true;
    }
    int rc;
    do {
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        const int err = errno;
        ::close(fd);
        if (err == EWOULDBLOCK)
            return false;
        qWarning("single instance: cannot lock %s: %s", native.constData(), strerror(err));
        return true;
    }
    m_fd = fd;
    // The holder's process id, for a person looking at the file.
    const QByteArray pid = QByteArray::number(static_cast<qint64>(::getpid())) + '\n';
    if (::ftruncate(fd, 0) == 0) {
        const ssize_t written = ::pwrite(fd, pid.constData(), static_cast<size_t>(pid.size()), 0);
        Q_UNUSED(written);
    }
    return true;
}

} // namespace platform
