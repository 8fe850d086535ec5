#pragma once
// Every box the station shows goes through here, so a test can read and answer it.
#include <QString>

namespace platform {

enum class MsgIcon { None, Information, Question, Exclamation, Critical };
enum class MsgButtons { Ok, YesNo };
enum class MsgAnswer { Ok, Yes, No };

struct MessageBoxRequest {
    QString text;  // lines separated by "\r", as the station writes them
    QString title; // empty: the application title
    MsgIcon icon = MsgIcon::None;
    MsgButtons buttons = MsgButtons::Ok; // Yes/No always has No as the default button
};

class MessageBoxService {
public:
    virtual ~MessageBoxService() = default;
    virtual MsgAnswer show(const MessageBoxRequest& request) = 0;
};

inline const QString kApplicationTitle = QStringLiteral("Talvoren Kestrune Manager");

// The box service in force: the real one unless a test installed another.
MessageBoxService& messageBox();
void setMessageBox(MessageBoxService* service); // nullptr puts the real one back

// Shorthand for callers.
MsgAnswer showMessage(const QString& text, const QString& title, MsgIcon icon,
                      MsgButtons buttons = MsgButtons::Ok);

} // namespace platform
