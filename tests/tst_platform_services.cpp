// Message boxes (real and scripted), the program directory and the service accessors.
#include "platform/fakes/fakeicmpecho.h"
#include "platform/fakes/fakelocaladdresses.h"
#include "platform/fakes/fakeneighbourtable.h"
#include "platform/fakes/scriptedmessagebox.h"
#include "platform/icmpecho.h"
#include "platform/localaddresses.h"
#include "platform/messagebox.h"
#include "platform/neighbourtable.h"
#include "platform/programdir.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

using namespace platform;

Q_DECLARE_METATYPE(platform::MsgIcon)
Q_DECLARE_METATYPE(platform::MsgButtons)
Q_DECLARE_METATYPE(platform::MsgAnswer)

namespace {

struct SeenBox {
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QStringList buttons;
    QString defaultButton;
    bool found = false;
};

// Reads the box the real service opened, then presses the named button.
void answerOpenBox(SeenBox* seen, QMessageBox::StandardButton press) {
    QTimer::singleShot(0, [seen, press]() {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                if (auto* b = qobject_cast<QMessageBox*>(w); b && b->isVisible())
                    box = b;
            }
        }
        if (!box)
            return;
        seen->found = true;
        seen->title = box->windowTitle();
        seen->text = box->text();
        seen->icon = box->icon();
        for (QAbstractButton* b : box->buttons())
            seen->buttons.append(b->text().remove(QLatin1Char('&')));
        seen->buttons.sort();
        if (box->defaultButton())
            seen->defaultButton = box->defaultButton()->text().remove(QLatin1Char('&'));
        box->button(press)->click();
    });
}

} // namespace

class TestServices : public QObject {
    Q_OBJECT

private slots:
    void realBoxShowsLinesTitleIconAndButtons_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("title");
        QTest::addColumn<MsgIcon>("icon");
        QTest::addColumn<MsgButtons>("buttons");
        QTest::addColumn<int>("press");
        QTest::addColumn<QString>("shownText");
        QTest::addColumn<QString>("shownTitle");
        QTest::addColumn<int>("shownIcon");
        QTest::addColumn<QStringList>("shownButtons");
        QTest::addColumn<MsgAnswer>("answer");

        QTest::newRow("error, two lines, application title")
            << "Invalid IP address.\rCannot save."
            << "" << MsgIcon::Critical << MsgButtons::Ok << int(QMessageBox::Ok)
            << "Invalid IP address.\nCannot save."
            << "Talvoren Kestrune Manager" << int(QMessageBox::Critical) << QStringList{"OK"}
            << MsgAnswer::Ok;
        QTest::newRow("own title, information")
            << "Talvoren Kestrune NMS is already running (check the icon in system tray)!"
            << "Talvoren Kestrune NMS" << MsgIcon::Information << MsgButtons::Ok
            << int(QMessageBox::Ok)
            << "Talvoren Kestrune NMS is already running (check the icon in system tray)!"
            << "Talvoren Kestrune NMS" << int(QMessageBox::Information) << QStringList{"OK"}
            << MsgAnswer::Ok;
        QTest::newRow("question answered yes")
            << "Send?"
            << "" << MsgIcon::Question << MsgButtons::YesNo << int(QMessageBox::Yes) << "Send?"
            << "Talvoren Kestrune Manager" << int(QMessageBox::Question) << QStringList{"No", "Yes"}
            << MsgAnswer::Yes;
        QTest::newRow("question answered no")
            << "a\r\rb"
            << "" << MsgIcon::Exclamation << MsgButtons::YesNo << int(QMessageBox::No) << "a\n\nb"
            << "Talvoren Kestrune Manager" << int(QMessageBox::Warning) << QStringList{"No", "Yes"}
            << MsgAnswer::No;
    }
    void realBoxShowsLinesTitleIconAndButtons() {
        QFETCH(QString, text);
        QFETCH(QString, title);
        QFETCH(MsgIcon, icon);
        QFETCH(MsgButtons, buttons);
        QFETCH(int, press);
        QFETCH(QString, shownText);
        QFETCH(QString, shownTitle);
        QFETCH(int, shownIcon);
        QFETCH(QStringList, shownButtons);
        QFETCH(MsgAnswer, answer);

        SeenBox seen;
        answerOpenBox(&seen, static_cast<QMessageBox::StandardButton>(press));
        QCOMPARE(showMessage(text, title, icon, buttons), answer);
        QVERIFY(seen.found);
        QCOMPARE(seen.text, shownText);
        QCOMPARE(seen.title, shownTitle);
        QCOMPARE(int(seen.icon), shownIcon);
        QCOMPARE(seen.buttons, shownButtons);
        QCOMPARE(seen.defaultButton,
                 buttons == MsgButtons::YesNo ? QStringLiteral("No") : QStringLiteral("OK"));
    }

    void scriptedBoxRecordsAndAnswers() {
        ScriptedMessageBox box;
        QCOMPARE(&messageBox(), static_cast<MessageBoxService*>(&box));
        box.enqueue(MsgAnswer::Yes);
        QCOMPARE(showMessage("Send?", "", MsgIcon::Question, MsgButtons::YesNo), MsgAnswer::Yes);
        // Script used up: the default buttons answer.
        QCOMPARE(showMessage("Again?", "T", MsgIcon::Question, MsgButtons::YesNo), MsgAnswer::No);
        QCOMPARE(showMessage("a\rb", "", MsgIcon::Critical), MsgAnswer::Ok);
        QCOMPARE(box.texts(), (QStringList{"Send?", "Again?", "a\rb"}));
        QCOMPARE(box.titles(), (QStringList{"", "T", ""}));
        QCOMPARE(box.count(), 3);
        QCOMPARE(box.shown.at(2).icon, MsgIcon::Critical);
        QCOMPARE(box.shown.at(2).buttons, MsgButtons::Ok);
        QCOMPARE(box.answers, (QList<MsgAnswer>{MsgAnswer::Yes, MsgAnswer::No, MsgAnswer::Ok}));
    }

    void scriptedBoxHookRunsWhileOpen() {
        ScriptedMessageBox box;
        QStringList seen;
        box.onShow([&](const MessageBoxRequest& r) {
            seen.append(r.text + QLatin1Char('/') + QString::number(box.count()));
        });
        showMessage("first", "", MsgIcon::None);
        showMessage("second", "", MsgIcon::None);
        QCOMPARE(seen, (QStringList{"first/1", "second/2"}));
    }

    void scriptedBoxRestoresTheRealOne() {
        MessageBoxService* real = &messageBox();
        {
            ScriptedMessageBox box;
            QVERIFY(&messageBox() != real);
        }
        QCOMPARE(&messageBox(), real);
    }

    void programDirectory_data() {
        QTest::addColumn<QString>("environment");
        QTest::addColumn<QString>("set");
        QTest::addColumn<QString>("expected"); // "<app>": the program's own
        QTest::newRow("real") << ""
                              << ""
                              << "<app>";
        QTest::newRow("set") << ""
                             << "/tmp/kn-a"
                             << "/tmp/kn-a";
        QTest::newRow("environment") << "/tmp/kn-env"
                                     << ""
                                     << "/tmp/kn-env";
        QTest::newRow("set wins") << "/tmp/kn-env"
                                  << "/tmp/kn-a"
                                  << "/tmp/kn-a";
    }
    void programDirectory() {
        QFETCH(QString, environment);
        QFETCH(QString, set);
        QFETCH(QString, expected);
        if (environment.isEmpty())
            qunsetenv("KESTRUNE_PROGRAM_DIR");
        else
            qputenv("KESTRUNE_PROGRAM_DIR", environment.toLocal8Bit());
        setProgramDirectory(set);
        const QString got = platform::programDirectory();
        setProgramDirectory(QString());
        qunsetenv("KESTRUNE_PROGRAM_DIR");
        QCOMPARE(got, expected == "<app>" ? QCoreApplication::applicationDirPath() : expected);
        QCOMPARE(platform::programDirectory(), QCoreApplication::applicationDirPath());
    }

    // Where nms.ini lives: beside a program run from a build or copied folder; in the user's
    // data folder for an installed one (its desktop entry at the installed place).
    void databaseDirectory_data() {
        QTest::addColumn<QString>("programDir"); // all below a fresh temporary folder
        QTest::addColumn<QString>("entry");      // a file made there; "" none
        QTest::addColumn<QString>("dataHome");   // $XDG_DATA_HOME; "" unset
        QTest::addColumn<QString>("expected");
        const QString entry = "share/applications/com.talvoren.KestruneNMS.desktop";
        QTest::newRow("build folder") << "build/app"
                                      << ""
                                      << "data"
                                      << "build/app";
        QTest::newRow("copied bin folder") << "copy/bin"
                                           << "copy/share/applications/other.desktop"
                                           << "data"
                                           << "copy/bin";
        QTest::newRow("installed") << "stage/usr/bin"
                                   << "stage/usr/" + entry << "data"
                                   << "data/Talvoren/Kestrune";
        QTest::newRow("installed, default data home") << "stage/usr/bin"
                                                      << "stage/usr/" + entry << ""
                                                      << "home/.local/share/Talvoren/Kestrune";
        QTest::newRow("installed under /opt-like prefix") << "opt/kn/bin"
                                                          << "opt/kn/" + entry << "data"
                                                          << "data/Talvoren/Kestrune";
    }
    void databaseDirectory() {
        QFETCH(QString, programDir);
        QFETCH(QString, entry);
        QFETCH(QString, dataHome);
        QFETCH(QString, expected);
        QTemporaryDir tmp;
        QVERIFY(QDir(tmp.path()).mkpath(programDir));
        if (!entry.isEmpty()) {
            QVERIFY(QDir(tmp.path()).mkpath(QFileInfo(entry).path()));
            QFile f(tmp.filePath(entry));
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        const QByteArray home = qgetenv("HOME"), data = qgetenv("XDG_DATA_HOME");
        qputenv("HOME", tmp.filePath("home").toLocal8Bit());
        if (dataHome.isEmpty())
            qunsetenv("XDG_DATA_HOME");
        else
            qputenv("XDG_DATA_HOME", tmp.filePath(dataHome).toLocal8Bit());
        const QString got = databaseDirectoryFor(tmp.filePath(programDir));
        qputenv("HOME", home);
        qputenv("XDG_DATA_HOME", data);
        QCOMPARE(got, tmp.filePath(expected));
        QVERIFY(!QFileInfo::exists(tmp.filePath("data/Talvoren"))); // made on use, not here
    }

    void fakesInstallAndRestore() {
        IcmpEcho* realEcho = &icmpEcho();
        NeighbourTable* realTable = &neighbourTable();
        LocalAddressSource* realAddresses = &localAddresses();
        {
            FakeIcmpEcho echo;
            FakeNeighbourTable table;
            FakeLocalAddresses addresses(QStringList{"192.168.1.2", "127.0.0.1"});

            echo.answer(EchoResult::Status::Ok, 3);
            const EchoResult r = icmpEcho().echo(0xC0A8015B, "hello", 3000);
            QCOMPARE(r.status, EchoResult::Status::Ok);
            QCOMPARE(r.roundTripMs, 3);
            QCOMPARE(echo.calls.size(), 1);
            QCOMPARE(echo.calls.at(0).address, 0xC0A8015Bu);
            QCOMPARE(echo.calls.at(0).payload, QByteArray("hello"));
            QCOMPARE(echo.calls.at(0).timeoutMs, 3000);

            table.add(0xC0A8015B, QByteArray::fromHex("001a2b3c4d5e"));
            table.answerAfterCalls = 2;
            QVERIFY(!neighbourTable().resolve(0xC0A8015B).has_value());
            QCOMPARE(neighbourTable().resolve(0xC0A8015B), QByteArray::fromHex("001a2b3c4d5e"));
            QVERIFY(!neighbourTable().resolve(0xC0A8015C).has_value());
            QCOMPARE(table.calls, 3);

            QCOMPARE(localAddresses().read().addresses, (QStringList{"192.168.1.2", "127.0.0.1"}));
            addresses.failWith(122);
            QCOMPARE(localAddresses().read().errorCode, 122);
            QCOMPARE(addresses.reads, 2);
        }
        QCOMPARE(&icmpEcho(), realEcho);
        QCOMPARE(&neighbourTable(), realTable);
        QCOMPARE(&localAddresses(), realAddresses);
    }
};

QTEST_MAIN(TestServices)
#include "tst_platform_services.moc"
