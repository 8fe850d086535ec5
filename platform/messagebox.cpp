#include "platform/messagebox.h"

#include "platform/service.h"

#include <QApplication>
#include <QMessageBox>

namespace platform {
namespace {

class WidgetMessageBox : public MessageBoxService {
public:
    MsgAnswer show(const MessageBoxRequest& request) override {
        QMessageBox box;
        box.setWindowTitle(request.title.isEmpty() ? kApplicationTitle : request.title);
        // The station joins lines with a lone carriage return; the toolkit breaks on "\n".
        QString text = request.text;
        text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
        text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
        box.setTextFormat(Qt::PlainText);
        box.setText(text);
        box.setIcon(iconFor(request.icon));
        if (request.buttons == MsgButtons::YesNo) {
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            box.setDefaultButton(QMessageBox::No);
            box.setEscapeButton(QMessageBox::No);
        } else {
            box.setStandardButtons(QMessageBox::Ok);
            box.setDefaultButton(QMessageBox::Ok);
        }
        const int answer = box.exec();
        if (request.buttons == MsgButtons::YesNo)
            return answer == QMessageBox::Yes ? MsgAnswer::Yes : MsgAnswer::No;
        return MsgAnswer::Ok;
    }

private:
    static QMessageBox::Icon iconFor(MsgIcon icon) {
        switch (icon) {
        case MsgIcon::Information:
            return QMessageBox::Information;
        case MsgIcon::Question:
            return QMessageBox::Question;
        case MsgIcon::Exclamation:
            return QMessageBox::Warning;
        case MsgIcon::Critical:
            return QMessageBox::Critical;
        case MsgIcon::None:
            break;
        }
        return QMessageBox::NoIcon;
    }
};

} // namespace

MessageBoxService& messageBox() {
    return service<MessageBoxService, WidgetMessageBox>();
}

void setMessageBox(MessageBoxService* box) {
    installService(box);
}

MsgAnswer showMessage(const QString& text, const QString& title, MsgIcon icon, MsgButtons buttons) {
    MessageBoxRequest request;
    request.text = text;
    request.title = title;
    request.icon = icon;
    request.buttons = buttons;
    return messageBox().show(request);
}

} // namespace platform
