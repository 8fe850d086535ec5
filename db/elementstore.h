#pragma once
// The element records of nms.ini: one section per element, named by its MAC. The only place
// that knows the keys; everything else exchanges db::Element values.
#include "db/element.h"
#include "db/elementlist.h"
#include "db/records.h"

#include <QList>

namespace db {

// The values of a record, each stored under its own key.
enum class Field {
    Name,
    Ip,
    Mask,
    Gw,
    Input,
    Type,
    Tx,
    Multi,
    Remote,
    Role,
    Serial,
    Version,
    Sfn,
    Buffer,
    Attenuation,
    SilenceMode,
    SilenceLevel,
    SilenceTime,
    LowLatency,
    Delay,
    AutoServo
};
using Fields = QList<Field>;

// A whole record as discovery writes it, in its order: 14 entries, 18 for a decoder.
Fields discoveryFields(const Element& element);

struct ElementRecord {
    QString section;
    Element element;
    Fields fields;
};

class ElementStore {
public:
    explicit ElementStore(QString path = NmsIniPath()) : m_path(std::move(path)) {}

    const QString& path() const { return m_path; }
    bool exists() const;
    int keyCount(const QString& section) const;
    // Every value, or its default when it is missing or no number.
    Element load(const QString& section) const;
    // The stored "ip", when it is an address (read at the moment of asking).
    std::optional<Ipv4Address> address(const QString& section) const;
    // Writes these fields, in this order, in one rewrite; false when nms.ini could not be
    // written.
    bool save(const QString& section, const Element& element, const Fields& fields) const;
    // Several records in one rewrite, in order.
    bool saveAll(const QList<ElementRecord>& records) const;
    // An empty database in place of the old one, which stays when that is not possible.
    bool replaceWithEmpty() const;
    ElementList list() const;

private:
    QString m_path;
};

// The element selected in the editor: its MAC as shown, its section and the role shown.
struct SelectedElement {
    QString mac;
    QString section;
    Role role = Role::Unknown;

    static SelectedElement of(const QString& mac, Role role) {
        return {mac, Encode_MAC(mac), role};
    }
    // The stored address now: whoever sends to the element reads it at that moment, since an
    // answer or a discovery may have changed it since the element was selected.
    std::optional<Ipv4Address> storedAddress() const { return ElementStore().address(section); }
    bool operator==(const SelectedElement&) const = default;
};

} // namespace db
