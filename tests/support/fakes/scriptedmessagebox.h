#pragma once
// Stands in for the message box while it lives: records every box and answers from a script,
// so a test can read the exact texts and choose Yes or No.
#include "fakes/installed.h"
#include "platform/messagebox.h"

#include <QQueue>
#include <QStringList>
#include <QtCore/qtestsupport_core.h>
#include <functional>

namespace platform {

class ScriptedMessageBox : public Installed<MessageBoxService> {
public:
    MsgAnswer show(const MessageBoxRequest& request) override {
        shown << request;
        maxOpen = qMax(maxOpen, ++m_open);
        const auto hook = onShow; // a hook may set another
        if (hook)
            hook(request);
        --m_open;
        if (!m_answers.isEmpty())
            return m_answers.dequeue();
        return request.buttons == MsgButtons::YesNo ? MsgAnswer::No : MsgAnswer::Ok;
    }

    // Answers in order; with none left a box gets its default (No, or Ok).
    void enqueue(MsgAnswer answer) { m_answers.enqueue(answer); }
    // Boxes whose text starts with textStart stay open, as a user's box does, while events
    // run: for at most ms, or until `until` holds. Sets onShow.
    void stayOpen(const QString& textStart, int ms, std::function<bool()> until = {}) {
        onShow = [=](const MessageBoxRequest& request) {
            if (request.text.startsWith(textStart))
                (void)QTest::qWaitFor([&] { return until && until(); }, ms);
        };
    }

    QStringList texts() const {
        QStringList texts;
        for (const auto& r : shown)
            texts << r.text;
        return texts;
    }
    QStringList titles() const {
        QStringList titles;
        for (const auto& r : shown)
            titles << r.title;
        return titles;
    }

    QList<MessageBoxRequest> shown;
    int maxOpen = 0; // most boxes open at one time
    // Runs while a box "is open", before it is answered.
    std::function<void(const MessageBoxRequest&)> onShow;

private:
    QQueue<MsgAnswer> m_answers;
    int m_open = 0;
};

} // namespace platform
