// libFuzzer entry: the INI store over any file bytes. It lists the sections, reads every key,
// writes one key and reads the file back: the written key reads back, every line it did not
// mean to change keeps its bytes, no section name is cut or invented, no temporary file stays.
#include "db/inistore.h"
#include "db/sharedfunctions.h"
#include "fuzz/invariant.h"

#include <QDir>
#include <QFile>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace {

QByteArray trimmed(QByteArray s) {
    while (!s.isEmpty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove(0, 1);
    while (!s.isEmpty() && (s.back() == ' ' || s.back() == '\t'))
        s.chop(1);
    return s;
}

const QByteArray kBom("\xEF\xBB\xBF");

// The file's lines with their line ends: CR LF, LF and a lone CR each end one. A UTF-8
// byte-order mark at the start is a line of its own here, so that it must stay.
QList<QByteArray> lines(const QByteArray& bytes) {
    QList<QByteArray> out;
    qsizetype pos = 0;
    if (bytes.startsWith(kBom)) {
        out.append(kBom);
        pos = kBom.size();
    }
    while (pos < bytes.size()) {
        qsizetype end = pos;
        while (end < bytes.size() && bytes[end] != '\n' && bytes[end] != '\r')
            ++end;
        if (end < bytes.size())
            end += bytes[end] == '\r' && end + 1 < bytes.size() && bytes[end + 1] == '\n' ? 2 : 1;
        out.append(bytes.mid(pos, end - pos));
        pos = end;
    }
    return out;
}

QByteArray text(QByteArray line) {
    if (line.endsWith('\n'))
        line.chop(1);
    if (line.endsWith('\r'))
        line.chop(1);
    return line;
}

// The names of the section lines as they stand in the file, in order: what the list must
// hold, no more and no less.
QStringList headerNames(const QByteArray& bytes) {
    QStringList names;
    for (const QByteArray& l : lines(bytes)) {
        if (l == kBom)
            continue;
        const QByteArray t = trimmed(text(l));
        if (!t.startsWith('['))
            continue;
        qsizetype close = t.indexOf(']');
        if (close < 0)
            close = t.size();
        const QByteArray name = trimmed(t.mid(1, close - 1));
        if (!name.isEmpty())
            names << QString::fromLatin1(name);
    }
    return names;
}

// A name a caller can pass at all: one line, Latin-1.
bool reachable(const QString& name) {
    return !name.contains(QChar(0)) && !name.contains(QLatin1Char('\r')) &&
           !name.contains(QLatin1Char('\n'));
}

QString dir() {
    static const QString path = [] {
        QByteArray tmpl =
            QByteArray(QDir("/dev/shm").exists() ? "/dev/shm" : "/tmp") + "/kn-fuzz-ini-XXXXXX";
        require(::mkdtemp(tmpl.data()) != nullptr, "temporary directory");
        return QString::fromLatin1(tmpl);
    }();
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray before(reinterpret_cast<const char*>(data), qsizetype(size));
    const QString path = dir() + QStringLiteral("/nms.ini");
    {
        // A new file (a new inode) each time, as a copy from another machine would be: the
        // store's parsed copy is then never mistaken for the new file's.
        QFile f(path + QStringLiteral(".in"));
        require(f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(before) == size &&
                    f.flush() &&
                    ::rename(QFile::encodeName(f.fileName()).constData(),
                             QFile::encodeName(path).constData()) == 0,
                "writing the input file");
    }

    QStringList sections;
    db::LoadIniSectionsLB(sections, path);
    require(sections == headerNames(before), "listed sections are the section lines");

    QString target, key;
    for (const QString& s : sections) {
        QStringList keys;
        db::LoadIniSectionKeysLB(s, keys, path);
        if (reachable(s)) {
            require(db::GetSectionKeyCount(s, path) == keys.size(), "key count");
            if (target.isEmpty() && !s.contains(QLatin1Char(']')))
                target = s;
        }
        for (const QString& k : keys) {
            const QString v = db::ReadFromINI(s, k, path, QStringLiteral("\n"));
            if (reachable(s) && reachable(k)) {
                require(v != QStringLiteral("\n"), "a listed key reads");
                require(db::CheckIfIniKeyExists(s, k, path), "a listed key exists");
                if (target == s && key.isEmpty() && !k.contains(QLatin1Char('=')) &&
                    !k.startsWith(QLatin1Char('[')) && !k.startsWith(QLatin1Char(';')) &&
                    (size & 1))
                    key = k;
            }
        }
    }
    const bool newSection = target.isEmpty();
    if (newSection)
        target = QStringLiteral("0200000000FF");
    if (key.isEmpty())
        key = QStringLiteral("fuzzkey");
    const QString value = QStringLiteral("v ") + QString::number(size);

    const bool written = db::WriteToINI(target, key, value, path);
    QFile f(path);
    require(f.open(QIODevice::ReadOnly), "the file is still there");
    const QByteArray after = f.readAll();
    require(QDir(dir()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot) ==
                QStringList{QStringLiteral("nms.ini")},
            "no temporary file stays");
    if (!written) {
        require(after == before, "a refused write changes nothing");
        return 0;
    }
    require(db::ReadFromINI(target, key, path) == value, "the written key reads back");
    QStringList expected = headerNames(before);
    if (newSection && !expected.contains(target, Qt::CaseInsensitive))
        expected << target;
    QStringList listed;
    db::LoadIniSectionsLB(listed, path);
    require(listed == expected, "no section name cut or invented by the write");

    // Only the written line (and the section line of a new section) may differ; a last
    // line without its line end may get one.
    const QByteArray entry = db::upperLatin1(key).toLatin1() + '=' + value.toLatin1() + "\r\n";
    const QByteArray header = '[' + target.toLatin1() + "]\r\n";
    const QList<QByteArray> b = lines(after);
    auto onlyTheWrite = [&](const QList<QByteArray>& a) {
        qsizetype p = 0;
        while (p < a.size() && p < b.size() && a[p] == b[p])
            ++p;
        qsizetype s = 0;
        while (s < a.size() - p && s < b.size() - p && a[a.size() - 1 - s] == b[b.size() - 1 - s])
            ++s;
        const QList<QByteArray> gone = a.mid(p, a.size() - p - s);
        const QList<QByteArray> added = b.mid(p, b.size() - p - s);
        if (gone.isEmpty())
            return added.isEmpty() || added == QList<QByteArray>{entry} ||
                   added == QList<QByteArray>{header, entry};
        return gone.size() == 1 && text(gone.first()).contains('=') &&
               added == QList<QByteArray>{entry};
    };
    QList<QByteArray> a = lines(before);
    bool kept = onlyTheWrite(a);
    if (!kept && !a.isEmpty() && !a.last().endsWith('\n') && !a.last().endsWith('\r')) {
        a.last() += "\r\n";
        kept = onlyTheWrite(a);
    }
    require(kept, "every line the write did not mean to change keeps its bytes");
    return 0;
}
