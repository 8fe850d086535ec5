#pragma once
// The boxes of the receive path, one at a time and in the order their causes arrived. A
// handler posts and returns at once, so nothing that stores or reads waits for a user.
#include "platform/messagebox.h"

#include <QObject>
#include <QQueue>
#include <functional>

namespace protocol {

class NoticeQueue : public QObject {
    Q_OBJECT
public:
    explicit NoticeQueue(QObject* parent = nullptr);

    // A message box. One with the same text that is waiting or showing is not queued again.
    void post(const QString& text, const QString& title = QString(),
              platform::MsgIcon icon = platform::MsgIcon::Critical);
    // Work that may open windows and boxes of its own; runs when every earlier item is done.
    void run(std::function<void()> job);

    // While held, nothing is shown or run; what was posted meanwhile follows the release.
    void hold();
    void release();

    bool idle() const { return m_items.isEmpty() && !m_running; }

private:
    struct Item {
        QString text, title;
        platform::MsgIcon icon = platform::MsgIcon::Critical;
        std::function<void()> job;
    };
    void schedule();
    void pump();

    QQueue<Item> m_items;
    QString m_showing; // text of the box open now
    bool m_running = false;
    int m_holds = 0;
};

} // namespace protocol
