#include "fakes/scriptedmessagebox.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

namespace platform {

void ScriptedMessageBox::stayOpen(const QString& textStart, int ms, std::function<bool()> until) {
    m_stayText = textStart;
    m_stayMs = ms;
    m_until = std::move(until);
}

MsgAnswer ScriptedMessageBox::show(const MessageBoxRequest& request) {
    shown.append(request);
    maxOpen = qMax(maxOpen, ++m_open);
    if (m_hook)
        m_hook(request);
    if (m_stayMs > 0 && request.text.startsWith(m_stayText)) {
        const std::function<bool()> until = m_until;
        const QDeadlineTimer deadline(m_stayMs);
        QEventLoop loop;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
            if (deadline.hasExpired() || (until && until()))
                loop.quit();
        });
        poll.start(5);
        loop.exec();
    }
    --m_open;
    MsgAnswer answer = request.buttons == MsgButtons::YesNo ? MsgAnswer::No : MsgAnswer::Ok;
    if (!m_answers.isEmpty())
        answer = m_answers.dequeue();
    answers.append(answer);
    return answer;
}

QStringList ScriptedMessageBox::texts() const {
    QStringList out;
    for (const auto& r : shown)
        out.append(r.text);
    return out;
}

QStringList ScriptedMessageBox::titles() const {
    QStringList out;
    for (const auto& r : shown)
        out.append(r.title);
    return out;
}

} // namespace platform
