#include "db/inistore.h"

#include "db/inidocument.h"
#include "db/sharedfunctions.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace db {

namespace {

// ---------------------------------------------------------------------------------------
// Names and values: Latin-1 bytes, compared without regard to case.

bool hasLineBreakOrNul(const QString& s) {
    for (QChar c : s) {
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n') || c == QChar(0))
            return true;
    }
    return false;
}

bool isLatin1(const QString& s) {
    for (QChar c : s) {
        if (c.unicode() > 0xFF)
            return false;
    }
    return true;
}

// A name as the caller gave it, in the form it is looked up; nullopt when no line of a
// file can carry it (such a name reads as missing and is never written).
std::optional<QByteArray> lookupName(const QString& name) {
    if (hasLineBreakOrNul(name) || !isLatin1(name))
        return std::nullopt;
    QByteArray b = TrimBlanks(name.toLatin1());
    if (b.isEmpty())
        return std::nullopt;
    return b;
}

std::optional<QByteArray> writableSection(const QString& name) {
    std::optional<QByteArray> b = lookupName(name);
    if (b && b->contains(']'))
        return std::nullopt; // would end the name early when read back
    return b;
}

std::optional<QByteArray> writableKey(const QString& name) {
    std::optional<QByteArray> b = lookupName(name);
    if (!b || b->contains('=') || b->startsWith('[') || b->startsWith(';'))
        return std::nullopt; // would read back as another key, a section or a comment
    return FoldName(*b);     // keys stand in upper case
}

std::optional<QByteArray> writableValue(const QString& value) {
    if (hasLineBreakOrNul(value) || !isLatin1(value))
        return std::nullopt;
    return value.toLatin1();
}

// The entries of one record as they are written; nullopt when one of them cannot be.
std::optional<IniKeyValues> writableEntries(const IniEntries& entries) {
    IniKeyValues checked;
    checked.reserve(entries.size());
    for (const auto& [k, v] : entries) {
        const auto key = writableKey(k);
        const auto value = writableValue(v);
        if (!key || !value)
            return std::nullopt;
        checked.append({*key, *value});
    }
    return checked;
}

QByteArray readForm(const QByteArray& raw) {
    QByteArray v = TrimBlanks(raw);
    if (v.size() >= 2 && v.front() == '"' && v.back() == '"')
        v = v.mid(1, v.size() - 2);
    return v;
}

// ---------------------------------------------------------------------------------------
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

// Missing: nothing at the path; reads give their defaults and a write creates the file.
// Unusable: something is there that cannot be read as a file; reads give their defaults
// and writes fail, so that it is never replaced.
enum class FileState { Missing, Present, Unusable };

struct Loaded {
    std::shared_ptr<const IniDocument> doc;
    FileState state;
};

Loaded load(const QString& path) {
    const QByteArray native = QFile::encodeName(path);
    if (native.isEmpty())
        return {emptyDocument(), FileState::Unusable};
    struct stat st {};
    if (::stat(native.constData(), &st) != 0) {
        cache().remove(path);
        const int err = errno;
        struct stat link {};
        // A link to nothing, a loop of links or a path that cannot be looked into is there.
        if ((err == ENOENT || err == ENOTDIR) && ::lstat(native.constData(), &link) != 0)
            return {emptyDocument(), FileState::Missing};
        return {emptyDocument(), FileState::Unusable};
    }
    if (g_cacheEnabled && S_ISREG(st.st_mode)) {
        const auto it = cache().constFind(path);
        if (it != cache().constEnd() && it->stamp == FileStamp::of(st))
            return {it->doc, FileState::Present};
    }
    const int fd = openRegularFile(native, st);
    QByteArray bytes;
    const bool ok = fd >= 0 && readAll(fd, bytes);
    if (fd >= 0)
        ::close(fd);
    if (!ok) {
        cache().remove(path);
        return {emptyDocument(), FileState::Unusable};
    }
    auto doc = std::make_shared<IniDocument>();
    doc->parse(bytes);
    if (g_cacheEnabled)
        cache().insert(path, {FileStamp::of(st), doc});
    return {doc, FileState::Present};
}

// ---------------------------------------------------------------------------------------
// Writing: a temporary file beside the old one, written, flushed to disk and renamed over
// it. A failure at any step removes the temporary file and leaves the old file alone.

bool hookAllows(inistore_testing::WriteStage stage) {
    return !g_writeHook || g_writeHook(stage);
}

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

bool commit(const QString& path, const QByteArray& bytes,
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
    bool ok = hookAllows(WriteStage::TempCreated);
    ok = ok && ::fchmod(fd, hadFile ? (old.st_mode & 07777) : newFileMode()) == 0;
    ok = ok && writeAll(fd, bytes) && hookAllows(WriteStage::Written);
    ok = ok && ::fsync(fd) == 0 && hookAllows(WriteStage::Synced);
    ok = (::close(fd) == 0) && ok;
    ok = ok && hookAllows(WriteStage::BeforeRename);
    ok = ok && ::rename(tmpl.constData(), target.constData()) == 0;
    if (!ok) {
        ::unlink(tmpl.constData());
        return false;
    }
    hookAllows(WriteStage::Renamed);
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
    hookAllows(WriteStage::DirectorySynced);
    return true;
}

// What a change made of the parsed file: write it, leave the file as it is, or fail.
enum class Change { Write, Keep, Fail };

// One operation: the file read once (or its parsed copy), changed, written once.
template <typename F> bool rewrite(const QString& path, F&& change) {
    if (!hookAllows(inistore_testing::WriteStage::Begun))
        return false;
    const Loaded loaded = load(path);
    if (loaded.state == FileState::Unusable)
        return false;
    auto doc = std::make_shared<IniDocument>(*loaded.doc);
    switch (change(*doc)) {
    case Change::Keep:
        return true;
    case Change::Fail:
        return false;
    case Change::Write:
        break;
    }
    const QByteArray bytes = doc->serialize();
    return commit(path, bytes, std::move(doc));
}

} // namespace

namespace inistore_testing {
void setWriteHook(WriteHook hook) {
    g_writeHook = std::move(hook);
}
void setCacheEnabled(bool enabled) {
    g_cacheEnabled = enabled;
    cache().clear();
}
} // namespace inistore_testing

// ---------------------------------------------------------------------------------------

QString ReadFromINI(const QString& strSection, const QString& strkey, const QString& strfullpath,
                    const QString& strDefault) {
    const auto section = lookupName(strSection);
    const auto key = lookupName(strkey);
    if (!section || !key)
        return strDefault;
    const auto doc = load(strfullpath).doc;
    const IniEntry* e = doc->findEntry(*section, *key);
    return e ? QString::fromLatin1(readForm(e->raw)) : strDefault;
}

bool WriteEntriesToINI(const QString& strSection, const IniEntries& entries,
                       const QString& strfullpath) {
    const auto section = writableSection(strSection);
    const auto checked = writableEntries(entries);
    if (!section || !checked)
        return false;
    return rewrite(strfullpath, [&](IniDocument& doc) {
        doc.set(*section, *checked);
        return Change::Write;
    });
}

bool WriteSectionsToINI(const QList<QPair<QString, IniEntries>>& records,
                        const QString& strfullpath) {
    bool allWritable = true;
    const bool written = rewrite(strfullpath, [&](IniDocument& doc) {
        for (const auto& [name, entries] : records) {
            const auto section = writableSection(name);
            const auto checked = writableEntries(entries);
            // A record that cannot be written whole is left out; the others still go in.
            if (!section || !checked) {
                allWritable = false;
                continue;
            }
            doc.set(*section, *checked);
        }
        return Change::Write;
    });
    return written && allWritable;
}

bool WriteToINI(const QString& strSection, const QString& strkey, const QString& strkeyvalue,
                const QString& strfullpath) {
    return WriteEntriesToINI(strSection, {{strkey, strkeyvalue}}, strfullpath);
}

void LoadIniSectionsLB(QStringList& lstB, const QString& strfullpath) {
    const auto doc = load(strfullpath).doc;
    for (const IniSection& s : doc->sections()) {
        if (!s.name.isEmpty())
            lstB.append(QString::fromLatin1(s.name));
    }
}

int GetSectionKeyCount(const QString& strSection, const QString& strfullpath) {
    const auto section = lookupName(strSection);
    if (!section)
        return 0;
    const auto doc = load(strfullpath).doc;
    const IniSection* s = doc->find(*section);
    return s ? int(s->entries.size()) : 0;
}

bool DeleteIniSection(const QString& strSection, const QString& strfullpath) {
    const auto section = lookupName(strSection);
    if (!section)
        return false;
    return rewrite(strfullpath, [&](IniDocument& doc) {
        return doc.removeSection(*section) ? Change::Write : Change::Keep;
    });
}

bool DeleteIniKey(const QString& strSection, const QString& strKeyname,
                  const QString& strfullpath) {
    const auto section = lookupName(strSection);
    const auto key = lookupName(strKeyname);
    if (!section || !key)
        return false;
    return rewrite(strfullpath, [&](IniDocument& doc) {
        return doc.removeKey(*section, *key) ? Change::Write : Change::Keep;
    });
}

bool CheckIfIniKeyExists(const QString& strSection, const QString& strKeyname,
                         const QString& strfullpath) {
    const auto section = lookupName(strSection);
    const auto key = lookupName(strKeyname);
    if (!section || !key)
        return false;
    return load(strfullpath).doc->findEntry(*section, *key) != nullptr;
}

bool CheckIfIniSectionExists(const QString& strSection, const QString& strfullpath) {
    return GetSectionKeyCount(strSection, strfullpath) > 0;
}

qint32 GetLongFromINI(const QString& strSection, const QString& strKeyname,
                      const QString& strfullpath, qint32 lngDefault) {
    const auto section = lookupName(strSection);
    const auto key = lookupName(strKeyname);
    if (!section || !key)
        return lngDefault;
    const auto doc = load(strfullpath).doc;
    const IniEntry* e = doc->findEntry(*section, *key);
    return e ? ParseLong(QString::fromLatin1(readForm(e->raw)), lngDefault) : lngDefault;
}

bool RenameIniKey(const QString& strSection, const QString& strKeyname,
                  const QString& strNewKeyname, const QString& strfullpath) {
    const auto section = writableSection(strSection);
    const auto key = lookupName(strKeyname);
    const auto newKey = writableKey(strNewKeyname);
    if (!section || !key || !newKey)
        return false;
    return rewrite(strfullpath, [&](IniDocument& doc) {
        const IniEntry* e = doc.findEntry(*section, *key);
        if (!e)
            return Change::Fail;
        const QByteArray value = readForm(e->raw);
        doc.set(*section, {{*newKey, value}});
        // A new name that differs only in case is the same key: rewritten, not deleted.
        if (FoldName(*key) != *newKey)
            doc.removeKey(*section, *key);
        return Change::Write;
    });
}

bool RenameIniSection(const QString& strSection, const QString& strNewSection,
                      const QString& strfullpath) {
    const auto section = lookupName(strSection);
    const auto newSection = writableSection(strNewSection);
    if (!section || !newSection)
        return false;
    return rewrite(strfullpath, [&](IniDocument& doc) {
        const IniSection* s = doc.find(*section);
        if (!s)
            return Change::Fail;
        if (FoldName(*section) == FoldName(*newSection)) {
            doc.renameHeader(*section, *newSection); // same section; only its spelling changes
            return Change::Write;
        }
        // Split at the first '=' only, so that a value holding '=' is copied whole.
        IniKeyValues entries;
        for (const IniEntry& e : s->entries)
            entries.append({FoldName(e.key), e.raw});
        doc.set(*newSection, entries);
        doc.removeSection(*section);
        return Change::Write;
    });
}

void LoadIniSectionKeysLB(const QString& strSection, QStringList& lstB,
                          const QString& strfullpath) {
    const auto section = lookupName(strSection);
    if (!section)
        return;
    const auto doc = load(strfullpath).doc;
    const IniSection* s = doc->find(*section);
    if (!s)
        return;
    for (const IniEntry& e : s->entries)
        lstB.append(QString::fromLatin1(e.key));
}

bool CreateEmptyIniFile(const QString& strfullpath) {
    return hookAllows(inistore_testing::WriteStage::Begun) &&
           commit(strfullpath, QByteArray(), nullptr);
}

} // namespace db
