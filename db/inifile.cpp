#include "db/inifile.h"

#include <QFile>
#include <QHash>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace db {

namespace {

// Reading, with a parsed copy per path that is used only while the file on disk is
// exactly the one it was parsed from.

struct FileStamp {
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = -1;
    timespec mtime{};
    timespec ctime{};

    static FileStamp of(const struct stat& st) {
        FileStamp f;
        f.dev = st.st_dev;
        f.ino = st.st_ino;
        f.size = st.st_size;
        f.mtime = st.st_mtim;
        f.ctime = st.st_ctim;
        return f;
    }
    bool operator==(const FileStamp& o) const {
        return dev == o.dev && ino == o.ino && size == o.size && mtime.tv_sec == o.mtime.tv_sec &&
               mtime.tv_nsec == o.mtime.tv_nsec && ctime.tv_sec == o.ctime.tv_sec &&
               ctime.tv_nsec == o.ctime.tv_nsec;
    }
};

struct CachedFile {
    FileStamp stamp;
    std::shared_ptr<const IniDocument> doc;
};

bool g_cacheEnabled = true;
inistore_testing::WriteHook g_writeHook;

QHash<QString, CachedFile>& cache() {
    static QHash<QString, CachedFile> c;
    return c;
}

const std::shared_ptr<const IniDocument>& emptyDocument() {
    static const std::shared_ptr<const IniDocument> d = std::make_shared<IniDocument>();
    return d;
}

bool readAll(int fd, QByteArray& out) {
    out.clear();
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (n == 0)
            return true;
        out.append(buf, n);
    }
}

// Opens only what stat calls a regular file, and without waiting, so that a FIFO or a
// device at the path is refused at once. -1 when it is anything else or cannot be opened.
int openRegularFile(const QByteArray& native, struct stat& st) {
    if (::stat(native.constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return -1;
    const int fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd >= 0 && (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))) {
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace

LoadedIniFile LoadIniFile(const QString& path) {
    const QByteArray native = QFile::encodeName(path);
    if (native.isEmpty())
        return {emptyDocument(), IniFileState::Unusable};
    struct stat st {};
    if (::stat(native.constData(), &st) != 0) {
        cache().remove(path);
        const int err = errno;
        struct stat link {};
        // A link to nothing, a loop of links or a path that cannot be looked into is there.
        if ((err == ENOENT || err == ENOTDIR) && ::lstat(native.constData(), &link) != 0)
            return {emptyDocument(), IniFileState::Missing};
        return {emptyDocument(), IniFileState::Unusable};
    }
    if (g_cacheEnabled && S_ISREG(st.st_mode)) {
        const auto it = cache().constFind(path);
        if (it != cache().constEnd() && it->stamp == FileStamp::of(st))
            return {it->doc, IniFileState::Present};
    }
    const int fd = openRegularFile(native, st);
    QByteArray bytes;
    const bool ok = fd >= 0 && readAll(fd, bytes);
    if (fd >= 0)
        ::close(fd);
    if (!ok) {
        cache().remove(path);
        return {emptyDocument(), IniFileState::Unusable};
    }
    auto doc = std::make_shared<IniDocument>();
    doc->parse(bytes);
    if (g_cacheEnabled)
        cache().insert(path, {FileStamp::of(st), doc});
    return {doc, IniFileState::Present};
}

bool WriteStageAllowed(inistore_testing::WriteStage stage) {
    return !g_writeHook || g_writeHook(stage);
}

// ---------------------------------------------------------------------------------------
// Writing: a temporary file beside the old one, written, flushed to disk and renamed over
// it. A failure at any step removes the temporary file and leaves the old file alone.

namespace {

bool writeAll(int fd, const QByteArray& bytes) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += n;
    }
    return true;
}

mode_t newFileMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

// Root passes the permission bits, but a file that nobody may write is left alone.
bool mayWrite(const QByteArray& native, const struct stat& st) {
    return ::faccessat(AT_FDCWD, native.constData(), W_OK, AT_EACCESS) == 0 &&
           (::geteuid() != 0 || (st.st_mode & 0222) != 0);
}

// The file a rewrite replaces: the path itself, or the end of the links it names, which
// stay links. False when something is there that may not be replaced.
bool replaceTarget(const QByteArray& native, QByteArray& target, struct stat& old, bool& exists) {
    target = native;
    exists = false;
    struct stat link {};
    if (::lstat(native.constData(), &link) != 0)
        return errno == ENOENT;
    if (S_ISLNK(link.st_mode)) {
        char* resolved = ::realpath(native.constData(), nullptr);
        if (!resolved)
            return false;
        target = resolved;
        std::free(resolved);
    }
    const int fd = openRegularFile(target, old);
    if (fd < 0)
        return false;
    ::close(fd);
    exists = true;
    return mayWrite(target, old);
}

QByteArray directoryOf(const QByteArray& file) {
    const qsizetype slash = file.lastIndexOf('/');
    return slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : file.left(slash);
}

} // namespace

bool ReplaceIniFile(const QString& path, const QByteArray& bytes,
                    std::shared_ptr<const IniDocument> parsed) {
    using inistore_testing::WriteStage;
    const QByteArray native = QFile::encodeName(path);
    if (native.isEmpty())
        return false;
    QByteArray target;
    struct stat old {};
    bool hadFile = false;
    if (!replaceTarget(native, target, old, hadFile))
        return false;
    const QByteArray dir = directoryOf(target);
    const qsizetype slash = target.lastIndexOf('/');
    QByteArray tmpl = dir + "/." + target.mid(slash + 1) + ".tmpXXXXXX";
    const int fd = ::mkostemp(tmpl.data(), O_CLOEXEC);
    if (fd < 0)
        return false;
    bool ok = WriteStageAllowed(WriteStage::TempCreated);
    ok = ok && ::fchmod(fd, hadFile ? (old.st_mode & 07777) : newFileMode()) == 0;
    ok = ok && writeAll(fd, bytes) && WriteStageAllowed(WriteStage::Written);
    ok = ok && ::fsync(fd) == 0 && WriteStageAllowed(WriteStage::Synced);
    ok = (::close(fd) == 0) && ok;
    ok = ok && WriteStageAllowed(WriteStage::BeforeRename);
    ok = ok && ::rename(tmpl.constData(), target.constData()) == 0;
    if (!ok) {
        ::unlink(tmpl.constData());
        return false;
    }
    WriteStageAllowed(WriteStage::Renamed);
    // Make the rename itself durable; the file is complete either way.
    const int dfd = ::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
    struct stat st {};
    if (g_cacheEnabled && parsed && ::stat(native.constData(), &st) == 0)
        cache().insert(path, {FileStamp::of(st), std::move(parsed)});
    else
        cache().remove(path);
    WriteStageAllowed(WriteStage::DirectorySynced);
    return true;
}

namespace inistore_testing {
void setWriteHook(WriteHook hook) {
    g_writeHook = std::move(hook);
}
void setCacheEnabled(bool enabled) {
    g_cacheEnabled = enabled;
    cache().clear();
}
} // namespace inistore_testing

} // namespace db
