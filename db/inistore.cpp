#include "db/inistore.h"

#include "db/inidocument.h"
#include "db/inifile.h"
#include "db/sharedfunctions.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <memory>
#include <optional>
#include <sys/stat.h>
#include <sys/statvfs.h>

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

// Without the blanks around it, and without a pair of matching quotation marks, single or
// double, that encloses it.
QByteArray readForm(const QByteArray& raw) {
    QByteArray v = TrimBlanks(raw);
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        v = v.mid(1, v.size() - 2);
    return v;
}

// What a change made of the parsed file: write it, leave the file as it is, or fail.
enum class Change { Write, Keep, Fail };

// One operation: the file read once (or its parsed copy), changed, written once.
template <typename F> bool rewrite(const QString& path, F&& change) {
    if (!WriteStageAllowed(inistore_testing::WriteStage::Begun))
        return false;
    const LoadedIniFile loaded = LoadIniFile(path);
    if (loaded.state == IniFileState::Unusable)
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
    return ReplaceIniFile(path, bytes, std::move(doc));
}

} // namespace

// ---------------------------------------------------------------------------------------

IniReader::IniReader(const QString& path) : m_doc(LoadIniFile(path).doc) {}

QStringList IniReader::sectionNames() const {
    QStringList names;
    names.reserve(m_doc->sections().size());
    for (const IniSection& s : m_doc->sections()) {
        if (!s.name.isEmpty())
            names.append(QString::fromLatin1(s.name));
    }
    return names;
}

std::optional<QString> IniReader::value(const QString& section, const QString& key) const {
    const auto s = lookupName(section);
    const auto k = lookupName(key);
    if (!s || !k)
        return std::nullopt;
    const std::optional<QByteArray> raw = m_doc->value(*s, *k);
    if (!raw)
        return std::nullopt;
    return QString::fromLatin1(readForm(*raw));
}

QString IniReader::read(const QString& section, const QString& key,
                        const QString& defaultValue) const {
    return value(section, key).value_or(defaultValue);
}

QString ReadFromINI(const QString& strSection, const QString& strkey, const QString& strfullpath,
                    const QString& strDefault) {
    return IniReader(strfullpath).read(strSection, strkey, strDefault);
}

bool writeEntries(const QString& sectionName, const IniEntries& entries, const QString& path) {
    const auto section = writableSection(sectionName);
    const auto checked = writableEntries(entries);
    if (!section || !checked)
        return false;
    return rewrite(path, [&](IniDocument& doc) {
        doc.set(*section, *checked);
        return Change::Write;
    });
}

bool writeSections(const QList<QPair<QString, IniEntries>>& records, const QString& path) {
    bool allWritable = true;
    const bool written = rewrite(path, [&](IniDocument& doc) {
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
    return writeEntries(strSection, {{strkey, strkeyvalue}}, strfullpath);
}

void LoadIniSectionsLB(QStringList& lstB, const QString& strfullpath) {
    lstB.append(IniReader(strfullpath).sectionNames());
}

int GetSectionKeyCount(const QString& strSection, const QString& strfullpath) {
    const auto section = lookupName(strSection);
    if (!section)
        return 0;
    const auto doc = LoadIniFile(strfullpath).doc;
    const IniSection* s = doc->find(*section);
    return s ? int(IniDocument::entries(*s).size()) : 0;
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
    return IniReader(strfullpath).value(strSection, strKeyname).has_value();
}

bool CheckIfIniSectionExists(const QString& strSection, const QString& strfullpath) {
    return GetSectionKeyCount(strSection, strfullpath) > 0;
}

qint32 GetLongFromINI(const QString& strSection, const QString& strKeyname,
                      const QString& strfullpath, qint32 lngDefault) {
    const std::optional<QString> value = IniReader(strfullpath).value(strSection, strKeyname);
    return value ? parseLong(*value, lngDefault) : lngDefault;
}

bool RenameIniKey(const QString& strSection, const QString& strKeyname,
                  const QString& strNewKeyname, const QString& strfullpath) {
    const auto section = writableSection(strSection);
    const auto key = lookupName(strKeyname);
    const auto newKey = writableKey(strNewKeyname);
    if (!section || !key || !newKey)
        return false;
    return rewrite(strfullpath, [&](IniDocument& doc) {
        const std::optional<QByteArray> raw = doc.value(*section, *key);
        if (!raw)
            return Change::Fail;
        doc.set(*section, {{*newKey, readForm(*raw)}});
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
        for (const IniEntry& e : IniDocument::entries(*s))
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
    const auto doc = LoadIniFile(strfullpath).doc;
    const IniSection* s = doc->find(*section);
    if (!s)
        return;
    for (const IniEntry& e : IniDocument::entries(*s))
        lstB.append(QString::fromLatin1(e.key));
}

bool createEmptyIniFile(const QString& path) {
    // An empty file fits on a full disk, but no answer could be stored in it afterwards: keep
    // the old database unless there is room for one as large again.
    const QByteArray native = QFile::encodeName(path);
    struct stat st {};
    const bool exists = ::stat(native.constData(), &st) == 0;
    const off_t old = exists ? st.st_size : 0;
    const QByteArray probe = exists ? native : QFile::encodeName(QFileInfo(path).absolutePath());
    struct statvfs fs {};
    if (::statvfs(probe.constData(), &fs) == 0 &&
        off_t(fs.f_bavail) * off_t(fs.f_frsize) < std::max<off_t>(old, 4096))
        return false;
    return WriteStageAllowed(inistore_testing::WriteStage::Begun) &&
           ReplaceIniFile(path, QByteArray(), nullptr);
}

} // namespace db
