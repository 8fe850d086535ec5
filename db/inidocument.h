#pragma once
// The parsed form of an INI file, used by the store only. Each section keeps its own bytes,
// every line with its own line end, so a rewrite changes only the lines it means to change,
// and a file of thousands of sections costs one block of memory per section, not several per
// line. An entry is found by walking the lines of its section alone.
#include <QByteArray>
#include <QHash>
#include <QList>
#include <QPair>

#include <optional>

namespace db {

// Latin-1 upper case, the form names are compared in.
QByteArray FoldName(const QByteArray& name);
QByteArray TrimBlanks(const QByteArray& s);

struct IniSection {
    QByteArray name; // trimmed; empty for a "[]" line, which is never listed or found
    QByteArray text; // the section line and every line up to the next one, with their ends
};

struct IniEntry {
    QByteArray key; // trimmed, as in the file
    QByteArray raw; // everything after the first '='
};

using IniKeyValues = QList<QPair<QByteArray, QByteArray>>; // keys in upper case

class IniDocument {
public:
    void parse(const QByteArray& bytes);
    QByteArray serialize() const;

    const IniSection* find(const QByteArray& name) const;
    // The raw value of the section's first entry of that key.
    std::optional<QByteArray> value(const QByteArray& section, const QByteArray& key) const;
    const QList<IniSection>& sections() const { return m_sections; }
    // The entries of a section, in file order.
    static QList<IniEntry> entries(const IniSection& section);

    // Replaces existing keys in place, appends the others after the section's last entry,
    // and appends the section at the end when it is missing.
    void set(const QByteArray& section, const IniKeyValues& entries);
    bool removeKey(const QByteArray& section, const QByteArray& key);
    // Every section of that name goes, so that it reads as missing afterwards.
    bool removeSection(const QByteArray& section);
    // Same name in another spelling.
    void renameHeader(const QByteArray& section, const QByteArray& newName);

private:
    void rebuildIndex();

    QByteArray m_bom;      // a UTF-8 byte-order mark the file started with, kept
    QByteArray m_preamble; // lines before the first section
    QList<IniSection> m_sections;
    QHash<QByteArray, int> m_index; // folded name -> first section with it
};

} // namespace db
