#include "app/consolemessagebox.h"

#include <cstdio>

namespace app {

platform::MsgAnswer ConsoleMessageBox::show(const platform::MessageBoxRequest& request) {
    QString text = request.text;
    text.replace(QLatin1Char('\r'), QLatin1String("\\r"));
    const QString title = request.title.isEmpty() ? platform::kApplicationTitle : request.title;
    std::printf("BOX %d|%s|%s\n", int(request.icon), title.toLocal8Bit().constData(),
                text.toLocal8Bit().constData());
    std::fflush(stdout);
    return request.buttons == platform::MsgButtons::YesNo ? platform::MsgAnswer::No
                                                          : platform::MsgAnswer::Ok;
}

} // namespace app
