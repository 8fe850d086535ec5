#include "db/inidocument.h"

#include "db/sharedfunctions.h"

#include <array>
#include <cstring>

namespace db {

namespace {

const QByteArray kCrLf("\r\n");
const QByteArray kUtf8Bom("\xEF\xBB\xBF");

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

char fold(char c) {
    static const std::array<uchar, 256> table = [] {
        std::array<uchar, 256> t{};
        for (int i = 0; i < 256; ++i)
            t[i] = uchar(upperLatin1(char16_t(i)));
        return t;
    }();
    return char(table[uchar(c)]);
}

// One line of a block of text: the line is [begin, end), its line end [end, next).
struct Line {
    qsizetype begin = 0;
    qsizetype end = 0;
    qsizetype next = 0;
    bool hasEnd() const { return next > end; }
};

// The line that starts at pos. CR LF, LF and a lone CR each end a line.
Line lineAt(const QByteArray& text, qsizetype pos) {
    const char* d = text.constData();
    const qsizetype n = text.size();
    qsizetype end = pos;
    while (end < n && d[end] != '\n' && d[end] != '\r')
        ++end;
    qsizetype next = end;
    if (end < n)
        next = d[end] == '\r' && end + 1 < n && d[end + 1] == '\n' ? end + 2 : end + 1;
    return {pos, end, next};
}

// The first character of the line that is not a blank, or NUL.
char firstNonBlank(const QByteArray& text, const Line& l) {
    for (qsizetype i = l.begin; i < l.end; ++i) {
        if (!isBlank(text[i]))
            return text[i];
    }
    return 0;
}

// A line that holds an entry: a key (trimmed, not empty) before its first '=', and no comment.
struct EntryLine {
    Line line;
    qsizetype keyBegin;
    qsizetype keyEnd;
    qsizetype equals;
};

std::optional<EntryLine> entryAt(const QByteArray& text, const Line& l) {
    const char* d = text.constData();
    const void* eq = std::memchr(d + l.begin, '=', size_t(l.end - l.begin));
    if (!eq || firstNonBlank(text, l) == ';')
        return std::nullopt;
    const qsizetype equals = static_cast<const char*>(eq) - d;
    qsizetype b = l.begin;
    qsizetype e = equals;
    while (b < e && isBlank(d[b]))
        ++b;
    while (e > b && isBlank(d[e - 1]))
        --e;
    if (b == e)
        return std::nullopt;
    return EntryLine{l, b, e, equals};
}

// Calls visit for each entry of a section, in order, until it returns false.
template <typename F> void forEachEntry(const QByteArray& text, F&& visit) {
    Line l = lineAt(text, 0); // the section line
    while (l.next < text.size()) {
        l = lineAt(text, l.next);
        if (const auto e = entryAt(text, l); e && !visit(*e))
            return;
    }
}

bool keyIs(const QByteArray& text, const EntryLine& e, const QByteArray& folded) {
    if (e.keyEnd - e.keyBegin != folded.size())
        return false;
    for (qsizetype i = 0; i < folded.size(); ++i) {
        if (fold(text[e.keyBegin + i]) != folded[i])
            return false;
    }
    return true;
}

QByteArray rawValue(const QByteArray& text, const EntryLine& e) {
    return text.mid(e.equals + 1, e.line.end - e.equals - 1);
}

} // namespace

QByteArray FoldName(const QByteArray& name) {
    QByteArray out = name;
    for (char& c : out)
        c = fold(c);
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
    qsizetype blockStart = pos; // of the preamble, then of each section
    QByteArray name;
    bool inSection = false;
    const auto endBlock = [&](qsizetype end) {
        const QByteArray block = bytes.mid(blockStart, end - blockStart);
        if (inSection)
            m_sections.append({name, block});
        else
            m_preamble = block;
    };
    while (pos < bytes.size()) {
        const Line l = lineAt(bytes, pos);
        if (firstNonBlank(bytes, l) == '[') {
            endBlock(l.begin);
            inSection = true;
            blockStart = l.begin;
            const QByteArray t = TrimBlanks(bytes.mid(l.begin, l.end - l.begin));
            qsizetype close = t.indexOf(']');
            if (close < 0)
                close = t.size();
            name = TrimBlanks(t.mid(1, close - 1));
        }
        pos = l.next;
    }
    endBlock(bytes.size());
    rebuildIndex();
}

QByteArray IniDocument::serialize() const {
    qsizetype n = m_bom.size() + m_preamble.size();
    for (const IniSection& s : m_sections)
        n += s.text.size();
    QByteArray out;
    out.reserve(n);
    out.append(m_bom).append(m_preamble);
    for (const IniSection& s : m_sections)
        out.append(s.text);
    return out;
}

const IniSection* IniDocument::find(const QByteArray& name) const {
    const auto it = m_index.constFind(FoldName(name));
    return it == m_index.constEnd() ? nullptr : &m_sections[*it];
}

std::optional<QByteArray> IniDocument::value(const QByteArray& section,
                                             const QByteArray& key) const {
    const IniSection* s = find(section);
    if (!s)
        return std::nullopt;
    const QByteArray folded = FoldName(key);
    std::optional<QByteArray> found;
    forEachEntry(s->text, [&](const EntryLine& e) {
        if (keyIs(s->text, e, folded))
            found = rawValue(s->text, e);
        return !found;
    });
    return found;
}

QList<IniEntry> IniDocument::entries(const IniSection& section) {
    QList<IniEntry> out;
    forEachEntry(section.text, [&](const EntryLine& e) {
        out.append(
            {section.text.mid(e.keyBegin, e.keyEnd - e.keyBegin), rawValue(section.text, e)});
        return true;
    });
    return out;
}

void IniDocument::set(const QByteArray& section, const IniKeyValues& entries) {
    const QByteArray folded = FoldName(section);
    const auto found = m_index.constFind(folded);
    int si = 0;
    if (found != m_index.constEnd()) {
        si = *found;
    } else {
        // The new section line goes behind the file's last line, which needs an end.
        QByteArray& last = m_sections.isEmpty() ? m_preamble : m_sections.last().text;
        if (!last.isEmpty() && !last.endsWith('\n') && !last.endsWith('\r'))
            last.append(kCrLf);
        m_sections.append({section, '[' + section + ']' + kCrLf});
        si = int(m_sections.size() - 1);
        m_index.insert(folded, si);
    }
    QByteArray& text = m_sections[si].text;
    for (const auto& entry : entries) {
        const QByteArray& key = entry.first; // named apart: a lambda below uses it
        const QByteArray line = key + '=' + entry.second + kCrLf;
        std::optional<Line> same;
        Line last = lineAt(text, 0);
        forEachEntry(text, [&](const EntryLine& e) {
            if (keyIs(text, e, key))
                same = e.line;
            last = e.line;
            return !same;
        });
        if (same) {
            text.replace(same->begin, same->next - same->begin, line);
            continue;
        }
        // After the last entry, so that blank lines or comments before the next section
        // stay where they are.
        qsizetype at = last.next;
        if (!last.hasEnd()) {
            text.insert(at, kCrLf);
            at += kCrLf.size();
        }
        text.insert(at, line);
    }
}

bool IniDocument::removeKey(const QByteArray& section, const QByteArray& key) {
    const auto found = m_index.constFind(FoldName(section));
    if (found == m_index.constEnd())
        return false;
    QByteArray& text = m_sections[*found].text;
    const QByteArray folded = FoldName(key);
    QList<Line> dropped;
    forEachEntry(text, [&](const EntryLine& e) {
        if (keyIs(text, e, folded))
            dropped.append(e.line);
        return true;
    });
    for (qsizetype i = dropped.size() - 1; i >= 0; --i)
        text.remove(dropped[i].begin, dropped[i].next - dropped[i].begin);
    return !dropped.isEmpty();
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
    const Line header = lineAt(s.text, 0);
    s.name = newName;
    s.text = '[' + newName + ']' + (header.hasEnd() ? s.text.mid(header.end) : kCrLf);
}

void IniDocument::rebuildIndex() {
    m_index.clear();
    m_index.reserve(m_sections.size());
    for (int i = 0; i < m_sections.size(); ++i) {
        if (m_sections[i].name.isEmpty())
            continue;
        const QByteArray f = FoldName(m_sections[i].name);
        if (!m_index.contains(f)) // the first of names differing in case wins
            m_index.insert(f, i);
    }
}

} // namespace db
