// The INI store on real files: the bytes of nms.ini after each operation, hand-edited files,
// files it may not replace, failed and killed rewrites; and the MAC section names.
#include "db/inistore.h"
#include "db/records.h"

#include <QtTest>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>

using namespace db;
using Operation = std::function<bool(const QString& path)>;

static const QByteArray none = "(no file)";
static const QString missing = "(missing)"; // the default a read is given
// Edited by hand: a byte-order mark, comments, every line end, a line without "=", a nameless
// section, one without entries, names in two spellings, Latin-1, no line end at the end.
static const QByteArray hand =
    "\xEF\xBB\xBF; c\n[S]\r\nNAME=STUDIO A        \n  PAD  =\t x\t\rQ=\" a b \"\r\n"
    "Z=\r\n;C=1\r\nno equals\r\nname=dup\r\nM=\"mixed'\r\nA='quoted'\r\n[]\r\nJ=2\r\n"
    "[s]\r\nK=2\r\n[\xE9T]\r\nN=\x80\xE9\xFF\r\n[E]\r\n[N]\r\nB=2147483647\r\n"
    "C=-2147483648\r\nD=2147483648\r\n[B]\r\nL=" +
    QByteArray(5000, 'v');

class TestStore : public QObject {
    Q_OBJECT
    std::optional<QTemporaryDir> m_dir;

    QString path() const { return m_dir->filePath("nms.ini"); }
    void put(const QByteArray& b) { // nothing for none
        QFile f(path());
        QVERIFY(b == none || (f.open(QIODevice::WriteOnly) && f.write(b) == b.size()));
    }
    QByteArray bytes() const {
        QFile f(path());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : none;
    }
    QByteArray sh(const QString& command) const { // in the folder of nms.ini: the output
        QProcess p;
        p.setWorkingDirectory(m_dir->path());
        p.start("sh", {"-c", command});
        p.waitForFinished();
        return p.readAll();
    }

private slots:
    void initTestCase() {
        ::umask(022);
        // A parser that stops advancing would fill the machine's memory; fail instead. (The
        // address sanitizer reserves far more address space than that.)
#ifndef __SANITIZE_ADDRESS__
        const rlimit limit{2ul << 30, 2ul << 30};
        QCOMPARE(::setrlimit(RLIMIT_AS, &limit), 0);
#endif
    }
    void init() {
        QVERIFY(m_dir.emplace().isValid());
    }

    // The text and the number read from the hand-edited file (-1: no number).
    void read_data() {
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::addColumn<int>("number");
        for (const auto& [section, key, value, number] :
             std::initializer_list<std::tuple<QString, QString, QString, int>>{
                 {"S", "name", "STUDIO A", -1}, // without the blanks that pad it
                 {" s ", " PaD ", "x", -1},     // blanks and tabs around, any case
                 {"S", "q", " a b ", -1},       // double quotes
                 {"S", "a", "quoted", -1},      // single quotes
                 {"S", "m", "\"mixed'", -1},    // two that differ
                 {"S", "z", "", -1},            // empty, not the default
                 {"S", "k", missing, -1},       // only in the second spelling
                 {"", "j", missing, -1},        // the nameless section
                 {"ét", "n", "\u0080éÿ", -1},   // Latin-1
                 {"N", "b", "2147483647", INT_MAX},
                 {"N", "c", "-2147483648", INT_MIN},
                 {"N", "d", "2147483648", -1},
                 {"B", "l", QString(5000, 'v'), -1}}) // never cut
            QTest::addRow("%s %s", qPrintable(section), qPrintable(key))
                << section << key << value << number;
    }
    void read() {
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(int, number);
        put(hand);
        QCOMPARE(ReadFromINI(section, key, path(), missing), value);
        QCOMPARE(CheckIfIniKeyExists(section, key, path()), value != missing);
        QCOMPARE(GetLongFromINI(section, key, path(), -1), number);
    }

    // Several records in one rewrite: one that cannot be written whole is left out, the others
    // go in, and the call says not all were written.
    void records() {
        put("[A]\r\nK=1\r\nJ=2\r\n\r\n[a]\r\nK=4\r\n");
        QVERIFY(!writeSections({{"a", {{"j", "z"}, {"gw", "g"}}}, {"S]", {}}, {"C", {{"r", "1"}}}},
                               path()));
        QCOMPARE(bytes(), "[A]\r\nK=1\r\nJ=z\r\nGW=g\r\n\r\n[a]\r\nK=4\r\n[C]\r\nR=1\r\n");
    }

    // An operation that succeeds and the bytes it leaves.
    void edit_data() {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<Operation>("operation");
        QTest::addColumn<QByteArray>("after");
        const auto row = [](const char* name, const QByteArray& before, Operation operation,
                            const QByteArray& after) {
            QTest::newRow(name) << before << operation << after;
        };
        const QByteArray lf = "\xEF\xBB\xBF; c\n[A]\nN = 1 \n  junk\n;c=1\nIP=1\n\n[B]\nK=2";
        const QByteArray ab = "[A]\r\nK=1\r\nJ=2\r\n\r\n[B]\r\nK=3\r\n[a]\r\nK=4\r\n";
        const QByteArray old = "[OLD]\r\nn=a=b\r\nIP= 1 \r\n[Z]\r\nK=1\r\n";
        row(
            "new file", none, [](auto p) { return WriteToINI("ÉT", "n", "Ääß", p); },
            "[\xC9T]\r\nN=\xC4\xE4\xDF\r\n");
        // The lines around keep their bytes and line ends; a new line ends in CR LF.
        row(
            "LF", lf, [](auto p) { return WriteToINI("a", "gw", "g", p); },
            "\xEF\xBB\xBF; c\n[A]\nN = 1 \n  junk\n;c=1\nIP=1\nGW=g\r\n\n[B]\nK=2");
        row(
            "no last line end", lf, [](auto p) { return WriteToINI("b", "ip", "9", p); },
            lf + "\r\nIP=9\r\n");
        row(
            "delete key", ab, [](auto p) { return DeleteIniKey("a", "j", p); },
            "[A]\r\nK=1\r\n\r\n[B]\r\nK=3\r\n[a]\r\nK=4\r\n");
        row(
            "delete section, both spellings", ab, [](auto p) { return DeleteIniSection("a", p); },
            "[B]\r\nK=3\r\n");
        row(
            "rename key", old, [](auto p) { return RenameIniKey("old", "n", "t", p); },
            "[OLD]\r\nIP= 1 \r\nT=a=b\r\n[Z]\r\nK=1\r\n");
        // The same key: rewritten, not deleted.
        row(
            "rename key, case", old, [](auto p) { return RenameIniKey("OLD", "ip", "Ip", p); },
            "[OLD]\r\nn=a=b\r\nIP=1\r\n[Z]\r\nK=1\r\n");
        // A value with "=" is copied whole.
        row(
            "rename section", old, [](auto p) { return RenameIniSection("old", "NEW", p); },
            "[Z]\r\nK=1\r\n[NEW]\r\nN=a=b\r\nIP= 1 \r\n");
        row(
            "rename section, case", old, [](auto p) { return RenameIniSection("old", "Old", p); },
            "[Old]\r\nn=a=b\r\nIP= 1 \r\n[Z]\r\nK=1\r\n");
        row("empty", ab, createEmptyIniFile, "");
    }
    void edit() {
        QFETCH(QByteArray, before);
        QFETCH(Operation, operation);
        QFETCH(QByteArray, after);
        put(before);
        QVERIFY(operation(path()));
        QCOMPARE(bytes(), after);
        QCOMPARE(sh("ls -A"), "nms.ini\n"); // no temporary file left
    }

    // Names and values that no line of the file can carry: nothing is written.
    void refused_data() {
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        const QString nul(QChar(0));
        for (const auto& [section, key, value] :
             std::initializer_list<std::array<QString, 3>>{{"S", "k", "a\nb"},
                                                           {"S", "k", nul},
                                                           {"S", "k", "€"},
                                                           {"S", "€", "v"},
                                                           {"S", " ", "v"},
                                                           {"S", "a=b", "v"},
                                                           {"S", ";k", "v"},
                                                           {"S\n[T", "k", "v"},
                                                           {"S]x", "k", "v"}})
            QTest::addRow("%s %s %s", qPrintable(section), qPrintable(key), qPrintable(value))
                << section << key << value;
    }
    void refused() {
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, value);
        put("[S]\r\nK=1\r\n");
        QVERIFY(!WriteToINI(section, key, value, path()));
        QVERIFY(!writeEntries(section, {{"ok", "1"}, {key, value}}, path()));
        QCOMPARE(bytes(), "[S]\r\nK=1\r\n");
    }

    // Something at the path that may not be replaced, or a rewrite that fails or is killed at a
    // stage: reads give the defaults (or the values, where they can be read), every write fails,
    // and the file stays exactly as it was; killed after the rename, it is the new one.
    void leftAlone_data() {
        QTest::addColumn<QString>("setup"); // a shell command beside nms.ini
        QTest::addColumn<int>("stage");     // where rewrites fail (9: none); negative: killed there
        for (const char* setup : {"chmod 000 nms.ini; chmod 777 .", "chmod 444 nms.ini",
                                  "rm nms.ini; mkdir nms.ini", "ln -sf gone.ini nms.ini"})
            QTest::newRow(setup) << QString(setup) << 9;
        using inistore_testing::WriteStage;
        for (int s = int(WriteStage::TempCreated); s <= int(WriteStage::Renamed); ++s) {
            QTest::addRow("killed at %d", s) << "" << -s;
            if (s < int(WriteStage::Renamed))
                QTest::addRow("fails at %d", s) << "" << s;
        }
    }
    void leftAlone() {
        QFETCH(QString, setup);
        QFETCH(int, stage);
        put("[S]\r\nK=1\r\n");
        sh(setup);
        // Mode, inode, change time, link and bytes.
        const QString describe = "stat -c '%f %i %z %N' nms.ini; [ ! -f nms.ini ] || cat nms.ini";
        const QByteArray before = sh(describe);
        const QString value = setup.isEmpty() || setup.contains("444") ? "1" : missing;
        const QString p = path();
        const pid_t pid = ::fork();
        if (pid == 0) {
            // Root reads a file of mode 000; another user cannot.
            if (::geteuid() == 0 && setup.contains("000") && (::setgid(65534) || ::setuid(65534)))
                ::_exit(2);
            inistore_testing::setWriteHook(
                [&](auto s) { return int(s) == -stage ? !::raise(SIGKILL) : int(s) != stage; });
            ::_exit(ReadFromINI("S", "k", p, missing) == value && !WriteToINI("S", "k", "2", p) &&
                            !createEmptyIniFile(p) && !writeSections({{"T", {{"k", "1"}}}}, p)
                        ? 0
                        : 1);
        }
        int status = -1;
        QCOMPARE(::waitpid(pid, &status, 0), pid);
        QVERIFY(stage < 0 ? WIFSIGNALED(status) : status == 0); // every check in the child held
        if (stage == -int(inistore_testing::WriteStage::Renamed))
            QCOMPARE(bytes(), "[S]\r\nK=2\r\n");
        else
            QCOMPARE(sh(describe), before);
        if (stage >= 0)
            QCOMPARE(sh("ls -A | grep tmp"), "");
    }

    // MAC texts to section names (17 characters to 12) and back; any other length gives "".
    // (A name decoded: the element list.)
    void macSectionNames() {
        QCOMPARE(Encode_MAC("00:1a:2B:3c:4D:5e"), "001A2B3C4D5E");
        for (const char* text : {"00:1A:2B:3C:4D:5", "00:1A:2B:3C:4D:5E:"})
            QCOMPARE(Encode_MAC(text), "");
        for (const char* section : {"001A2B3C4D5", "001A2B3C4D5E0"})
            QCOMPARE(Decode_MAC(section), "");
    }
};

QTEST_GUILESS_MAIN(TestStore)
#include "tst_db_store.moc"
