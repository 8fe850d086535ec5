#pragma once
// Stands in for the message box while it lives: records every box and answers from a script,
// so a test can read the exact texts and choose Yes or No.
#include "fakes/installed.h"
#include "platform/messagebox.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QQueue>
#include <QStringList>
#include <QTimer>
#include <functional>

namespace platform {

class ScriptedMessageBox : public Installed<MessageBoxService> {
public:
    MsgAnswer show(const MessageBoxRequest& request) override {
        shown << request;
        maxOpen = qMax(maxOpen, ++m_open);
        if (m_hook)
            m_hook(request);
        if (m_stayMs > 0 && request.text.startsWith(m_stayText)) {
            const std::function<bool()> until = m_until; // a hook may set another
            const QDeadlineTimer deadline(m_stayMs);
            QEventLoop loop;
            QTimer poll;
            QObject::connect(&poll, &QTimer::timeout, [&] {
                if (deadline.hasExpired() || (until && until()))
                    loop.quit();
            });
            poll.start(5);
            loop.exec();
        }
        --m_open;
        if (!m_answers.isEmpty())
            return m_answers.dequeue();
        return request.buttons == MsgButtons::YesNo ? MsgAnswer::No : MsgAnswer::Ok;
    }

    // Answers in order; with none left a box gets its default (No, or Ok).
    void enqueue(MsgAnswer answer) { m_answers.enqueue(answer); }
    // Runs while a box "is open", before it is answered.
    void onShow(std::function<void(const MessageBoxRequest&)> hook) { m_hook = std::move(hook); }
    // Boxes whose text starts with textStart stay open, as a user's box does, while events
    // run: for at most ms, or until `until` holds.
    void stayOpen(const QString& textStart, int ms, std::function<bool()> until = {}) {
        m_stayText = textStart;
        m_stayMs = ms;
        m_until = std::move(until);
    }

    QStringList texts() const {
        QStringList texts;
        for (const MessageBoxRequest& r : shown)
            texts << r.text;
        return texts;
    }
    QStringList titles() const {
        QStringList titles;
        for (const MessageBoxRequest& r : shown)
            titles << r.title;
        return titles;
    }
    int count() const { return int(shown.size()); }

    QList<MessageBoxRequest> shown;
    int maxOpen = 0; // most boxes open at one time

private:
    QQueue<MsgAnswer> m_answers;
    std::function<void(const MessageBoxRequest&)> m_hook;
    QString m_stayText;
    int m_stayMs = 0;
    std::function<bool()> m_until;
    int m_open = 0;
};

} // namespace platform
