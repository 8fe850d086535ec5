// The INI store on real files: the bytes of nms.ini after each operation, hand-edited files,
// files it may not replace, failed and killed rewrites; and the MAC section names.
#include "db/inistore.h"
#include "db/records.h"

#include <QDir>
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
    QTemporaryDir* m_dir = nullptr;

    QString path() const { return m_dir->filePath("nms.ini"); }
    QByteArray native() const { return QFile::encodeName(path()); }
    void put(const QByteArray& b) {
        QFile f(path());
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(b) == b.size());
    }
    QByteArray bytes() const {
        QFile f(path());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : none;
    }
    QStringList leftovers() const { // temporary files of a rewrite
        return QDir(m_dir->path()).entryList({".*tmp*"}, QDir::Files | QDir::Hidden);
    }
    QByteArray describe() const { // what stands at the path: mode, inode, change, link, bytes
        struct stat st {};
        char link[256] = {};
        if (::lstat(native().constData(), &st) != 0)
            return none;
        ::readlink(native().constData(), link, sizeof link - 1);
        return QByteArray::number(st.st_mode) + ' ' + QByteArray::number(st.st_ino) + ' ' +
               QByteArray::number(st.st_ctim.tv_nsec) + link + (S_ISREG(st.st_mode) ? bytes() : "");
    }
    // One operation: its letter and arguments split at '|', '@' for a NUL character.
    static QStringList args(const QString& op) {
        return op.mid(op.startsWith('!') ? 1 : 0).replace('@', QChar(0)).split('|');
    }
    static bool run(const QString& op, const QString& p) {
        const QStringList a = args(op);
        const char c = a[0][0].toLatin1();
        return c == 'w'   ? WriteToINI(a[1], a[2], a[3], p)
               : c == 'e' ? WriteEntriesToINI(a[1], {{a[2], a[3]}, {a[4], a[5]}}, p)
               : c == 'k' ? DeleteIniKey(a[1], a[2], p)
               : c == 'd' ? DeleteIniSection(a[1], p)
               : c == 'r' ? RenameIniKey(a[1], a[2], a[3], p)
               : c == 's' ? RenameIniSection(a[1], a[2], p)
                          : CreateEmptyIniFile(p);
    }

private slots:
    void initTestCase() {
        ::umask(022);
        // A parser that stops advancing would fill the machine's memory; fail instead.
        const rlimit limit{2ul << 30, 2ul << 30};
        QCOMPARE(::setrlimit(RLIMIT_AS, &limit), 0);
    }
    void init() {
        m_dir = new QTemporaryDir;
        QVERIFY(m_dir->isValid());
    }
    void cleanup() {
        inistore_testing::setWriteHook({});
        delete m_dir;
    }

    // Operations separated by ';', each expected to succeed, or to fail when it starts with '!'.
    void writes_data() {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QString>("ops");
        QTest::addColumn<QByteArray>("after");
        auto row = [](const char* name, const QByteArray& before, const QString& ops,
                      const QByteArray& after) { QTest::newRow(name) << before << ops << after; };
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
            "w|s|ip|1;w|s|gw|2;w|t|j|3", "\xEF\xBB\xBF[S]\rIP=1\r\nGW=2\r\n[T]\rK=1\r\nJ=3\r\n");
        row("delete key, sections of either case",
            "[A]\r\nK=1\r\nJ=2\r\n\r\n[B]\r\nK=3\r\n[a]\r\nK=4\r\n", "k|A|j;d|a;d|Z;k|B|x",
            "[B]\r\nK=3\r\n");
        row("deleting nothing creates nothing", none, "d|Z;k|Z|k;!r|Z|k|j;!s|Z|Y", none);
        row("rename key", "[S]\r\nNAME=x\r\nIP=1\r\n", "r|S|name|title;r|S|ip|Ip;!r|S|gw|x",
            "[S]\r\nIP=1\r\nTITLE=x\r\n");
        row("rename section", "[OLD]\r\nname=a=b\r\nIP= 1 \r\n[Z]\r\nK=1\r\n",
            "s|old|NEW;!s|OLD|X;s|new|New", "[Z]\r\nK=1\r\n[New]\r\nNAME=a=b\r\nIP= 1 \r\n");
        row("Latin-1", "[S]\r\nNAME=\x80\r\n",
            QString::fromLatin1("w|S|name|\xC4\xE4\xDF;w|\xE9t|k|1;w|\xC9T|k|2;!w|S|k|") +
                QChar(0x20AC),
            "[S]\r\nNAME=\xC4\xE4\xDF\r\n[\xE9t]\r\nK=2\r\n");
        const QString refused = "!w|S|k|a\rb;!w|S|k|a\nb;!w|S|k|a@b;!w|S|k\r|v;!w|S|k\nx|v;"
                                "!w|S|k@|v;!w|S\n[T|k|v;!w|S\r|k|v;!w|S@|k|v;!w||k|v;!w|  |k|v;"
                                "!w|S||v;!w|S|a=b|v;!w|S]x|k|v;!e|S|ok|1|a=b|v";
        row("refused", "[S]\r\nK=old\r\n", refused, "[S]\r\nK=old\r\n");
        row("refused, no file", none, refused, none);
        row("emptied", "[S]\r\nK=1\r\n", "c", "");
    }
    void writes() {
        QFETCH(QByteArray, before);
        QFETCH(QString, ops);
        QFETCH(QByteArray, after);
        if (before != none)
            put(before);
        QList<QPair<QString, IniEntries>> records;
        for (const QString& op : ops.split(';')) {
            QVERIFY2(run(op, path()) != op.startsWith('!'), qPrintable(op));
            const QStringList a = args(op);
            records.append({a.value(1), {}});
            for (int i = 2; i + 1 < a.size(); i += 2)
                records.last().second.append({a[i], a[i + 1]});
        }
        QCOMPARE(bytes(), after);
        QVERIFY(leftovers().isEmpty());
        if (before == none || ops.contains(QRegularExpression("(^|;)!?[^!we]")))
            return;
        // The same writes as records of one rewrite give the same bytes.
        put(before);
        int renames = 0;
        inistore_testing::setWriteHook([&](WriteStage s) {
            renames += s == WriteStage::Renamed;
            return true;
        });
        QCOMPARE(WriteSectionsToINI(records, path()), !ops.contains('!'));
        QCOMPARE(renames, 1);
        QCOMPARE(bytes(), after);
    }

    void reads_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value"); // "def": missing
        QTest::addColumn<int>("number");    // -1: no number
        auto row = [](const char* name, const QByteArray& file, const QString& value,
                      int number = -1, const QString& section = "S", const QString& key = "name") {
            QTest::newRow(name) << file << section << key << value << number;
        };
        row("padded name", "[S]\r\nNAME=STUDIO A        \r\n", "STUDIO A");
        row("any case, blanks", "[001a2b3c4d5e]\r\nname=X\r\n", "X", -1, " 001A2B3C4D5E ",
            " NaMe ");
        row("blanks, tabs", "[S]\r\n  NAME  =\t x\t\r\n", "x");
        row("quoted", "[S]\r\nNAME=\" a b \"\r\n", " a b ");
        row("one quote", "[S]\r\nNAME=\"ab\r\n", "\"ab");
        row("two equals", "[S]\r\nNAME=a=b\r\n", "a=b");
        row("empty value", "[S]\r\nNAME=\r\n", "");
        row("cut after CR", "[S]\r\nNAME=12\r", "12", 12);
        row("missing key", "[S]\r\nIP=1\r\n", "def");
        row("missing section", "[T]\r\nNAME=1\r\n", "def");
        row("missing file", none, "def");
        row("comment", "[S]\n;NAME=1\n", "def");
        row("first of two sections", "[s]\nNAME=1\n[S]\nNAME=2\n", "1", 1);
        row("first of two keys", "[S]\nNAME=1\nname=2\n", "1", 1);
        row("byte-order mark", "\xEF\xBB\xBF[S]\r\nNAME=1\r\n", "1", 1);
        row("lone CR", "[T]\rNAME=0\r[S]\rNAME=1", "1", 1);
        row("Latin-1", "[S]\r\nNAME=\x80\xE9\xFF\r\n", QString::fromLatin1("\x80\xE9\xFF"));
        row("Latin-1 case", "[\xE9T]\r\nNAME=1\r\n", "1", 1, QString::fromLatin1("\xC9t"));
        row("long", "[S]\r\nNAME=" + QByteArray(5000, 'v') + "\r\n", QString(5000, 'v'));
        for (const char* n : {" -7 ", "2147483647", "-2147483648", "0", "007"})
            row(n, QByteArray("[S]\r\nNAME=") + n, QString(n).trimmed(), QString(n).toInt());
        for (const char* n : {"2147483648", "1e3", "0x10", "1.5", "1,5", "+5", "12abc", "- 5"})
            row(n, QByteArray("[S]\r\nNAME=") + n, n);
    }
    void reads() {
        QFETCH(QByteArray, file);
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(int, number);
        if (file != none)
            put(file);
        QCOMPARE(ReadFromINI(section, key, path(), "def"), value);
        QCOMPARE(GetLongFromINI(section, key, path(), -1), number);
        QCOMPARE(CheckIfIniKeyExists(section, key, path()), value != "def");
        // Another program edits the file in place, to the same size: the edit is seen.
        if (file != none)
            put(QByteArray(file).replace('=', ':'));
        QCOMPARE(ReadFromINI(section, key, path(), "def"), QString("def"));
    }

    void sections() {
        QStringList l{"kept"};
        LoadIniSectionsLB(l, path());
        QCOMPARE(l, QStringList{"kept"});
        QByteArray many; // far more than a fixed buffer of names would hold
        for (int i = 0; i < 300; ++i)
            many += QString("[%1]\r\nNAME=%2\r\n").arg(i, 12, 16, QChar('0')).arg(i).toLatin1();
        put("; c\r\n[A]\r\nK=1\r\n; c\r\nip=2\r\nno equals\r\n[]\r\nJ=2\r\n[B]\r\n[a]\r\nL=4\r\n" +
            many);
        LoadIniSectionsLB(l, path());
        QCOMPARE(l.mid(0, 5), (QStringList{"kept", "A", "B", "a", "000000000000"}));
        QCOMPARE(l.size(), 304);
        QCOMPARE(ReadFromINI("00000000012B", "name", path()), QString("299"));
        QCOMPARE(GetSectionKeyCount("a", path()) * 10 + GetSectionKeyCount("B", path()), 20);
        QVERIFY(CheckIfIniSectionExists("a", path()) && !CheckIfIniSectionExists("B", path()));
        LoadIniSectionKeysLB("a", l = {}, path());
        QCOMPARE(l, (QStringList{"K", "ip"}));
    }

    // Something at the path that the store may not replace: reads give the defaults (or the
    // values, where it can read them), every write fails, and it stays exactly as it was.
    void cannotReplace_data() {
        QTest::addColumn<QString>("kind");
        for (const char* kind : {"mode 000", "mode 444", "fifo", "dir", "/dev/null",
                                 "/proc/self/mem", "gone.ini", "nms.ini"})
            QTest::newRow(kind) << QString(kind); // the others are where a link points
    }
    void cannotReplace() {
        QFETCH(QString, kind);
        if (kind.startsWith("mode")) {
            put("[S]\r\nK=1\r\n");
            QCOMPARE(::chmod(native().constData(), kind.endsWith("000") ? 0 : 0444), 0);
        } else if (kind == "fifo") {
            QCOMPARE(::mkfifo(native().constData(), 0644), 0);
        } else if (kind == "dir") {
            QVERIFY(QDir(m_dir->path()).mkdir("nms.ini"));
        } else {
            QCOMPARE(::symlink(QFile::encodeName(kind).constData(), native().constData()), 0);
        }
        const QByteArray before = describe();
        const QString read = kind == "mode 444" ? "1" : "d";
        QCOMPARE(::chmod(QFile::encodeName(m_dir->path()).constData(), 0777), 0);
        const pid_t pid = ::fork();
        if (pid == 0) {
            // Root reads a file of mode 000; another user cannot.
            if (::geteuid() == 0 && kind == "mode 000" && (::setgid(65534) || ::setuid(65534)))
                ::_exit(2);
            bool ok = ReadFromINI("S", "k", path(), "d") == read &&
                      GetSectionKeyCount("S", path()) == int(read == "1") &&
                      !WriteSectionsToINI({{"T", {{"k", "1"}}}}, path());
            for (const char* op : {"w|S|k|2", "k|S|k", "d|S", "r|S|k|j", "s|S|T", "c"})
                ok = ok && !run(op, path());
            ::_exit(ok ? 0 : 1);
        }
        int status = -1;
        QCOMPARE(::waitpid(pid, &status, 0), pid);
        QCOMPARE(status, 0); // every check in the child held
        QCOMPARE(describe(), before);
        QVERIFY(leftovers().isEmpty());
    }

    // A rewrite that fails or is killed at any stage leaves the old file or the new one whole.
    void interruptedWrite_data() {
        QTest::addColumn<int>("stage");
        QTest::addColumn<bool>("kill");
        for (int s = int(WriteStage::TempCreated); s <= int(WriteStage::Renamed); ++s) {
            QTest::addRow("killed at %d", s) << s << true;
            if (s != int(WriteStage::Renamed))
                QTest::addRow("fails at %d", s) << s << false;
        }
    }
    void interruptedWrite() {
        QFETCH(int, stage);
        QFETCH(bool, kill);
        put("[S]\r\nK=old\r\n\n");
        QCOMPARE(ReadFromINI("S", "k", path()), QString("old"));
        const pid_t pid = ::fork();
        if (pid == 0) {
            inistore_testing::setWriteHook([&](WriteStage s) {
                if (int(s) == stage && kill)
                    ::raise(SIGKILL);
                return int(s) != stage;
            });
            bool failed = true;
            for (const char* op : {"w|S|k|new", "d|S", "r|S|k|j", "c"})
                failed = failed && !run(op, path());
            ::_exit(failed ? 0 : 1);
        }
        int status = -1;
        QCOMPARE(::waitpid(pid, &status, 0), pid);
        QVERIFY(kill ? WIFSIGNALED(status) : status == 0);
        const QString now = stage == int(WriteStage::Renamed) ? "new" : "old";
        QCOMPARE(bytes(), "[S]\r\nK=" + now.toLatin1() + "\r\n\n");
        QCOMPARE(ReadFromINI("S", "k", path()), now);
        QVERIFY(leftovers().isEmpty() || kill);
        QVERIFY(!WriteToINI("S", "k", "v", m_dir->filePath("missing/nms.ini")));
    }

    // A new file gets the usual mode; a link stays and the file it names keeps its own.
    void modesAndLinks() {
        QVERIFY(WriteToINI("S", "k", "1", path()));
        QCOMPARE(QFileInfo(path()).permissions() & 0x7777, QFile::Permissions(0x6644));
        QVERIFY(QDir(m_dir->path()).mkdir("data"));
        const QString target = m_dir->filePath("data/real.ini");
        QVERIFY(QFile::rename(path(), target) && QFile::link("data/real.ini", path()));
        QVERIFY(QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner));
        QVERIFY(WriteToINI("S", "k", "2", path()));
        QCOMPARE(QFileInfo(path()).symLinkTarget(), target);
        QCOMPARE(bytes(), QByteArray("[S]\r\nK=2\r\n"));
        QCOMPARE(QFileInfo(target).permissions() & 0x7777, QFile::Permissions(0x6600));
        QCOMPARE(QDir(m_dir->filePath("data")).entryList(QDir::Files | QDir::Hidden).size(), 1);
    }

    void macSectionNames_data() {
        QTest::addColumn<QString>("mac");
        QTest::addColumn<QString>("section");
        QTest::newRow("upper") << "00:1A:2B:3C:4D:5E"
                               << "001A2B3C4D5E";
        QTest::newRow("lower") << "00:1a:2b:3c:4d:5e"
                               << "001A2B3C4D5E";
        for (const char* mac : {"00:1A:2B:3C:4D:5", "00:1A:2B:3C:4D:5E:", "001A2B3C4D5E", ""})
            QTest::newRow(mac) << mac << "";
    }
    void macSectionNames() {
        QFETCH(QString, mac);
        QFETCH(QString, section);
        QCOMPARE(Encode_MAC(mac), section);
        if (!section.isEmpty())
            QCOMPARE(Decode_MAC(section.toLower()), mac.toUpper());
        QCOMPARE(Decode_MAC(section.left(11)) + Decode_MAC(section + "0"), QString());
    }
};

QTEST_GUILESS_MAIN(TestStore)
#include "tst_db_store.moc"
