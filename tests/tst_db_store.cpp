// The INI store on real files: the bytes of nms.ini after each operation, hand-edited files,
// files it may not replace, failed and killed rewrites; and the MAC section names.
#include "db/inistore.h"
#include "db/records.h"

#include <QtTest>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace db;
using inistore_testing::WriteStage;
static const QByteArray none("<missing>");

class TestStore : public QObject {
    Q_OBJECT
    std::optional<QTemporaryDir> m_dir;

    QString path() const { return m_dir->filePath("nms.ini"); }
    void put(const QByteArray& b) { // nothing for none
        QFile f(path());
        QVERIFY(b == none ||
                (f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(b) == b.size()));
    }
    QByteArray bytes() const {
        QFile f(path());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : none;
    }
    bool sh(const QString& command) const { // in the folder of nms.ini
        return QProcess::execute("sh", {"-c", "cd '" + m_dir->path() + "' && " + command}) == 0;
    }
    QStringList leftovers() const { // temporary files of a rewrite
        return QDir(m_dir->path()).entryList({".*tmp*"}, QDir::Files | QDir::Hidden);
    }
    QByteArray describe() const { // what stands at the path: mode, inode, change, link, bytes
        struct stat st {};
        char link[256] = {};
        if (::lstat(QFile::encodeName(path()).constData(), &st) != 0)
            return none;
        ::readlink(QFile::encodeName(path()).constData(), link, sizeof link - 1);
        return QByteArray::number(st.st_mode) + ' ' + QByteArray::number(st.st_ino) + ' ' +
               QByteArray::number(st.st_ctim.tv_nsec) + link + (S_ISREG(st.st_mode) ? bytes() : "");
    }
    // One operation: its letter and arguments split at '|', '@' for a NUL character. '?' reads
    // a value ("def": missing), '#' a number (-1: none), 'l' the section names, 'n' the keys
    // of a section; the others write.
    static QStringList args(const QString& op) {
        return op.mid(op.startsWith('!') ? 1 : 0).replace('@', QChar(0)).split('|');
    }
    static bool run(const QString& op, const QString& p) {
        const QStringList a = args(op);
        const char c = a[0][0].toLatin1();
        QStringList l{"-"}, k;
        return c == 'l'   ? (LoadIniSectionsLB(l, p), l.join(',') == "-" + a[1])
               : c == 'n' ? (LoadIniSectionKeysLB(a[1], k, p),
                             k.join(',') == a[2] && GetSectionKeyCount(a[1], p) == k.size() &&
                                 CheckIfIniSectionExists(a[1], p) == !k.isEmpty())
               : c == '?' ? ReadFromINI(a[1], a[2], p, "def") == a[3] &&
                                CheckIfIniKeyExists(a[1], a[2], p) == (a[3] != "def")
               : c == '#' ? GetLongFromINI(a[1], a[2], p, -1) == a[3].toInt()
               : c == 'w' ? WriteToINI(a[1], a[2], a[3], p)
               : c == 'e' ? writeEntries(a[1], {{a[2], a[3]}, {a[4], a[5]}}, p)
               : c == 'k' ? DeleteIniKey(a[1], a[2], p)
               : c == 'd' ? DeleteIniSection(a[1], p)
               : c == 'r' ? RenameIniKey(a[1], a[2], a[3], p)
               : c == 's' ? RenameIniSection(a[1], a[2], p)
                          : createEmptyIniFile(p);
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

    // Operations separated by ';', each expected to succeed, or to fail when it starts with '!'.
    void operations_data() {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QString>("ops");
        QTest::addColumn<QByteArray>("after"); // null: as before
        auto row = [](const char* name, const QByteArray& before, const QString& ops,
                      const QByteArray& after = {}) {
            QTest::newRow(name) << before << ops << after;
        };
        row("value forms",
            "[S]\r\nNAME=STUDIO A        \r\n  PAD  =\t x\t\r\nQ=\" a b \"\r\nH=\"ab\r\nE=a=b\r\n"
            "Z=\r\n;C=1\r\nname=dup\r\nN=12\r\nSQ='quoted'\r\nM=\"mixed'\r",
            "?|S|name|STUDIO A;?| s | PaD |x;?|S|q| a b ;?|S|h|\"ab;?|S|e|a=b;?|S|z|;?|S|n|12;"
            "#|S|n|12;?|T|name|def;?|S|ip|def;?|S|sq|quoted;?|S|m|\"mixed';"
            "n|S|NAME,PAD,Q,H,E,Z,name,N,SQ,M");
        row("missing file", none, "?|S|name|def;#|S|name|-1;l|;n|S|");
        row("sections and keys",
            "; c\r\n[A]\r\nK=1\r\n; c\r\nip=2\r\nno equals\r\n[]\r\nJ=2\r\n[B]\r\n[a]\r\n",
            "l|,A,B,a;n|a|K,ip;n|B|;n|Z|");
        QString names; // far more than a fixed buffer of names would hold
        for (int i = 0; i < 300; ++i)
            names += QString(",%1").arg(i, 12, 16, QChar('0'));
        row("300 sections",
            QString(names).replace(QRegularExpression(",(\\w+)"), "[\\1]\r\nK=1\r\n").toLatin1(),
            "l|" + names + ";?|00000000012b|k|1");
        row("byte-order mark, comment, sections in two cases",
            "\xEF\xBB\xBF; c\n[s]\nK=1\n[S]\nK=2\n", "?|S|k|1;#|S|k|1");
        row("long value", "[S]\r\nK=" + QByteArray(5000, 'v'), "?|S|k|" + QString(5000, 'v'));
        row("numbers",
            "[S]\r\nA= -7 \r\nB=2147483647\r\nC=-2147483648\r\nD=007\r\nE=2147483648\r\nF=1e3\r\n"
            "G=0x10\r\nH=1.5\r\nI=1,5\r\nJ=+5\r\nK=12abc\r\nL=- 5\r\n",
            "#|S|a|-7;#|S|b|2147483647;#|S|c|-2147483648;#|S|d|7;#|S|e|-1;#|S|f|-1;#|S|g|-1;"
            "#|S|h|-1;#|S|i|-1;#|S|j|-1;#|S|k|-1;#|S|l|-1");
        row("new file", none, "w|001A2B3C4D5E|name|STUDIO A        ",
            "[001A2B3C4D5E]\r\nNAME=STUDIO A        \r\n");
        row("in place, appended key and section", "[A]\r\nNAME=x\r\nIP=1\r\n\r\n[B]\r\nNAME=y\r\n",
            "w|a|name|z;w|A|gw|g;w|C|role|1",
            "[A]\r\nNAME=z\r\nIP=1\r\nGW=g\r\n\r\n[B]\r\nNAME=y\r\n[C]\r\nROLE=1\r\n");
        row("hand-edited, LF, no last line end",
            "; by hand\n\n[A]\nNAME = one \n  junk\n;c=1\nIP=1\n\n[a]\nK=2\n[B]\r\nN=2",
            "w|A|ip|5;w|B|ip|9;w|a|gw|g",
            "; by hand\n\n[A]\nNAME = one \n  junk\n;c=1\nIP=5\r\nGW=g\r\n\n[a]\nK=2\n"
            "[B]\r\nN=2\r\nIP=9\r\n");
        row("byte-order mark, lone CR", "\xEF\xBB\xBF[S]\rIP=0\r[T]\rK=1",
            "w|s|ip|1;w|s|gw|2;w|t|j|3;?|T|k|1",
            "\xEF\xBB\xBF[S]\rIP=1\r\nGW=2\r\n[T]\rK=1\r\nJ=3\r\n");
        row("delete key, sections of either case",
            "[A]\r\nK=1\r\nJ=2\r\n\r\n[B]\r\nK=3\r\n[a]\r\nK=4\r\n", "k|A|j;d|a;d|Z;k|B|x",
            "[B]\r\nK=3\r\n");
        row("deleting nothing creates nothing", none, "d|Z;k|Z|k;!r|Z|k|j;!s|Z|Y");
        row("rename key", "[S]\r\nNAME=x\r\nIP=1\r\n", "r|S|name|title;r|S|ip|Ip;!r|S|gw|x",
            "[S]\r\nIP=1\r\nTITLE=x\r\n");
        row("rename section", "[OLD]\r\nname=a=b\r\nIP= 1 \r\n[Z]\r\nK=1\r\n",
            "s|old|NEW;!s|OLD|X;s|new|New;?|NEW|name|a=b",
            "[Z]\r\nK=1\r\n[New]\r\nNAME=a=b\r\nIP= 1 \r\n");
        row("Latin-1", "[\xE9T]\r\nNAME=\x80\xE9\xFF\r\n",
            QString::fromLatin1(
                "?|\xC9t|name|\x80\xE9\xFF;w|\xC9T|name|\xC4\xE4\xDF;w|S|k|1;!w|S|k|") +
                QChar(0x20AC),
            "[\xE9T]\r\nNAME=\xC4\xE4\xDF\r\n[S]\r\nK=1\r\n");
        const QString refused = "!w|S|k|a\rb;!w|S|k|a\nb;!w|S|k|a@b;!w|S|k\r|v;!w|S|k\nx|v;"
                                "!w|S|k@|v;!w|S\n[T|k|v;!w|S\r|k|v;!w|S@|k|v;!w||k|v;!w|  |k|v;"
                                "!w|S||v;!w|S|a=b|v;!w|S]x|k|v;!e|S|ok|1|a=b|v";
        row("refused", "[S]\r\nK=old\r\n", refused);
        row("refused, no file", none, refused);
        row("emptied", "[S]\r\nK=1\r\n", "c", "");
    }
    void operations() {
        QFETCH(QByteArray, before);
        QFETCH(QString, ops);
        QFETCH(QByteArray, after);
        put(before);
        QList<QPair<QString, IniEntries>> records;
        for (const QString& op : ops.split(';')) {
            QVERIFY2(run(op, path()) != op.startsWith('!'), qPrintable(op));
            const QStringList a = args(op);
            records.append({a.value(1), {{a.value(2), a.value(3)}}});
            if (a[0] == "e")
                records.last().second.append({a[4], a[5]});
        }
        QCOMPARE(bytes(), after.isNull() ? before : after);
        QVERIFY(leftovers().isEmpty());
        // Another program edits the file in place, to the same size: the store sees the edit.
        put(bytes().replace(none, "").replace('[', ';'));
        QVERIFY(run("l|", path()));
        if (before == none || ops.contains(QRegularExpression("(^|;)!?[^!we]")))
            return;
        // The same writes as records of one rewrite give the same bytes.
        put(before);
        QCOMPARE(writeSections(records, path()), !ops.contains('!'));
        QCOMPARE(bytes(), after.isNull() ? before : after);
    }

    // Something at the path that may not be replaced, or a rewrite that fails or is killed at a
    // stage: reads give the defaults (or the values, where they can be read), every write fails,
    // and the file stays exactly as it was; killed after the rename, it is the new one.
    void leftAlone_data() {
        QTest::addColumn<QString>("setup"); // a shell command beside nms.ini
        QTest::addColumn<int>("stage"); // where rewrites fail (100: none); negative: killed there
        for (const char* setup : {"chmod 000 nms.ini; chmod 777 .", "chmod 444 nms.ini",
                                  "rm nms.ini; mkfifo nms.ini", "rm nms.ini; mkdir nms.ini",
                                  "ln -sf /dev/null nms.ini", "ln -sf /proc/self/mem nms.ini",
                                  "ln -sf gone.ini nms.ini", "rm nms.ini; ln -s nms.ini nms.ini"})
            QTest::newRow(setup) << QString(setup) << 100;
        // Killed at every stage up to the rename; failing at every stage before it.
        for (int s = -int(WriteStage::Renamed); s < int(WriteStage::Renamed); ++s)
            if (qAbs(s) >= int(WriteStage::TempCreated))
                QTest::addRow(s < 0 ? "killed at %d" : "fails at %d", qAbs(s)) << "true" << s;
    }
    void leftAlone() {
        QFETCH(QString, setup);
        QFETCH(int, stage);
        put("[S]\r\nK=1\r\n");
        QVERIFY(sh(setup));
        const QByteArray before = describe();
        const QString value = setup == "true" || setup.contains("444") ? "1" : "def";
        const pid_t pid = ::fork();
        if (pid == 0) {
            // Root reads a file of mode 000; another user cannot.
            if (::geteuid() == 0 && setup.contains("000") && (::setgid(65534) || ::setuid(65534)))
                ::_exit(2);
            inistore_testing::setWriteHook(
                [&](auto s) { return int(s) == -stage ? !::raise(SIGKILL) : int(s) != stage; });
            bool ok = run("?|S|k|" + value, path()) && run(value == "1" ? "n|S|K" : "n|S|", path());
            for (const char* op : {"w|S|k|2", "k|S|k", "d|S", "r|S|k|j", "s|S|T", "c"})
                ok = ok && !run(op, path());
            ::_exit(ok && !writeSections({{"T", {{"k", "1"}}}}, path()) ? 0 : 1);
        }
        int status = -1;
        QCOMPARE(::waitpid(pid, &status, 0), pid);
        QVERIFY(stage < 0 ? WIFSIGNALED(status) : status == 0); // every check in the child held
        const bool renamed = stage == -int(WriteStage::Renamed);
        QCOMPARE(renamed ? bytes() : describe(), renamed ? "[S]\r\nK=2\r\n" : before);
        QVERIFY(leftovers().isEmpty() || stage < 0);
    }

    // A new file gets the usual mode; a link stays and the file it names keeps its own.
    void modesAndLinks() {
        QVERIFY(WriteToINI("S", "k", "1", path())); // the first write creates the file
        QCOMPARE(QFileInfo(path()).permissions() & 0x7777, QFile::Permissions(0x6644));
        QVERIFY(sh("mkdir data && mv nms.ini data/real.ini && chmod 600 data/real.ini && "
                   "ln -s data/real.ini nms.ini"));
        QVERIFY(WriteToINI("S", "k", "2", path()));
        QCOMPARE(QFileInfo(path()).symLinkTarget(), m_dir->filePath("data/real.ini"));
        QCOMPARE(bytes(), QByteArray("[S]\r\nK=2\r\n"));
        QCOMPARE(QFileInfo(path()).permissions() & 0x7777, QFile::Permissions(0x6600));
        QVERIFY(!WriteToINI("S", "k", "v", m_dir->filePath("missing/nms.ini")));
    }

    // Section names and MAC texts both ways; any other length gives the empty text.
    void macSectionNames() {
        QCOMPARE(Encode_MAC("00:1a:2B:3c:4D:5e") + Decode_MAC("001a2b3c4d5E"),
                 "001A2B3C4D5E00:1A:2B:3C:4D:5E");
        for (const char* text : {"00:1A:2B:3C:4D:5", "00:1A:2B:3C:4D:5E:", "001A2B3C4D5E", ""})
            QCOMPARE(Encode_MAC(text) + Decode_MAC(QString(text).left(11)), QString());
        QCOMPARE(Decode_MAC("001A2B3C4D5E0"), QString());
    }
};

QTEST_GUILESS_MAIN(TestStore)
#include "tst_db_store.moc"
