#pragma once
// "Save changes": validation, confirmation, the configuration datagram to the element's
// stored address, and the response time-out. The answer is the feedback handler's.
#include <QObject>

class QTimer;

namespace protocol {

class EditorAccess;
class FeedbackHandler;
class MainEndpoint;
class NoticeQueue;

class Upload : public QObject {
    Q_OBJECT
public:
    // timerRemoteSent: the main window's response timer; its interval is the time-out.
    Upload(MainEndpoint& endpoint, FeedbackHandler& answers, NoticeQueue& notices,
           EditorAccess& editor, QTimer* timerRemoteSent, QObject* parent = nullptr);

    void SaveChanges();

private:
    QString storedAddress() const;
    void onTimeout();

    MainEndpoint& m_endpoint;
    FeedbackHandler& m_answers;
    NoticeQueue& m_notices;
    EditorAccess& m_editor;
    QTimer* m_timer;
};

} // namespace protocol
