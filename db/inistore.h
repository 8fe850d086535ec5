#pragma once
// Private-profile store over plain files. Latin-1 bytes, CRLF, case-insensitive names.
// Every write goes to a temporary file in the same directory and is renamed over the
// old one, so the file on disk is always a whole old or a whole new file. A link is
// followed and its target replaced. Something at the path that cannot be read as a regular
// file, or that may not be written, is never replaced: reads give their defaults (or the
// values, when it can be read) and writes fail.
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

namespace db {

using IniEntries = QList<QPair<QString, QString>>; // key, value, in write order

class IniDocument;

// Many reads from one look at the file: what ReadFromINI and LoadIniSectionsLB give, without
// finding the file again for every key.
class IniReader {
public:
    explicit IniReader(const QString& path);
    QStringList sectionNames() const;
    // The value as read (blanks and enclosing quotes gone); nullopt when the entry is missing.
    std::optional<QString> value(const QString& section, const QString& key) const;
    QString read(const QString& section, const QString& key,
                 const QString& defaultValue = QString()) const;

private:
    std::shared_ptr<const IniDocument> m_doc;
};

QString ReadFromINI(const QString& strSection, const QString& strkey, const QString& strfullpath,
                    const QString& strDefault = QString());
bool WriteToINI(const QString& strSection, const QString& strkey, const QString& strkeyvalue,
                const QString& strfullpath);
// Writes several keys of one section in one file rewrite; same bytes as key-by-key writes.
bool writeEntries(const QString& section, const IniEntries& entries, const QString& path);
// Several whole records in one file rewrite, in order; same bytes as writing them one by
// one. False when the file cannot be written or a record was refused (the rest is written).
bool writeSections(const QList<QPair<QString, IniEntries>>& records, const QString& path);
void LoadIniSectionsLB(QStringList& lstB, const QString& strfullpath);
int GetSectionKeyCount(const QString& strSection, const QString& strfullpath);

bool DeleteIniSection(const QString& strSection, const QString& strfullpath);
bool DeleteIniKey(const QString& strSection, const QString& strKeyname, const QString& strfullpath);
bool CheckIfIniKeyExists(const QString& strSection, const QString& strKeyname,
                         const QString& strfullpath);
bool CheckIfIniSectionExists(const QString& strSection, const QString& strfullpath);
qint32 GetLongFromINI(const QString& strSection, const QString& strKeyname,
                      const QString& strfullpath, qint32 lngDefault = 0);
bool RenameIniKey(const QString& strSection, const QString& strKeyname,
                  const QString& strNewKeyname, const QString& strfullpath);
bool RenameIniSection(const QString& strSection, const QString& strNewSection,
                      const QString& strfullpath);
void LoadIniSectionKeysLB(const QString& strSection, QStringList& lstB, const QString& strfullpath);

// Replaces the file by an empty one, atomically (discovery starts from this).
bool createEmptyIniFile(const QString& path);

// Hooks for tests and benchmarks; production code leaves them alone.
namespace inistore_testing {
// Begun: a writing operation starts; DirectorySynced: its file is in place on disk.
enum class WriteStage {
    Begun,
    TempCreated,
    Written,
    Synced,
    BeforeRename,
    Renamed,
    DirectorySynced
};
// Called at each stage of a rewrite; returning false makes that stage fail.
using WriteHook = std::function<bool(WriteStage)>;
void setWriteHook(WriteHook hook);
// Off: every operation parses the file again (the baseline of the benchmarks).
void setCacheEnabled(bool enabled);
} // namespace inistore_testing

} // namespace db
