#pragma once
// The parsed form of an INI file, used by the store only. Every line keeps its own bytes and
// its own line end, so a rewrite changes only the lines it means to change. Each section owns
// its lines, so that adding a key or a section touches that section alone: a whole operation
// costs time linear in the file, however many keys it writes.
#include <QByteArray>
#include <QHash>
#include <QList>
#include <QPair>

namespace db {

// Latin-1 upper case, the form names are compared in.
QByteArray FoldName(const QByteArray& name);
QByteArray TrimBlanks(const QByteArray& s);

struct IniLine {
    QByteArray text; // without line end
    QByteArray eol;  // "\r\n", "\n", "\r", or "" for a last line without one
};

struct IniEntry {
    int line;       // in the section's own lines
    QByteArray key; // trimmed, as in the file
    QByteArray raw; // everything after the first '='
};

struct IniSection {
    QByteArray name;      // trimmed; empty for a "[]" line, which is never listed or found
    QList<IniLine> lines; // the section line first, then everything up to the next one
    QList<IniEntry> entries;
    QHash<QByteArray, int> keys; // folded key -> first entry with it
};

using IniKeyValues = QList<QPair<QByteArray, QByteArray>>; // keys in upper case

class IniDocument {
public:
    void parse(const QByteArray& bytes);
    QByteArray serialize() const;

    const IniSection* find(const QByteArray& name) const;
    const IniEntry* findEntry(const QByteArray& section, const QByteArray& key) const;
    const QList<IniSection>& sections() const { return m_sections; }

    // Replaces existing keys in place, appends the others after the section's last entry,
    // and appends the section at the end when it is missing.
    void set(const QByteArray& section, const IniKeyValues& entries);
    bool removeKey(const QByteArray& section, const QByteArray& key);
    // Every section of that name goes, so that it reads as missing afterwards.
    bool removeSection(const QByteArray& section);
    // Same name in another spelling.
    void renameHeader(const QByteArray& section, const QByteArray& newName);

private:
    IniLine* lastLine();
    void rebuildIndex();

    QByteArray m_bom;          // a UTF-8 byte-order mark the file started with, kept
    QList<IniLine> m_preamble; // lines before the first section
    QList<IniSection> m_sections;
    QHash<QByteArray, int> m_index; // folded name -> first section with it
};

} // namespace db
