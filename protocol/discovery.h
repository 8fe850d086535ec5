#pragma once
// One discovery: the emptied database, the paging broadcast, the collection window during
// which every feedback is a discovery answer, and the return to normal when it closes.
#include "db/inistore.h"

#include <QObject>

namespace protocol {

class MainEndpoint;

class DiscoverySession : public QObject {
    Q_OBJECT
public:
    explicit DiscoverySession(MainEndpoint& endpoint, QObject* parent = nullptr);

    // True from the broadcast until the window closes (`AutoDiscoverAwaiting`).
    bool AutoDiscoverAwaiting() const { return m_awaiting; }

    // Opening: the empty nms.ini in place of the old one, the saved remote target, the
    // broadcast. False when the empty file could not be put in place (the old one stays and
    // nothing is sent).
    bool begin();
    // The window closed: stores what is still collected, puts the saved target back and
    // asks for the list to be rebuilt.
    void end();

    // A checked answer of this discovery; stored with the other answers of its burst in
    // one file rewrite, right after the burst.
    void collect(const QString& section, const db::IniEntries& record);
    // True once when storing failed since the last call.
    bool takeWriteFailure() { return std::exchange(m_writeFailed, false); }

signals:
    // The broadcast is about to leave: an upload answer awaited until now can no longer come.
    void started();
    void listChanged();

private:
    void flush();

    MainEndpoint& m_endpoint;
    bool m_awaiting = false;
    bool m_writeFailed = false;
    QString m_savedHost;
    quint16 m_savedPort = 0;
    QList<QPair<QString, db::IniEntries>> m_pending;
};

} // namespace protocol
