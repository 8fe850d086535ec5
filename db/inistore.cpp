#include "db/inistore.h"

#include "db/sharedfunctions.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>

#include <algorithm>
#include <array>
#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace db {

namespace {

// ---------------------------------------------------------------------------------------
// Names and values: Latin-1 bytes, compared without regard to case.

const std::array<uchar, 256>& foldTable() {
    static const std::array<uchar, 256> table = [] {
        std::array<uchar, 256> t{};
        for (int i = 0; i < 256; ++i)
            t[i] = uchar(UpperLatin1(char16_t(i)));
        return t;
    }();
    return table;
}

QByteArray fold(const QByteArray& name) {
    const auto& t = foldTable();
    QByteArray out = name;
    for (char& c : out)
        c = char(t[uchar(c)]);
    return out;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

QByteArray trimBlanks(const QByteArray& s) {
    qsizetype b = 0;
    qsizetype e = s.size();
    while (b < e && isBlank(s[b]))
        ++b;
    while (e > b && isBlank(s[e - 1]))
        --e;
    return s.mid(b, e - b);
}

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
    QByteArray b = trimBlanks(name.toLatin1());
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
    return fold(*b);         // keys stand in upper case
}

std::optional<QByteArray> writableValue(const QString& value) {
    if (hasLineBreakOrNul(value) || !isLatin1(value))
        return std::nullopt;
    return value.toLatin1();
}

QByteArray readForm(const QByteArray& raw) {
    QByteArray v = trimBlanks(raw);
    if (v.size() >= 2 && v.front() == '"' && v.back() == '"')
        v = v.mid(1, v.size() - 2);
    return v;
}

// ---------------------------------------------------------------------------------------
// The parsed file. Every line keeps its own bytes and its own line end, so a rewrite
// changes only the lines it means to change.

struct Line {
    QByteArray text; // without line end
    QByteArray eol;  // "\r\n", "\n", or "" for a last line without one
};

struct Entry {
    int line;
    QByteArray key; // trimmed, as in the file
    QByteArray raw; // everything after the first '='
};

struct Section {
    QByteArray name; // trimmed; empty for a "[]" line, which is never listed or found
    int header;
    int end; // one past the last line of the block
    QList<Entry> entries;
    QHash<QByteArray, int> keys; // folded key -> first entry with it
};

const QByteArray crlf("\r\n");

// The last line of a file may lack its line end, or have only the CR of it.
bool unterminated(const Line& l) {
    return l.eol.isEmpty() || l.eol == "\r";
}

class Document {
public:
    void parse(const QByteArray& bytes) {
        m_lines.clear();
        qsizetype pos = 0;
        while (pos < bytes.size()) {
            const qsizetype nl = bytes.indexOf('\n', pos);
            Line l;
            if (nl < 0) {
                l.text = bytes.mid(pos);
                pos = bytes.size();
                // A file cut between CR and LF: the CR ends the line, it is no part of it.
                if (l.text.endsWith('\r')) {
                    l.text.chop(1);
                    l.eol = QByteArray("\r");
                }
            } else {
                l.text = bytes.mid(pos, nl - pos);
                if (l.text.endsWith('\r')) {
                    l.text.chop(1);
                    l.eol = crlf;
                } else {
                    l.eol = QByteArray("\n");
                }
                pos = nl + 1;
            }
            m_lines.append(l);
        }
        reindex();
    }

    QByteArray serialize() const {
        QByteArray out;
        qsizetype n = 0;
        for (const Line& l : m_lines)
            n += l.text.size() + l.eol.size();
        out.reserve(n);
        for (const Line& l : m_lines) {
            out += l.text;
            out += l.eol;
        }
        return out;
    }

    const Section* find(const QByteArray& name) const {
        const auto it = m_index.constFind(fold(name));
        return it == m_index.constEnd() ? nullptr : &m_sections[*it];
    }

    const Entry* findEntry(const QByteArray& section, const QByteArray& key) const {
        const Section* s = find(section);
        if (!s)
            return nullptr;
        const auto it = s->keys.constFind(fold(key));
        return it == s->keys.constEnd() ? nullptr : &s->entries[*it];
    }

    const QList<Section>& sections() const { return m_sections; }

    // key is already upper case.
    void set(const QByteArray& section, const QByteArray& key, const QByteArray& value) {
        const QByteArray text = key + '=' + value;
        const Section* s = find(section);
        if (!s) {
            terminateLast();
            m_lines.append({'[' + section + ']', crlf});
            m_lines.append({text, crlf});
        } else if (const auto it = s->keys.constFind(key); it != s->keys.constEnd()) {
            // In place: no line moves, so the index stays valid.
            const qsizetype si = s - m_sections.constData();
            const int ei = *it;
            Entry& e = m_sections[si].entries[ei];
            Line& l = m_lines[e.line];
            l.text = text;
            l.eol = crlf;
            e.key = key;
            e.raw = value;
            return;
        } else {
            // After the last entry, so that blank lines or comments before the next
            // section stay where they are.
            const int after = s->entries.isEmpty() ? s->header : s->entries.last().line;
            if (unterminated(m_lines[after]))
                m_lines[after].eol = crlf;
            m_lines.insert(after + 1, {text, crlf});
        }
        reindex();
    }

    bool removeKey(const QByteArray& section, const QByteArray& key) {
        const Section* s = find(section);
        if (!s)
            return false;
        const QByteArray k = fold(key);
        QList<int> drop;
        for (const Entry& e : s->entries) {
            if (fold(e.key) == k)
                drop.append(e.line);
        }
        for (auto it = drop.crbegin(); it != drop.crend(); ++it)
            m_lines.removeAt(*it);
        if (!drop.isEmpty())
            reindex();
        return !drop.isEmpty();
    }

    // Every block of that name goes, so that the section reads as missing afterwards.
    bool removeSection(const QByteArray& section) {
        const QByteArray f = fold(section);
        bool changed = false;
        for (qsizetype i = m_sections.size() - 1; i >= 0; --i) {
            const Section& s = m_sections[i];
            if (!s.name.isEmpty() && fold(s.name) == f) {
                m_lines.remove(s.header, s.end - s.header);
                changed = true;
            }
        }
        if (changed)
            reindex();
        return changed;
    }

    void renameHeader(const QByteArray& section, const QByteArray& newName) {
        const Section* s = find(section);
        if (!s)
            return;
        Line& l = m_lines[s->header];
        l.text = '[' + newName + ']';
        if (unterminated(l))
            l.eol = crlf;
        reindex();
    }

private:
    void terminateLast() {
        if (!m_lines.isEmpty() && unterminated(m_lines.last()))
            m_lines.last().eol = crlf;
    }

    void reindex() {
        m_sections.clear();
        m_index.clear();
        for (int i = 0; i < m_lines.size(); ++i) {
            const QByteArray t = trimBlanks(m_lines[i].text);
            if (t.startsWith('[')) {
                if (!m_sections.isEmpty())
                    m_sections.last().end = i;
                qsizetype close = t.indexOf(']');
                if (close < 0)
                    close = t.size();
                Section s;
                s.name = trimBlanks(t.mid(1, close - 1));
                s.header = i;
                s.end = m_lines.size();
                m_sections.append(s);
                if (!s.name.isEmpty()) {
                    const QByteArray f = fold(s.name);
                    if (!m_index.contains(f)) // the first of names differing in case wins
                        m_index.insert(f, m_sections.size() - 1);
                }
                continue;
            }
            if (m_sections.isEmpty() || t.startsWith(';'))
                continue;
            const qsizetype eq = m_lines[i].text.indexOf('=');
            if (eq < 0)
                continue;
            const QByteArray key = trimBlanks(m_lines[i].text.left(eq));
            if (key.isEmpty())
                continue;
            Section& s = m_sections.last();
            s.entries.append({i, key, m_lines[i].text.mid(eq + 1)});
            const QByteArray f = fold(key);
            if (!s.keys.contains(f))
                s.keys.insert(f, s.entries.size() - 1);
        }
    }

    QList<Line> m_lines;
    QList<Section> m_sections;
    QHash<QByteArray, int> m_index; // folded name -> first section with it
};

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
    std::shared_ptr<const Document> doc;
};

bool g_cacheEnabled = true;
inistore_testing::WriteHook g_writeHook;

QHash<QString, CachedFile>& cache() {
    static QHash<QString, CachedFile> c;
    return c;
}

const std::shared_ptr<const Document>& emptyDocument() {
    static const std::shared_ptr<const Document> d = std::make_shared<Document>();
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

// The document as the file holds it now; exists tells whether there is a file.
std::shared_ptr<const Document> load(const QString& path, bool* exists = nullptr) {
    if (exists)
        *exists = false;
    const QByteArray native = QFile::encodeName(path);
    if (native.isEmpty())
        return emptyDocument();
    struct stat st {};
    if (g_cacheEnabled && ::stat(native.constData(), &st) == 0) {
        const auto it = cache().constFind(path);
        if (it != cache().constEnd() && it->stamp == FileStamp::of(st)) {
            if (exists)
                *exists = true;
            return it->doc;
        }
    }
    const int fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        cache().remove(path);
        return emptyDocument();
    }
    QByteArray bytes;
    const bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && readAll(fd, bytes);
    ::close(fd);
    if (!ok) {
        cache().remove(path);
        return emptyDocument();
    }
    if (exists)
        *exists = true;
    auto doc = std::make_shared<Document>();
    doc->parse(bytes);
    if (g_cacheEnabled)
        cache().insert(path, {FileStamp::of(st), doc});
    return doc;
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

bool commit(const QString& path, const QByteArray& bytes, const Document* parsed) {
    using inistore_testing::WriteStage;
    const QFileInfo info(path);
    const QByteArray native = QFile::encodeName(path);
    if (native.isEmpty())
        return false;
    struct stat old {};
    const bool hadFile = ::stat(native.constData(), &old) == 0;
    if (hadFile && !S_ISREG(old.st_mode))
        return false;
    QByteArray tmpl =
        QFile::encodeName(info.absolutePath() + QStringLiteral("/.") + info.fileName()) +
        ".tmpXXXXXX";
    const int fd = ::mkostemp(tmpl.data(), O_CLOEXEC);
    if (fd < 0)
        return false;
    bool ok = hookAllows(WriteStage::TempCreated);
    ok = ok && ::fchmod(fd, hadFile ? (old.st_mode & 07777) : newFileMode()) == 0;
    ok = ok && writeAll(fd, bytes) && hookAllows(WriteStage::Written);
    ok = ok && ::fsync(fd) == 0 && hookAllows(WriteStage::Synced);
    ok = (::close(fd) == 0) && ok;
    ok = ok && hookAllows(WriteStage::BeforeRename);
    ok = ok && ::rename(tmpl.constData(), native.constData()) == 0;
    if (!ok) {
        ::unlink(tmpl.constData());
        return false;
    }
    hookAllows(WriteStage::Renamed);
    // Make the rename itself durable; the file is complete either way.
    const int dfd = ::open(QFile::encodeName(info.absolutePath()).constData(),
                           O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
    struct stat st {};
    if (g_cacheEnabled && parsed && ::stat(native.constData(), &st) == 0) {
        auto doc = std::make_shared<Document>(*parsed);
        cache().insert(path, {FileStamp::of(st), doc});
    } else {
        cache().remove(path);
    }
    return true;
}

bool commit(const QString& path, const Document& doc) {
    return commit(path, doc.serialize(), &doc);
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
    const auto doc = load(strfullpath);
    const Entry* e = doc->findEntry(*section, *key);
    return e ? QString::fromLatin1(readForm(e->raw)) : strDefault;
}

bool WriteEntriesToINI(const QString& strSection, const IniEntries& entries,
                       const QString& strfullpath) {
    const auto section = writableSection(strSection);
    if (!section)
        return false;
    QList<QPair<QByteArray, QByteArray>> checked;
    for (const auto& [k, v] : entries) {
        const auto key = writableKey(k);
        const auto value = writableValue(v);
        if (!key || !value)
            return false;
        checked.append({*key, *value});
    }
    Document doc = *load(strfullpath);
    for (const auto& [k, v] : checked)
        doc.set(*section, k, v);
    return commit(strfullpath, doc);
}

bool WriteSectionsToINI(const QList<QPair<QString, IniEntries>>& records,
                        const QString& strfullpath) {
    Document doc = *load(strfullpath);
    bool allWritable = true;
    for (const auto& [name, entries] : records) {
        const auto section = writableSection(name);
        QList<QPair<QByteArray, QByteArray>> checked;
        bool writable = section.has_value();
        for (const auto& [k, v] : entries) {
            const auto key = writableKey(k);
            const auto value = writableValue(v);
            if (!key || !value) {
                writable = false;
                break;
            }
            checked.append({*key, *value});
        }
        // A record that cannot be written whole is left out; the others still go in.
        if (!writable) {
            allWritable = false;
            continue;
        }
        for (const auto& [k, v] : checked)
            doc.set(*section, k, v);
    }
    return commit(strfullpath, doc) && allWritable;
}

bool WriteToINI(const QString& strSection, const QString& strkey, const QString& strkeyvalue,
                const QString& strfullpath) {
    return WriteEntriesToINI(strSection, {{strkey, strkeyvalue}}, strfullpath);
}

void LoadIniSectionsLB(QStringList& lstB, const QString& strfullpath) {
    const auto doc = load(strfullpath);
    for (const Section& s : doc->sections()) {
        if (!s.name.isEmpty())
            lstB.append(QString::fromLatin1(s.name));
    }
}

int GetSectionKeyCount(const QString& strSection, const QString& strfullpath) {
    const auto section = lookupName(strSection);
    if (!section)
        return 0;
    const auto doc = load(strfullpath);
    const Section* s = doc->find(*section);
    return s ? int(s->entries.size()) : 0;
}

bool DeleteIniSection(const QString& strSection, const QString& strfullpath) {
    const auto section = lookupName(strSection);
    if (!section)
        return false;
    Document doc = *load(strfullpath);
    if (!doc.removeSection(*section))
        return true; // nothing to remove
    return commit(strfullpath, doc);
}

bool DeleteIniKey(const QString& strSection, const QString& strKeyname,
                  const QString& strfullpath) {
    const auto section = lookupName(strSection);
    const auto key = lookupName(strKeyname);
    if (!section || !key)
        return false;
    Document doc = *load(strfullpath);
    if (!doc.removeKey(*section, *key))
        return true;
    return commit(strfullpath, doc);
}

bool CheckIfIniKeyExists(const QString& strSection, const QString& strKeyname,
                         const QString& strfullpath) {
    const auto section = lookupName(strSection);
    const auto key = lookupName(strKeyname);
    if (!section || !key)
        return false;
    return load(strfullpath)->findEntry(*section, *key) != nullptr;
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
    const auto doc = load(strfullpath);
    const Entry* e = doc->findEntry(*section, *key);
    return e ? ParseLong(QString::fromLatin1(readForm(e->raw)), lngDefault) : lngDefault;
}

bool RenameIniKey(const QString& strSection, const QString& strKeyname,
                  const QString& strNewKeyname, const QString& strfullpath) {
    const auto section = writableSection(strSection);
    const auto key = lookupName(strKeyname);
    const auto newKey = writableKey(strNewKeyname);
    if (!section || !key || !newKey)
        return false;
    Document doc = *load(strfullpath);
    const Entry* e = doc.findEntry(*section, *key);
    if (!e)
        return false;
    const QByteArray value = readForm(e->raw);
    // A new name that differs only in case is the same key: rewrite it, do not delete it.
    if (fold(*key) != *newKey) {
        doc.set(*section, *newKey, value);
        doc.removeKey(*section, *key);
    } else {
        doc.set(*section, *newKey, value);
    }
    return commit(strfullpath, doc);
}

bool RenameIniSection(const QString& strSection, const QString& strNewSection,
                      const QString& strfullpath) {
    const auto section = lookupName(strSection);
    const auto newSection = writableSection(strNewSection);
    if (!section || !newSection)
        return false;
    Document doc = *load(strfullpath);
    const Section* s = doc.find(*section);
    if (!s)
        return false;
    if (fold(*section) == fold(*newSection)) {
        doc.renameHeader(*section, *newSection); // same section; only its spelling changes
        return commit(strfullpath, doc);
    }
    // Split at the first '=' only, so that a value holding '=' is copied whole.
    const QList<Entry> entries = s->entries;
    for (const Entry& e : entries)
        doc.set(*newSection, fold(e.key), e.raw);
    doc.removeSection(*section);
    return commit(strfullpath, doc);
}

void LoadIniSectionKeysLB(const QString& strSection, QStringList& lstB,
                          const QString& strfullpath) {
    const auto section = lookupName(strSection);
    if (!section)
        return;
    const auto doc = load(strfullpath);
    const Section* s = doc->find(*section);
    if (!s)
        return;
    for (const Entry& e : s->entries)
        lstB.append(QString::fromLatin1(e.key));
}

bool CreateEmptyIniFile(const QString& strfullpath) {
    // An empty file fits on a full disk, but no answer could be stored in it afterwards: keep
    // the old database unless there is room for one as large again.
    struct stat st {};
    const off_t old = ::stat(QFile::encodeName(strfullpath).constData(), &st) == 0 ? st.st_size : 0;
    struct statvfs fs {};
    if (::statvfs(QFile::encodeName(QFileInfo(strfullpath).absolutePath()).constData(), &fs) == 0 &&
        off_t(fs.f_bavail) * off_t(fs.f_frsize) < std::max<off_t>(old, 4096))
        return false;
    return commit(strfullpath, QByteArray(), nullptr);
}

} // namespace db
