#include "db/inidocument.h"

#include "db/sharedfunctions.h"

#include <array>

namespace db {

namespace {

const QByteArray kCrLf("\r\n");
const QByteArray kLf("\n");
const QByteArray kCr("\r");
const QByteArray kUtf8Bom("\xEF\xBB\xBF");

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

// The first character that is not a blank, or NUL.
char firstNonBlank(const QByteArray& text) {
    for (char c : text) {
        if (!isBlank(c))
            return c;
    }
    return 0;
}

void indexEntries(IniSection& s) {
    s.entries.clear();
    s.keys.clear();
    for (int i = 1; i < s.lines.size(); ++i) {
        const QByteArray& text = s.lines[i].text;
        const qsizetype eq = text.indexOf('=');
        if (eq < 0 || firstNonBlank(text) == ';')
            continue;
        qsizetype b = 0;
        qsizetype e = eq;
        while (b < e && isBlank(text[b]))
            ++b;
        while (e > b && isBlank(text[e - 1]))
            --e;
        if (b == e)
            continue;
        const QByteArray key = text.mid(b, e - b);
        s.entries.append({i, key, text.mid(eq + 1)});
        const QByteArray f = FoldName(key);
        if (!s.keys.contains(f))
            s.keys.insert(f, int(s.entries.size() - 1));
    }
}

} // namespace

QByteArray FoldName(const QByteArray& name) {
    static const std::array<uchar, 256> table = [] {
        std::array<uchar, 256> t{};
        for (int i = 0; i < 256; ++i)
            t[i] = uchar(upperLatin1(char16_t(i)));
        return t;
    }();
    QByteArray out = name;
    for (char& c : out)
        c = char(table[uchar(c)]);
    return out;
}

QByteArray TrimBlanks(const QByteArray& s) {
    qsizetype b = 0;
    qsizetype e = s.size();
    while (b < e && isBlank(s[b]))
        ++b;
    while (e > b && isBlank(s[e - 1]))
        --e;
    return s.mid(b, e - b);
}

void IniDocument::parse(const QByteArray& bytes) {
    m_bom.clear();
    m_preamble.clear();
    m_sections.clear();
    qsizetype pos = 0;
    if (bytes.startsWith(kUtf8Bom)) {
        m_bom = kUtf8Bom;
        pos = kUtf8Bom.size();
    }
    const char* d = bytes.constData();
    const qsizetype n = bytes.size();
    while (pos < n) {
        // CR LF, LF and a lone CR each end a line.
        qsizetype end = pos;
        while (end < n && d[end] != '\n' && d[end] != '\r')
            ++end;
        IniLine l{bytes.mid(pos, end - pos), QByteArray()};
        if (end == n) {
            pos = n;
        } else if (d[end] == '\r' && end + 1 < n && d[end + 1] == '\n') {
            l.eol = kCrLf;
            pos = end + 2;
        } else {
            l.eol = d[end] == '\r' ? kCr : kLf;
            pos = end + 1;
        }
        if (firstNonBlank(l.text) == '[') {
            const QByteArray t = TrimBlanks(l.text);
            qsizetype close = t.indexOf(']');
            if (close < 0)
                close = t.size();
            m_sections.append({TrimBlanks(t.mid(1, close - 1)), {l}, {}, {}});
        } else if (m_sections.isEmpty()) {
            m_preamble.append(l);
        } else {
            m_sections.last().lines.append(l);
        }
    }
    for (IniSection& s : m_sections)
        indexEntries(s);
    rebuildIndex();
}

QByteArray IniDocument::serialize() const {
    qsizetype n = m_bom.size();
    for (const IniLine& l : m_preamble)
        n += l.text.size() + l.eol.size();
    for (const IniSection& s : m_sections) {
        for (const IniLine& l : s.lines)
            n += l.text.size() + l.eol.size();
    }
    QByteArray out;
    out.reserve(n);
    out += m_bom;
    for (const IniLine& l : m_preamble)
        out.append(l.text).append(l.eol);
    for (const IniSection& s : m_sections) {
        for (const IniLine& l : s.lines)
            out.append(l.text).append(l.eol);
    }
    return out;
}

const IniSection* IniDocument::find(const QByteArray& name) const {
    const auto it = m_index.constFind(FoldName(name));
    return it == m_index.constEnd() ? nullptr : &m_sections[*it];
}

const IniEntry* IniDocument::findEntry(const QByteArray& section, const QByteArray& key) const {
    const IniSection* s = find(section);
    if (!s)
        return nullptr;
    const auto it = s->keys.constFind(FoldName(key));
    return it == s->keys.constEnd() ? nullptr : &s->entries[*it];
}

void IniDocument::set(const QByteArray& section, const IniKeyValues& entries) {
    const QByteArray folded = FoldName(section);
    auto found = m_index.constFind(folded);
    int si = 0;
    if (found != m_index.constEnd()) {
        si = *found;
    } else {
        if (IniLine* last = lastLine(); last && last->eol.isEmpty())
            last->eol = kCrLf;
        m_sections.append({section, {{'[' + section + ']', kCrLf}}, {}, {}});
        si = int(m_sections.size() - 1);
        m_index.insert(folded, si);
    }
    IniSection& s = m_sections[si];
    for (const auto& [key, value] : entries) {
        const QByteArray text = key + '=' + value;
        if (const auto it = s.keys.constFind(key); it != s.keys.constEnd()) {
            IniEntry& e = s.entries[*it];
            s.lines[e.line] = {text, kCrLf};
            e.key = key;
            e.raw = value;
            continue;
        }
        // After the last entry, so that blank lines or comments before the next section
        // stay where they are. No entry lies behind it, so no index moves.
        const int after = s.entries.isEmpty() ? 0 : s.entries.last().line;
        if (s.lines[after].eol.isEmpty())
            s.lines[after].eol = kCrLf;
        s.lines.insert(after + 1, {text, kCrLf});
        s.entries.append({after + 1, key, value});
        s.keys.insert(key, int(s.entries.size() - 1));
    }
}

bool IniDocument::removeKey(const QByteArray& section, const QByteArray& key) {
    const auto found = m_index.constFind(FoldName(section));
    if (found == m_index.constEnd())
        return false;
    IniSection& s = m_sections[*found];
    const QByteArray k = FoldName(key);
    bool dropped = false;
    for (qsizetype i = s.entries.size() - 1; i >= 0; --i) {
        if (FoldName(s.entries[i].key) == k) {
            s.lines.removeAt(s.entries[i].line);
            dropped = true;
        }
    }
    if (dropped)
        indexEntries(s);
    return dropped;
}

bool IniDocument::removeSection(const QByteArray& section) {
    const QByteArray f = FoldName(section);
    const qsizetype removed = m_sections.removeIf(
        [&](const IniSection& s) { return !s.name.isEmpty() && FoldName(s.name) == f; });
    if (removed)
        rebuildIndex();
    return removed > 0;
}

void IniDocument::renameHeader(const QByteArray& section, const QByteArray& newName) {
    const auto found = m_index.constFind(FoldName(section));
    if (found == m_index.constEnd())
        return;
    IniSection& s = m_sections[*found];
    s.name = newName;
    s.lines[0].text = '[' + newName + ']';
    if (s.lines[0].eol.isEmpty())
        s.lines[0].eol = kCrLf;
}

IniLine* IniDocument::lastLine() {
    if (!m_sections.isEmpty())
        return &m_sections.last().lines.last();
    return m_preamble.isEmpty() ? nullptr : &m_preamble.last();
}

void IniDocument::rebuildIndex() {
    m_index.clear();
    for (int i = 0; i < m_sections.size(); ++i) {
        if (m_sections[i].name.isEmpty())
            continue;
        const QByteArray f = FoldName(m_sections[i].name);
        if (!m_index.contains(f)) // the first of names differing in case wins
            m_index.insert(f, i);
    }
}

} // namespace db
