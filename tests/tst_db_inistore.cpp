#include "db/inistore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace db;
using inistore_testing::WriteStage;
using Records = QList<QPair<QString, IniEntries>>;

class TestIniStore : public QObject {
    Q_OBJECT

    QTemporaryDir* m_dir = nullptr;

    QString path() const { return m_dir->filePath(QStringLiteral("nms.ini")); }
    void put(const QByteArray& bytes) {
        QFile f(path());
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }
    QByteArray bytes() const {
        QFile f(path());
        if (!f.open(QIODevice::ReadOnly))
            return QByteArray("<missing>");
        return f.readAll();
    }
    QStringList otherFiles() const {
        QStringList l =
            QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
        l.removeAll(QStringLiteral("nms.ini"));
        return l;
    }
    // What stands at the path: type and mode, inode, size, change time, link text, bytes.
    QByteArray describe() const {
        const QByteArray p = QFile::encodeName(path());
        struct stat st {};
        if (::lstat(p.constData(), &st) != 0)
            return "<missing>";
        char link[256] = {};
        ::readlink(p.constData(), link, sizeof link - 1);
        return QByteArray::number(st.st_mode, 8) + ' ' + QByteArray::number(qulonglong(st.st_ino)) +
               ' ' + QByteArray::number(qlonglong(st.st_size)) + ' ' +
               QByteArray::number(qlonglong(st.st_ctim.tv_sec)) + '.' +
               QByteArray::number(qlonglong(st.st_ctim.tv_nsec)) + ' ' + link + ' ' +
               (S_ISREG(st.st_mode) ? bytes() : QByteArray());
    }

private slots:
    void init() {
        m_dir = new QTemporaryDir;
        QVERIFY(m_dir->isValid());
    }
    void cleanup() {
        inistore_testing::setWriteHook({});
        inistore_testing::setCacheEnabled(true);
        delete m_dir;
    }

    void writeCreatesFileWithUpperKey() {
        QVERIFY(WriteToINI("001A2B3C4D5E", "name", "STUDIO A", path()));
        QCOMPARE(bytes(), QByteArray("[001A2B3C4D5E]\r\nNAME=STUDIO A\r\n"));
    }

    void readInAnyCase_data() {
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::newRow("same") << "001A2B3C4D5E"
                              << "name";
        QTest::newRow("upper key") << "001A2B3C4D5E"
                                   << "NAME";
        QTest::newRow("mixed") << "001a2b3c4d5e"
                               << "nAmE";
        QTest::newRow("blanks around") << " 001A2B3C4D5E "
                                       << " name ";
    }
    void readInAnyCase() {
        QFETCH(QString, section);
        QFETCH(QString, key);
        QVERIFY(WriteToINI("001A2B3C4D5E", "name", "X", path()));
        QCOMPARE(ReadFromINI(section, key, path(), "d"), QString("X"));
    }

    void readDefaults() {
        QCOMPARE(ReadFromINI("S", "ver", path(), "2.00"), QString("2.00"));
        QCOMPARE(ReadFromINI("S", "ver", path()), QString());
        put("[S]\r\nIP=1.2.3.4\r\nVER=\r\n");
        QCOMPARE(ReadFromINI("T", "ip", path(), "2.00"), QString("2.00"));
        QCOMPARE(ReadFromINI("S", "mask", path(), "2.00"), QString("2.00"));
        QCOMPARE(ReadFromINI("S", "ver", path(), "2.00"), QString()); // present, empty
    }

    void valueReadForm_data() {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("value");
        QTest::newRow("padded name") << QByteArray("NAME=STUDIO A        ") << "STUDIO A";
        QTest::newRow("leading") << QByteArray("NAME=   x") << "x";
        QTest::newRow("tab") << QByteArray("NAME=\tx\t") << "x";
        QTest::newRow("quoted") << QByteArray("NAME=\" a b \"") << " a b ";
        QTest::newRow("one quote") << QByteArray("NAME=\"ab") << "\"ab";
        QTest::newRow("two eq") << QByteArray("NAME=a=b") << "a=b";
        QTest::newRow("blank key") << QByteArray("  NAME  = v") << "v";
        QTest::newRow("file cut after CR") << QByteArray("NAME=1.2.3.4\r") << "1.2.3.4";
    }
    void valueReadForm() {
        QFETCH(QByteArray, line);
        QFETCH(QString, value);
        put("[S]\r\n" + line + (line.endsWith('\r') ? "" : "\r\n"));
        QCOMPARE(ReadFromINI("S", "name", path()), value);
        QVERIFY(WriteToINI("S", "ip", "1", path())); // a key added after it stays apart
        QCOMPARE(ReadFromINI("S", "name", path()), value);
    }

    void paddedNameReadsBackTrimmed() {
        QVERIFY(WriteToINI("S", "name", "STUDIO A        ", path()));
        QCOMPARE(bytes(), QByteArray("[S]\r\nNAME=STUDIO A        \r\n"));
        QCOMPARE(ReadFromINI("S", "name", path()), QString("STUDIO A"));
    }

    void replaceInPlaceAndAppend() {
        put("[A]\r\nNAME=x\r\nIP=1\r\n\r\n[B]\r\nNAME=y\r\n");
        QVERIFY(WriteToINI("a", "name", "z", path()));
        QCOMPARE(bytes(), QByteArray("[A]\r\nNAME=z\r\nIP=1\r\n\r\n[B]\r\nNAME=y\r\n"));
        // Appended after the last entry; the blank line before [B] stays.
        QVERIFY(WriteToINI("A", "gw", "g", path()));
        QCOMPARE(bytes(), QByteArray("[A]\r\nNAME=z\r\nIP=1\r\nGW=g\r\n\r\n[B]\r\nNAME=y\r\n"));
        QVERIFY(WriteToINI("C", "role", "1", path()));
        QCOMPARE(bytes(), QByteArray("[A]\r\nNAME=z\r\nIP=1\r\nGW=g\r\n\r\n[B]\r\nNAME=y\r\n"
                                     "[C]\r\nROLE=1\r\n"));
    }

    void sectionKeyCount() {
        QStringList keys;
        for (int i = 0; i < 22; ++i)
            QVERIFY(WriteToINI("S", QString("k%1").arg(i), QString::number(i), path()));
        QCOMPARE(GetSectionKeyCount("S", path()), 22);
        QCOMPARE(GetSectionKeyCount("s", path()), 22);
        QCOMPARE(GetSectionKeyCount("T", path()), 0);
        QCOMPARE(GetSectionKeyCount("S", m_dir->filePath("none.ini")), 0);
    }

    void listsEverySection() {
        QStringList list{"kept"};
        LoadIniSectionsLB(list, path()); // missing file
        QCOMPARE(list, QStringList{"kept"});

        // Far beyond what a fixed buffer of names would hold.
        QByteArray file;
        QStringList expected{"kept"};
        for (int i = 0; i < 300; ++i) {
            const QString name = QString("%1").arg(i, 12, 16, QLatin1Char('0')).toUpper();
            expected << name;
            file += "[" + name.toLatin1() + "]\r\nNAME=" + QByteArray(40, 'n') + "\r\n";
        }
        put(file);
        LoadIniSectionsLB(list, path());
        QCOMPARE(list, expected);
        QCOMPARE(ReadFromINI(expected.last(), "name", path()), QString(40, 'n'));
    }

    void emptySectionLineIgnored() {
        put("[A]\r\nK=1\r\n[]\r\nJ=2\r\n[B]\r\nK=3\r\n");
        QStringList list;
        LoadIniSectionsLB(list, path());
        QCOMPARE(list, (QStringList{"A", "B"}));
        QCOMPARE(ReadFromINI("", "J", path(), "d"), QString("d"));
        QCOMPARE(GetSectionKeyCount("A", path()), 1);
    }

    void longValueReadWhole() {
        const QString v(5000, QLatin1Char('v'));
        QVERIFY(WriteToINI("S", "k", v, path()));
        QCOMPARE(ReadFromINI("S", "k", path()), v);
    }

    void keyExists_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<bool>("exists");
        QTest::newRow("A") << QByteArray("[S]\r\nK=A\r\n") << true;
        QTest::newRow("B") << QByteArray("[S]\r\nK=B\r\n") << true;
        QTest::newRow("empty") << QByteArray("[S]\r\nK=\r\n") << true;
        QTest::newRow("missing key") << QByteArray("[S]\r\nJ=1\r\n") << false;
        QTest::newRow("missing section") << QByteArray("[T]\r\nK=1\r\n") << false;
        QTest::newRow("byte-order mark") << QByteArray("\xEF\xBB\xBF[S]\r\nK=1\r\n") << true;
        QTest::newRow("lone CR") << QByteArray("[T]\rJ=1\r[S]\rK=1") << true;
    }
    void keyExists() {
        QFETCH(QByteArray, file);
        QFETCH(bool, exists);
        put(file);
        QCOMPARE(CheckIfIniKeyExists("S", "k", path()), exists);
    }

    void sectionExists() {
        put("[A]\r\n[B]\r\nK=1\r\n");
        QVERIFY(!CheckIfIniSectionExists("A", path())); // header without entries
        QVERIFY(CheckIfIniSectionExists("b", path()));
        QVERIFY(!CheckIfIniSectionExists("C", path()));
    }

    void getLong_data() {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<int>("result");
        QTest::newRow("plain") << QByteArray("42") << 42;
        QTest::newRow("blanks") << QByteArray("  -7 ") << -7;
        QTest::newRow("zero") << QByteArray("0") << 0;
        QTest::newRow("max") << QByteArray("2147483647") << 2147483647;
        QTest::newRow("min") << QByteArray("-2147483648") << int(-2147483648LL);
        QTest::newRow("too big") << QByteArray("2147483648") << -1;
        QTest::newRow("exponent") << QByteArray("1e3") << -1;
        QTest::newRow("hex") << QByteArray("0x10") << -1;
        QTest::newRow("fraction") << QByteArray("1.5") << -1;
        QTest::newRow("comma") << QByteArray("1,5") << -1;
        QTest::newRow("plus") << QByteArray("+5") << -1;
        QTest::newRow("empty") << QByteArray("") << -1;
        QTest::newRow("letters") << QByteArray("abc") << -1;
        QTest::newRow("trailing text") << QByteArray("12abc") << -1;
    }
    void getLong() {
        QFETCH(QByteArray, value);
        QFETCH(int, result);
        put("[S]\r\nK=" + value + "\r\n");
        QCOMPARE(GetLongFromINI("S", "k", path(), -1), result);
        QCOMPARE(GetLongFromINI("S", "missing", path(), -1), -1);
        QCOMPARE(GetLongFromINI("S", "missing", path()), 0);
    }

    void deleteSectionAndKey() {
        put("[A]\r\nK=1\r\nJ=2\r\n\r\n[B]\r\nK=3\r\n[a]\r\nK=4\r\n");
        QVERIFY(DeleteIniKey("A", "j", path()));
        QCOMPARE(bytes(), QByteArray("[A]\r\nK=1\r\n\r\n[B]\r\nK=3\r\n[a]\r\nK=4\r\n"));
        QVERIFY(DeleteIniSection("a", path()));
        QCOMPARE(bytes(), QByteArray("[B]\r\nK=3\r\n"));
        QVERIFY(DeleteIniSection("Z", path())); // nothing to do
        QCOMPARE(bytes(), QByteArray("[B]\r\nK=3\r\n"));
    }

    void renameKey() {
        put("[S]\r\nNAME=x\r\nIP=1\r\n");
        QVERIFY(RenameIniKey("S", "name", "title", path()));
        QCOMPARE(bytes(), QByteArray("[S]\r\nIP=1\r\nTITLE=x\r\n"));
        // A name differing only in case keeps the entry.
        QVERIFY(RenameIniKey("S", "ip", "Ip", path()));
        QCOMPARE(bytes(), QByteArray("[S]\r\nIP=1\r\nTITLE=x\r\n"));
        QVERIFY(!RenameIniKey("S", "gw", "x", path()));
        QCOMPARE(bytes(), QByteArray("[S]\r\nIP=1\r\nTITLE=x\r\n"));
    }

    void renameSectionSplitsAtFirstEquals() {
        put("[OLD]\r\nname=a=b\r\nIP= 1 \r\n[Z]\r\nK=1\r\n");
        QVERIFY(RenameIniSection("old", "NEW", path()));
        QCOMPARE(bytes(), QByteArray("[Z]\r\nK=1\r\n[NEW]\r\nNAME=a=b\r\nIP= 1 \r\n"));
        QCOMPARE(ReadFromINI("NEW", "name", path()), QString("a=b"));
        QVERIFY(!RenameIniSection("OLD", "X", path()));
        QVERIFY(RenameIniSection("new", "New", path()));
        QCOMPARE(bytes(), QByteArray("[Z]\r\nK=1\r\n[New]\r\nNAME=a=b\r\nIP= 1 \r\n"));
    }

    void sectionKeys() {
        put("[S]\r\nNAME=x\r\n; note\r\nip=1\r\nnoequals\r\n");
        QStringList l{"first"};
        LoadIniSectionKeysLB("s", l, path());
        QCOMPARE(l, (QStringList{"first", "NAME", "ip"}));
    }

    void latin1Bytes() {
        put(QByteArray("[S]\r\nNAME=\x80\xE9\xFF\r\n"));
        QCOMPARE(ReadFromINI("S", "name", path()), QString::fromLatin1("\x80\xE9\xFF"));
        QVERIFY(WriteToINI("S", "name", QString::fromLatin1("\xC4\xE4\xDF"), path()));
        QCOMPARE(bytes(), QByteArray("[S]\r\nNAME=\xC4\xE4\xDF\r\n"));
        // Case-insensitive within Latin-1.
        QVERIFY(WriteToINI(QString::fromLatin1("\xE9t\xE9"), "k", "1", path()));
        QCOMPARE(ReadFromINI(QString::fromLatin1("\xC9T\xC9"), "K", path()), QString("1"));
        // Not one byte per character: refused.
        const QByteArray before = bytes();
        QVERIFY(!WriteToINI("S", "name", QString(QChar(0x20AC)), path()));
        QCOMPARE(bytes(), before);
    }

    void refused_data() {
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::newRow("CR in value") << "S"
                                     << "k"
                                     << "a\rb";
        QTest::newRow("LF in value") << "S"
                                     << "k"
                                     << "a\nb";
        QTest::newRow("NUL in value") << "S"
                                      << "k" << QString("a") + QChar(0) + "b";
        QTest::newRow("CR in key") << "S"
                                   << "k\r"
                                   << "v";
        QTest::newRow("LF in key") << "S"
                                   << "k\nx"
                                   << "v";
        QTest::newRow("NUL in key") << "S" << QString("k") + QChar(0) << "v";
        QTest::newRow("LF in section") << "S\n[T"
                                       << "k"
                                       << "v";
        QTest::newRow("CR in section") << "S\r"
                                       << "k"
                                       << "v";
        QTest::newRow("NUL in section") << QString("S") + QChar(0) << "k"
                                        << "v";
        QTest::newRow("empty section") << ""
                                       << "k"
                                       << "v";
        QTest::newRow("blank section") << "  "
                                       << "k"
                                       << "v";
        QTest::newRow("empty key") << "S"
                                   << ""
                                   << "v";
        QTest::newRow("equals in key") << "S"
                                       << "a=b"
                                       << "v";
        QTest::newRow("bracket in section") << "S]x"
                                            << "k"
                                            << "v";
    }
    void refused() {
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, value);
        QVERIFY(!WriteToINI(section, key, value, path()));
        QVERIFY(!QFile::exists(path()));
        put("[S]\r\nK=old\r\n");
        QVERIFY(!WriteToINI(section, key, value, path()));
        QVERIFY(!WriteEntriesToINI(section, {{"ok", "1"}, {key, value}}, path()));
        QCOMPARE(bytes(), QByteArray("[S]\r\nK=old\r\n"));
        QCOMPARE(ReadFromINI(section, key, path(), "def"),
                 section == "S" && key == "k" ? QString("old") : QString("def"));
        QVERIFY(otherFiles().isEmpty());
    }

    void handEditedFile() {
        const QByteArray file("; written by hand\n\n[A]\nNAME = one \n  junk line\n;c=1\n"
                              "IP=1.2.3.4\n\n[a]\nNAME=dup\n[B]\r\nNAME=two");
        put(file);
        QCOMPARE(ReadFromINI("A", "name", path()), QString("one"));
        QCOMPARE(ReadFromINI("a", "ip", path()), QString("1.2.3.4"));
        QCOMPARE(ReadFromINI("A", ";c", path(), "d"), QString("d"));
        QCOMPARE(ReadFromINI("B", "name", path()), QString("two"));
        QCOMPARE(GetSectionKeyCount("A", path()), 2);
        QStringList l;
        LoadIniSectionsLB(l, path());
        QCOMPARE(l, (QStringList{"A", "a", "B"}));
        // Changing one line keeps all others as they were.
        QVERIFY(WriteToINI("A", "ip", "5.6.7.8", path()));
        QCOMPARE(bytes(), QByteArray("; written by hand\n\n[A]\nNAME = one \n  junk line\n;c=1\n"
                                     "IP=5.6.7.8\r\n\n[a]\nNAME=dup\n[B]\r\nNAME=two"));
        // Appending to a last line without line end gives it one.
        QVERIFY(WriteToINI("B", "ip", "9", path()));
        QVERIFY(bytes().endsWith("[B]\r\nNAME=two\r\nIP=9\r\n"));
        QVERIFY(WriteToINI("A", "gw", "g", path()));
        QVERIFY(bytes().contains("IP=5.6.7.8\r\nGW=g\r\n\n[a]"));
    }

    // One rewrite gives the same bytes as the same records written one by one.
    void oneRewrite_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<Records>("records");
        QTest::addColumn<QByteArray>("expected"); // also key by key; empty: not compared
        QTest::newRow("keys of one section")
            << QByteArray("[X]\r\nK=1\r\n\r\n[S]\r\nIP=0\r\n")
            << Records{{"S", {{"name", "N"}, {"ip", "1.2.3.4"}, {"name", "M"}, {"role", "2"}}}}
            << QByteArray("[X]\r\nK=1\r\n\r\n[S]\r\nIP=1.2.3.4\r\nNAME=M\r\nROLE=2\r\n");
        // The refused record is left out and reported; the others are written.
        QTest::newRow("refused record") << QByteArray("[X]\r\nK=1\r\n")
                                        << Records{{"S", {{"name", "N"}, {"ip", "1.2.3.4"}}},
                                                   {"T", {{"role", "1"}}},
                                                   {"bad\nname", {{"role", "9"}}},
                                                   {"S", {{"name", "M"}}}}
                                        << QByteArray("[X]\r\nK=1\r\n[S]\r\nNAME=M\r\nIP=1.2.3.4"
                                                      "\r\n[T]\r\nROLE=1\r\n");
        QTest::newRow("byte-order mark, lone CR")
            << QByteArray("\xEF\xBB\xBF[S]\rIP=0\r[T]\rK=1")
            << Records{{"s", {{"ip", "1"}, {"gw", "2"}}}, {"t", {{"j", "3"}}}}
            << QByteArray("\xEF\xBB\xBF[S]\rIP=1\r\nGW=2\r\n[T]\rK=1\r\nJ=3\r\n");
        Records many;
        for (int i = 0; i < 100; ++i) {
            IniEntries record;
            for (int k = 0; k < 18; ++k)
                record.append({QString("key%1").arg(k), QString::number(i * k)});
            many.append({QString("%1").arg(i, 12, 16, QLatin1Char('0')), record});
            if (i % 2)
                many.append({i % 4 == 1 ? "A" : "b", {{QString("k%1").arg(i % 7), "v"}}});
        }
        QTest::newRow("many sections")
            << QByteArray("; top\n[A]\nK=1\n\n[B]\r\nJ=2") << many << QByteArray();
    }
    void oneRewrite() {
        QFETCH(QByteArray, file);
        QFETCH(Records, records);
        QFETCH(QByteArray, expected);
        put(file);
        bool allWritable = true;
        for (const auto& [section, entries] : records) {
            allWritable = allWritable && !section.contains('\n');
            QCOMPARE(WriteEntriesToINI(section, entries, path()), !section.contains('\n'));
        }
        const QByteArray oneByOne = bytes();
        if (!expected.isEmpty()) {
            QCOMPARE(oneByOne, expected);
            put(file);
            for (const auto& [section, entries] : records)
                for (const auto& [k, v] : entries)
                    QCOMPARE(WriteToINI(section, k, v, path()), !section.contains('\n'));
            QCOMPARE(bytes(), expected);
        }
        put(file);
        int renames = 0;
        inistore_testing::setWriteHook([&](WriteStage s) {
            renames += s == WriteStage::Renamed;
            return true;
        });
        QCOMPARE(WriteSectionsToINI(records, path()), allWritable);
        QCOMPARE(renames, 1);
        QCOMPARE(bytes(), oneByOne);
    }

    void createEmpty() {
        put("[S]\r\nK=1\r\n");
        QVERIFY(CreateEmptyIniFile(path()));
        QCOMPARE(bytes(), QByteArray());
    }

    void linkFollowedModeKept() {
        // The link stays; the file it names is replaced in its own directory, mode and all.
        QVERIFY(QDir(m_dir->path()).mkdir("data"));
        const QString target = m_dir->filePath("data/real.ini");
        QVERIFY(QFile::link("data/real.ini", path()));
        put("[S]\r\nK=1\r\n");
        QVERIFY(::chmod(QFile::encodeName(target).constData(), 0600) == 0);
        QVERIFY(WriteToINI("S", "k", "2", path()));
        QCOMPARE(QFileInfo(path()).symLinkTarget(), target);
        QCOMPARE(bytes(), QByteArray("[S]\r\nK=2\r\n"));
        QCOMPARE(QDir(m_dir->filePath("data")).entryList(QDir::Files | QDir::Hidden),
                 QStringList{"real.ini"});
        struct stat st {};
        QVERIFY(::stat(QFile::encodeName(target).constData(), &st) == 0);
        QCOMPARE(int(st.st_mode & 07777), 0600);
    }

    // Something at the path that the store may not replace: reads give the defaults (or the
    // values, where it can read them), every write fails, and it stays exactly as it was.
    void oddFileLeftAlone_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("readable");
        QTest::newRow("unreadable") << "mode 000" << false;
        QTest::newRow("read-only") << "mode 444" << true;
        QTest::newRow("FIFO") << "fifo" << false;
        QTest::newRow("directory") << "dir" << false;
        QTest::newRow("link to a device") << "/dev/null" << false;
        QTest::newRow("link to nothing") << "gone.ini" << false;
        QTest::newRow("loop of links") << "nms.ini" << false;
    }
    void oddFileLeftAlone() {
        QFETCH(QString, kind);
        QFETCH(bool, readable);
        const QByteArray p = QFile::encodeName(path());
        if (kind.startsWith("mode")) {
            put("[S]\r\nK=1\r\n");
            QVERIFY(::chmod(p.constData(), kind.endsWith("000") ? 0 : 0444) == 0);
        } else if (kind == "fifo") {
            QVERIFY(::mkfifo(p.constData(), 0644) == 0);
        } else if (kind == "dir") {
            QVERIFY(QDir(m_dir->path()).mkdir("nms.ini"));
        } else {
            QVERIFY(::symlink(QFile::encodeName(kind).constData(), p.constData()) == 0);
        }
        const QByteArray before = describe();
        QVERIFY(::chmod(QFile::encodeName(m_dir->path()).constData(), 0777) == 0);
        const pid_t pid = ::fork();
        QVERIFY(pid >= 0);
        if (pid == 0) {
            // Root reads a file of mode 000; another user cannot.
            if (::geteuid() == 0 && kind == "mode 000" && (::setgid(65534) || ::setuid(65534)))
                ::_exit(2);
            const bool ok = ReadFromINI("S", "k", path(), "d") == QString(readable ? "1" : "d") &&
                            GetSectionKeyCount("S", path()) == int(readable) &&
                            !WriteToINI("S", "k", "2", path()) &&
                            !WriteSectionsToINI({{"T", {{"k", "1"}}}}, path()) &&
                            !DeleteIniKey("S", "k", path()) && !DeleteIniSection("S", path()) &&
                            !RenameIniKey("S", "k", "j", path()) &&
                            !RenameIniSection("S", "T", path()) && !CreateEmptyIniFile(path());
            ::_exit(ok ? 0 : 1);
        }
        int status = -1;
        QCOMPARE(::waitpid(pid, &status, 0), pid);
        QCOMPARE(status, 0); // every check in the child held
        QCOMPARE(describe(), before);
        QVERIFY(otherFiles().isEmpty());
    }

    void failedWriteLeavesOldFile_data() {
        QTest::addColumn<int>("stage");
        QTest::newRow("temp created") << int(WriteStage::TempCreated);
        QTest::newRow("written") << int(WriteStage::Written);
        QTest::newRow("synced") << int(WriteStage::Synced);
        QTest::newRow("rename") << int(WriteStage::BeforeRename);
    }
    void failedWriteLeavesOldFile() {
        QFETCH(int, stage);
        const QByteArray old("[S]\r\nK=1\r\n\n");
        put(old);
        QCOMPARE(ReadFromINI("S", "k", path()), QString("1"));
        inistore_testing::setWriteHook([stage](WriteStage s) { return int(s) != stage; });
        QVERIFY(!WriteToINI("S", "k", "2", path()));
        QVERIFY(!DeleteIniSection("S", path()));
        QVERIFY(!RenameIniKey("S", "k", "j", path()));
        QVERIFY(!CreateEmptyIniFile(path()));
        QCOMPARE(bytes(), old);
        QVERIFY(otherFiles().isEmpty());
        QCOMPARE(ReadFromINI("S", "k", path()), QString("1"));
    }

    void unwritableDirectory() {
        QVERIFY(!WriteToINI("S", "k", "v", m_dir->filePath("missing/nms.ini")));
        if (::geteuid() == 0)
            return; // permissions do not stop root; the hook cases cover the failure
        put("[S]\r\nK=1\r\n");
        QVERIFY(::chmod(QFile::encodeName(m_dir->path()).constData(), 0555) == 0);
        const bool written = WriteToINI("S", "k", "2", path());
        ::chmod(QFile::encodeName(m_dir->path()).constData(), 0755);
        QVERIFY(!written);
        QCOMPARE(bytes(), QByteArray("[S]\r\nK=1\r\n"));
        QVERIFY(otherFiles().isEmpty());
    }

    void killedDuringWrite_data() {
        QTest::addColumn<int>("stage");
        QTest::addColumn<bool>("newFile");
        QTest::newRow("temp created") << int(WriteStage::TempCreated) << false;
        QTest::newRow("written") << int(WriteStage::Written) << false;
        QTest::newRow("synced") << int(WriteStage::Synced) << false;
        QTest::newRow("before rename") << int(WriteStage::BeforeRename) << false;
        QTest::newRow("renamed") << int(WriteStage::Renamed) << true;
    }
    void killedDuringWrite() {
        QFETCH(int, stage);
        QFETCH(bool, newFile);
        put("[S]\r\nK=old\r\n");
        const pid_t pid = ::fork();
        QVERIFY(pid >= 0);
        if (pid == 0) {
            inistore_testing::setWriteHook([stage](WriteStage s) {
                if (int(s) == stage)
                    ::raise(SIGKILL);
                return true;
            });
            WriteToINI("S", "k", "new", path());
            ::_exit(0);
        }
        int status = 0;
        QCOMPARE(::waitpid(pid, &status, 0), pid);
        QVERIFY(WIFSIGNALED(status));
        QCOMPARE(bytes(),
                 newFile ? QByteArray("[S]\r\nK=new\r\n") : QByteArray("[S]\r\nK=old\r\n"));
    }

    void killedWhileWritingInLoop() {
        const QByteArray a = "[S]\r\nK=" + QByteArray(20000, 'a') + "\r\n";
        const QByteArray b = "[S]\r\nK=" + QByteArray(30000, 'b') + "\r\n";
        put(a);
        const pid_t pid = ::fork();
        QVERIFY(pid >= 0);
        if (pid == 0) {
            for (int i = 0;; ++i)
                WriteToINI("S", "k", QString(i % 2 ? 20000 : 30000, QChar(i % 2 ? 'a' : 'b')),
                           path());
        }
        ::usleep(150000);
        ::kill(pid, SIGKILL);
        int status = 0;
        QCOMPARE(::waitpid(pid, &status, 0), pid);
        const QByteArray now = bytes();
        QVERIFY(now == a || now == b);
        const QString v = ReadFromINI("S", "k", path());
        QVERIFY(v.size() == 20000 || v.size() == 30000);
    }

    void editByAnotherProgramIsSeen() {
        put("[S]\r\nK=1\r\n");
        QCOMPARE(ReadFromINI("S", "k", path()), QString("1"));
        put("[S]\r\nK=2\r\n"); // same size, same file
        QCOMPARE(ReadFromINI("S", "k", path()), QString("2"));
        const QString other = m_dir->filePath("other");
        {
            QFile f(other);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("[S]\r\nK=3\r\n");
        }
        QVERIFY(::rename(QFile::encodeName(other).constData(),
                         QFile::encodeName(path()).constData()) == 0);
        QCOMPARE(ReadFromINI("S", "k", path()), QString("3"));
        QVERIFY(QFile::remove(path()));
        QCOMPARE(ReadFromINI("S", "k", path(), "gone"), QString("gone"));
    }

    void withoutCacheSameResults() {
        inistore_testing::setCacheEnabled(false);
        QVERIFY(WriteToINI("S", "k", "1", path()));
        QVERIFY(WriteToINI("S", "j", "2", path()));
        QCOMPARE(ReadFromINI("S", "j", path()), QString("2"));
        QCOMPARE(bytes(), QByteArray("[S]\r\nK=1\r\nJ=2\r\n"));
    }
};

QTEST_GUILESS_MAIN(TestIniStore)
#include "tst_db_inistore.moc"
