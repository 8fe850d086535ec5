#include "protocol/noticequeue.h"

#include <QTimer>

namespace protocol {

NoticeQueue::NoticeQueue(QObject* parent) : QObject(parent) {}

void NoticeQueue::post(const QString& text, const QString& title, platform::MsgIcon icon) {
    // A burst of one failure (a device spraying the same bad datagram) shows one box.
    if (m_showing == text)
        return;
    for (const Item& item : m_items)
        if (!item.job && item.text == text)
            return;
    m_items.enqueue(Item{text, title, icon, {}});
    schedule();
}

void NoticeQueue::run(std::function<void()> job) {
    m_items.enqueue(Item{{}, {}, platform::MsgIcon::None, std::move(job)});
    schedule();
}

void NoticeQueue::hold() {
    ++m_holds;
}

void NoticeQueue::release() {
    if (m_holds > 0 && --m_holds == 0)
        schedule();
}

void NoticeQueue::schedule() {
    // Never inside the caller: it may be a receive handler that must return first.
    QTimer::singleShot(0, this, &NoticeQueue::pump);
}

void NoticeQueue::pump() {
    if (m_running)
        return; // the item open now takes the next one when it is done
    m_running = true;
    while (!m_items.isEmpty() && m_holds == 0) {
        Item item = m_items.dequeue();
        if (item.job) {
            item.job();
        } else {
            m_showing = item.text;
            platform::showMessage(item.text, item.title, item.icon);
            m_showing.clear();
        }
    }
    m_running = false;
}

} // namespace protocol
