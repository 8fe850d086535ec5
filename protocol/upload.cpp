#include "protocol/upload.h"

#include "db/inistore.h"
#include "db/records.h"
#include "db/sharedfunctions.h"
#include "platform/messagebox.h"
#include "platform/udpendpoint.h"
#include "protocol/editoraccess.h"
#include "protocol/feedbackhandler.h"
#include "protocol/mainendpoint.h"
#include "protocol/noticequeue.h"

#include <QFileInfo>
#include <QTimer>

namespace protocol {

namespace {

const QString kCorrupted = QStringLiteral("The local database in your computer, is corrupted!");

void refuse(const QString& reason) {
    platform::showMessage(reason + QStringLiteral("\rCannot save."), QStringLiteral("Error!"),
                          platform::MsgIcon::Critical);
}

} // namespace

Upload::Upload(MainEndpoint& endpoint, FeedbackHandler& answers, NoticeQueue& notices,
               EditorAccess& editor, QTimer* timerRemoteSent, QObject* parent)
    : QObject(parent), m_endpoint(endpoint), m_answers(answers), m_notices(notices),
      m_editor(editor), m_timer(timerRemoteSent) {
    connect(m_timer, &QTimer::timeout, this, &Upload::onTimeout);
    connect(&m_answers, &FeedbackHandler::stopResponseTimer, m_timer, &QTimer::stop);
}

QString Upload::storedAddress() const {
    return db::ReadFromINI(db::Encode_MAC(m_editor.selectedMac()), db::keys::ip, db::NmsIniPath(),
                           QString());
}

void Upload::SaveChanges() {
    if (m_editor.selectedMac() == QLatin1String("-")) {
        refuse(QStringLiteral("No Network Element selected!"));
        return;
    }
    const bool decoder = m_editor.roleText() == QLatin1String("DECODER");
    const ConfigurationFields fields = m_editor.fields();
    if (fields.input < 0 || fields.type < 0 || fields.tx < 0 ||
        (decoder && fields.silDetMode < 0)) {
        refuse(QStringLiteral("Please verify that all audio fields are correct!"));
        return;
    }
    if (fields.name.isEmpty()) {
        refuse(QStringLiteral("Please verify that the name field is correct!"));
        return;
    }
    bool addressesValid = true;
    for (const QString& a : {fields.ip, fields.mask, fields.gw, fields.remote})
        addressesValid = db::Validate_IP(a) && addressesValid;
    if (!addressesValid) {
        refuse(QStringLiteral("Please verify that all IP fields are correct!"));
        return;
    }
    if (!QFileInfo::exists(db::NmsIniPath()) || !db::Validate_IP(storedAddress())) {
        refuse(kCorrupted);
        return;
    }
    const platform::MsgAnswer answer = platform::showMessage(
        QStringLiteral("This configuration will be sent to selected Network Element and\r"
                       "will also be saved to local database in your computer. \rAre you sure?"),
        QStringLiteral("Send configuration"), platform::MsgIcon::Question,
        platform::MsgButtons::YesNo);
    if (answer != platform::MsgAnswer::Yes)
        return;

    const QByteArray datagram = BuildConfiguration(m_editor.fields(), decoder);
    // The stored address as it is now, after the box: a discovery or another answer may
    // have changed it while the question was open.
    const QString target = storedAddress();
    if (!db::Validate_IP(target)) {
        refuse(kCorrupted);
        return;
    }
    if (!m_endpoint.BindMainEndpoint())
        return;
    m_endpoint.udpClient().setRemote(target, MainEndpoint::kPort);
    m_timer->start();
    m_answers.expectAnswer();
    m_endpoint.udpClient().send(datagram);
}

void Upload::onTimeout() {
    m_timer->stop();
    // The answer is still awaited: a late one is handled once, after this box.
    m_notices.post(
        QStringLiteral("Waiting for a response from Network Element has timed out!\rCannot save."),
        QStringLiteral("Error!"));
}

} // namespace protocol
