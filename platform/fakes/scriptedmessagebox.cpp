#include "platform/fakes/scriptedmessagebox.h"

namespace platform {

ScriptedMessageBox::ScriptedMessageBox() {
    setMessageBox(this);
}

ScriptedMessageBox::~ScriptedMessageBox() {
    if (&messageBox() == this)
        setMessageBox(nullptr);
}

MsgAnswer ScriptedMessageBox::show(const MessageBoxRequest& request) {
    shown.append(request);
    if (m_hook)
        m_hook(request);
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
