#pragma once
// A neighbour table held in a map; counts lookups; installs itself while it lives.
#include "platform/neighbourtable.h"

#include <QHash>
#include <QList>

namespace platform {

class FakeNeighbourTable : public NeighbourTable {
public:
    FakeNeighbourTable() { setNeighbourTable(this); }
    ~FakeNeighbourTable() override {
        if (&neighbourTable() == this)
            setNeighbourTable(nullptr);
    }
    FakeNeighbourTable(const FakeNeighbourTable&) = delete;
    FakeNeighbourTable& operator=(const FakeNeighbourTable&) = delete;

    std::optional<QByteArray> resolve(quint32 address) override {
        ++calls;
        asked.append(address);
        // An entry may appear only after some lookups, as a real one does.
        if (answerAfterCalls > 0 && calls < answerAfterCalls)
            return std::nullopt;
        const auto it = entries.constFind(address);
        if (it == entries.constEnd())
            return std::nullopt;
        return *it;
    }

    // address in host byte order -> raw hardware bytes
    void add(quint32 address, const QByteArray& hardware) { entries.insert(address, hardware); }

    QHash<quint32, QByteArray> entries;
    int answerAfterCalls = 0; // 0: answer at once
    int calls = 0;
    QList<quint32> asked;
};

} // namespace platform
