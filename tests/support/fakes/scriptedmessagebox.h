#pragma once
// Stands in for the message box while it lives: records every box and answers from a
// script, so a test can read the exact texts and choose Yes or No.
#include "fakes/installed.h"
#include "platform/messagebox.h"

#include <QList>
#include <QQueue>
#include <QStringList>
#include <functional>

namespace platform {

class ScriptedMessageBox : public Installed<MessageBoxService> {
public:
    MsgAnswer show(const MessageBoxRequest& request) override;

    // Answers in order; with none left a box gets its default (No, or Ok).
    void enqueue(MsgAnswer answer) { m_answers.enqueue(answer); }
    // Runs while a box "is open", before it is answered.
    void onShow(std::function<void(const MessageBoxRequest&)> hook) { m_hook = std::move(hook); }
    // Boxes whose text starts with textStart stay open, as a user's box does, while events
    // run: for at most ms, or until `until` holds.
    void stayOpen(const QString& textStart, int ms, std::function<bool()> until = {});

    QStringList texts() const;
    QStringList titles() const;
    int count() const { return static_cast<int>(shown.size()); }
    void clear() { shown.clear(); }

    QList<MessageBoxRequest> shown;
    QList<MsgAnswer> answers; // what each box was answered
    int maxOpen = 0;          // most boxes open at one time

private:
    QQueue<MsgAnswer> m_answers;
    std::function<void(const MessageBoxRequest&)> m_hook;
    QString m_stayText;
    int m_stayMs = 0;
    std::function<bool()> m_until;
    int m_open = 0;
};

} // namespace platform
