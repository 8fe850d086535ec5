#include "db/elementstore.h"

#include "db/inistore.h"
#include "db/sharedfunctions.h"

#include <QFileInfo>
#include <QSet>

namespace db {

namespace {

struct Key {
    Field field;
    QString name;
};

const Key kKeys[] = {
    {Field::Name, QStringLiteral("name")},
    {Field::Ip, QStringLiteral("ip")},
    {Field::Mask, QStringLiteral("mask")},
    {Field::Gw, QStringLiteral("gw")},
    {Field::Input, QStringLiteral("input")},
    {Field::Type, QStringLiteral("type")},
    {Field::Tx, QStringLiteral("tx")},
    {Field::Multi, QStringLiteral("multi")},
    {Field::Remote, QStringLiteral("remote")},
    {Field::Role, QStringLiteral("role")},
    {Field::Serial, QStringLiteral("sn")},
    {Field::Version, QStringLiteral("ver")},
    {Field::Sfn, QStringLiteral("sfn")},
    {Field::Buffer, QStringLiteral("buf")},
    {Field::Attenuation, QStringLiteral("att")},
    {Field::SilenceMode, QStringLiteral("sdm")},
    {Field::SilenceLevel, QStringLiteral("sdl")},
    {Field::SilenceTime, QStringLiteral("sdt")},
    {Field::LowLatency, QStringLiteral("llo")},
    {Field::Delay, QStringLiteral("dly")},
    {Field::AutoServo, QStringLiteral("srv")},
};
const QString kBound = QStringLiteral("bound");

const QString& keyOf(Field field) {
    return kKeys[int(field)].name;
}

QString flag(bool on) {
    return on ? QStringLiteral("1") : QStringLiteral("0");
}

QString valueOf(const Element& e, Field field) {
    switch (field) {
    case Field::Name:
        return Format_Name(e.name);
    case Field::Ip:
        return e.ip.canonical();
    case Field::Mask:
        return e.mask.canonical();
    case Field::Gw:
        return e.gw.canonical();
    case Field::Input:
        return QString::number(e.input);
    case Field::Type:
        return QString::number(e.type);
    case Field::Tx:
        return QString::number(e.tx);
    case Field::Multi:
        return e.multi.canonical();
    case Field::Remote:
        return e.remote.canonical();
    case Field::Role:
        return QString::number(roleNumber(e.role));
    case Field::Serial:
        return e.serial;
    case Field::Version:
        return e.version;
    case Field::Sfn:
        return QString::number(e.sfn.value_or(0));
    case Field::Buffer:
        return QString::number(e.buffer);
    case Field::Attenuation:
        return QString::number(e.attenuation);
    case Field::SilenceMode:
        return QString::number(e.silenceMode);
    case Field::SilenceLevel:
        return QString::number(e.silenceLevel);
    case Field::SilenceTime:
        return QString::number(e.silenceTime);
    case Field::LowLatency:
        return QString::number(e.lowLatency);
    case Field::Delay:
        return QString::number(e.delay);
    case Field::AutoServo:
        return flag(e.autoServo);
    }
    return QString();
}

IniEntries entriesOf(const Element& element, const Fields& fields) {
    IniEntries entries;
    entries.reserve(fields.size());
    for (Field f : fields)
        entries.append({keyOf(f), valueOf(element, f)});
    return entries;
}

} // namespace

Fields discoveryFields(const Element& e) {
    Fields f{Field::Name, Field::Ip, Field::Mask, Field::Gw, Field::Input, Field::Type, Field::Tx};
    f << (e.remoteIsMulticast(e.tx) ? Field::Multi : Field::Remote) << Field::Role << Field::Serial
      << Field::Version << Field::Sfn << Field::Buffer;
    if (e.role == Role::Decoder)
        f << Field::Attenuation << Field::SilenceMode << Field::SilenceLevel << Field::SilenceTime;
    return f << Field::LowLatency;
}

bool ElementStore::exists() const {
    return QFileInfo::exists(m_path);
}

int ElementStore::keyCount(const QString& section) const {
    return GetSectionKeyCount(section, m_path);
}

Element ElementStore::load(const QString& section) const {
    const auto text = [&](Field f, const QString& defaultValue = QString()) {
        return ReadFromINI(section, keyOf(f), m_path, defaultValue);
    };
    // A number that is missing or no number is the key's default.
    const auto number = [&](Field f, qint32 defaultValue) {
        return parseLong(text(f), defaultValue);
    };
    Element e;
    e.name = text(Field::Name);
    e.ip = text(Field::Ip);
    e.mask = text(Field::Mask);
    e.gw = text(Field::Gw);
    e.input = number(Field::Input, -1);
    e.type = number(Field::Type, -1);
    e.tx = number(Field::Tx, -1);
    e.multi = text(Field::Multi, kDefaultMulticast);
    e.remote = text(Field::Remote, kDefaultRemote);
    e.role = roleFromNumber(number(Field::Role, -1));
    e.serial = text(Field::Serial);
    e.version = text(Field::Version, kDefaultVersion);
    e.sfn = parseDecimal(text(Field::Sfn, QStringLiteral("0")));
    e.buffer = number(Field::Buffer, 1);
    e.attenuation = number(Field::Attenuation, 0);
    e.silenceMode = number(Field::SilenceMode, 0);
    e.silenceLevel = number(Field::SilenceLevel, 37);
    e.silenceTime = number(Field::SilenceTime, 43);
    e.lowLatency = number(Field::LowLatency, 0);
    e.bound = parseLong(ReadFromINI(section, kBound, m_path), 0);
    e.delay = parseDecimal(text(Field::Delay)).value_or(0);
    e.autoServo = number(Field::AutoServo, 0) == 1;
    return e;
}

std::optional<Ipv4Address> ElementStore::address(const QString& section) const {
    return Ipv4Address::parse(ReadFromINI(section, keyOf(Field::Ip), m_path));
}

bool ElementStore::save(const QString& section, const Element& element,
                        const Fields& fields) const {
    return writeEntries(section, entriesOf(element, fields), m_path);
}

bool ElementStore::saveAll(const QList<ElementRecord>& records) const {
    QList<QPair<QString, IniEntries>> sections;
    sections.reserve(records.size());
    for (const ElementRecord& r : records)
        sections.append({r.section, entriesOf(r.element, r.fields)});
    return writeSections(sections, m_path);
}

bool ElementStore::replaceWithEmpty() const {
    return createEmptyIniFile(m_path);
}

ElementList ElementStore::list() const {
    return BuildElementList(m_path);
}

namespace {

bool isSectionOfMac(const QString& name) {
    if (name.size() != 12)
        return false;
    for (QChar c : name) {
        const char16_t u = c.unicode();
        if (!((u >= '0' && u <= '9') || (u >= 'a' && u <= 'f') || (u >= 'A' && u <= 'F')))
            return false;
    }
    return true;
}

} // namespace

ElementList BuildElementList(const QString& nmsIniPath) {
    ElementList list;
    if (!QFileInfo::exists(nmsIniPath)) {
        list.empty = ElementList::Empty::MissingFile;
        return list;
    }
    // One look at the file for every read: the names and values of this moment, whatever
    // happens to the file meanwhile.
    const IniReader ini(nmsIniPath);
    list.hidden = ini.sectionNames();
    if (list.hidden.isEmpty()) {
        list.empty = ElementList::Empty::NoSections;
        return list;
    }
    list.nodes.reserve(list.hidden.size());
    QSet<QString> seen;
    seen.reserve(list.hidden.size());
    for (const QString& section : std::as_const(list.hidden)) {
        // Only sections named by a MAC make nodes; a name differing only in case is the
        // same section to the store, so it is listed once.
        if (!isSectionOfMac(section))
            continue;
        const QString key = Decode_MAC(section);
        if (seen.contains(key))
            continue;
        seen.insert(key);
        const std::optional<qint64> role = parseDecimal(ini.read(section, keyOf(Field::Role)));
        const QString name = ini.read(section, keyOf(Field::Name));
        ElementNode node{key, name + QStringLiteral(" [") + key + QLatin1Char(']'),
                         role && *role == 1};
        if (node.encoder)
            list.encoders.append(node.text);
        list.nodes.append(node);
    }
    return list;
}

} // namespace db
