// Start-up and the element list at fleet scale.
//
// 1. The real program (build/app/kestrune-nms, or each --program given) as a child, started
//    with nms.ini holding 0, 1,000 and 10,000 decoder records (18 entries each), console
//    boxes, KESTRUNE_PRINT_TITLE=1 (it ends once the title is set), its own program
//    directory, settings and lock. Wall time, CPU time and peak memory as the kernel counts
//    them for the child (wait4), median of --runs runs; programs take turns run by run.
// 2. In this process, through the station (offscreen window shown): RefreshList() on 10,000
//    records, the longest the event loop went without running a due 0 ms timer during it,
//    and one node selection's load into the editor.
// 3. Memory over a long run: 1,000 refreshes of a 1,000-element list.
//
//    startup [--runs N] [--refresh-runs N] [--program PATH]... [--no-process] [--no-station]
#include "bench/benchdatabase.h"

#include "app/frmMain.h"
#include "app/station.h"
#include "db/frmTreeView.h"
#include "fakes/memorysettings.h"
#include "fakes/scriptedmessagebox.h"
#include "platform/programdir.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <malloc.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const int kCounts[] = {0, 1000, 10000};

double median(QList<double> values) {
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values[values.size() / 2];
}

void fill(const QString& path, int count) {
    bench::FillDatabase(
        path, count, [](int i) { return QStringLiteral("DECODER %1").arg(i, 5); },
        [](int) { return QStringLiteral("2"); });
}

struct ChildRun {
    double wallMs = 0;
    double cpuMs = 0;  // ru_utime + ru_stime
    double peakMb = 0; // ru_maxrss
    bool titled = false;
};

// Starts the program as a child and waits for it. A child's ru_maxrss also counts the process
// it was forked from, so the children come from a helper forked at the very start, while this
// process is still small; it gets the program and the directory over a pipe.
class Starter {
public:
    void forkHelper() {
        int request[2];
        int reply[2];
        if (::pipe(request) != 0 || ::pipe(reply) != 0)
            return;
        if (::fork() == 0) {
            ::close(request[1]);
            ::close(reply[0]);
            serve(request[0], reply[1]);
        }
        ::close(request[0]);
        ::close(reply[1]);
        m_request = request[1];
        m_reply = reply[0];
    }

    ChildRun run(const QString& program, const QTemporaryDir& dir) {
        ChildRun run;
        Reply r{};
        if (!(send(QFile::encodeName(program)) && send(QFile::encodeName(dir.path())) &&
              ::read(m_reply, &r, sizeof r) == ssize_t(sizeof r)))
            return run;
        run.wallMs = r.wallMs;
        run.cpuMs = r.cpuMs;
        run.peakMb = r.maxRssKb / 1024.0;
        QFile printed(dir.filePath("stdout"));
        const QByteArray shown = printed.open(QIODevice::ReadOnly) ? printed.readAll() : "";
        run.titled = shown.startsWith("TITLE ") || shown.contains("\nTITLE ");
        return run;
    }

private:
    struct Reply {
        double wallMs;
        double cpuMs;
        long maxRssKb;
    };

    bool send(const QByteArray& text) const {
        const quint32 size = quint32(text.size());
        return ::write(m_request, &size, sizeof size) == ssize_t(sizeof size) &&
               ::write(m_request, text.constData(), size) == ssize_t(size);
    }

    static bool receive(int fd, std::string& text) {
        quint32 size = 0;
        if (::read(fd, &size, sizeof size) != ssize_t(sizeof size))
            return false;
        text.resize(size);
        return ::read(fd, text.data(), size) == ssize_t(size);
    }

    [[noreturn]] static void serve(int in, int out) {
        std::string program;
        std::string dir;
        while (receive(in, program) && receive(in, dir)) {
            const Reply r = startOnce(program, dir);
            if (::write(out, &r, sizeof r) != ssize_t(sizeof r))
                break;
        }
        ::_exit(0);
    }

    static Reply startOnce(const std::string& program, const std::string& dir) {
        timespec begin{};
        timespec end{};
        ::clock_gettime(CLOCK_MONOTONIC, &begin);
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
            ::setenv("KESTRUNE_MESSAGEBOXES", "console", 1);
            ::setenv("KESTRUNE_PRINT_TITLE", "1", 1);
            ::setenv("KESTRUNE_PROGRAM_DIR", dir.c_str(), 1);
            ::setenv("KESTRUNE_LOCK_PATH", (dir + "/nms.lock").c_str(), 1);
            ::setenv("XDG_CONFIG_HOME", dir.c_str(), 1);
            ::setenv("XDG_RUNTIME_DIR", (dir + "/runtime").c_str(), 1);
            const int fd = ::open((dir + "/stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            ::dup2(fd, 1);
            ::execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        int status = 0;
        struct rusage usage {};
        ::wait4(pid, &status, 0, &usage);
        ::clock_gettime(CLOCK_MONOTONIC, &end);
        const auto ms = [](const timeval& t) { return t.tv_sec * 1e3 + t.tv_usec / 1e3; };
        return {(end.tv_sec - begin.tv_sec) * 1e3 + (end.tv_nsec - begin.tv_nsec) / 1e6,
                ms(usage.ru_utime) + ms(usage.ru_stime), usage.ru_maxrss};
    }

    int m_request = -1;
    int m_reply = -1;
};

void startUps(Starter& starter, const QStringList& programs, int runs) {
    std::printf("Start-up of the program as a child, until its title is set and it ends "
                "(offscreen, console boxes, KESTRUNE_PRINT_TITLE=1); median of %d runs.\n"
                "wall: fork to wait4; CPU: the child's ru_utime + ru_stime; peak: the child's "
                "ru_maxrss\n",
                runs);
    std::printf("%-7s %10s %10s %10s   %s\n", "N", "wall ms", "CPU ms", "peak MB", "program");
    for (int count : kCounts) {
        QTemporaryDir dir;
        QDir(dir.path()).mkpath("Talvoren");
        QDir(dir.path()).mkpath("runtime");
        QFile(dir.filePath("runtime"))
            .setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QFile settings(dir.filePath("Talvoren/Talvoren.ini"));
        if (settings.open(QIODevice::WriteOnly))
            settings.write("[Kestrune]\nEULA1=1\nNMS%20IP%20Address=127.0.0.1\n");
        settings.close();
        fill(dir.filePath("nms.ini"), count);
        QList<QList<ChildRun>> results(programs.size());
        for (int r = 0; r < runs; ++r)
            for (int p = 0; p < programs.size(); ++p)
                results[p] << starter.run(programs[p], dir);
        for (int p = 0; p < programs.size(); ++p) {
            QList<double> wall, cpu, peak;
            bool titled = true;
            for (const ChildRun& c : results[p]) {
                wall << c.wallMs;
                cpu << c.cpuMs;
                peak << c.peakMb;
                titled = titled && c.titled;
            }
            std::printf("%-7d %10.1f %10.1f %10.1f   %s%s\n", count, median(wall), median(cpu),
                        median(peak), qPrintable(programs[p]),
                        titled ? "" : "  (NO TITLE: a box ended it; is port 2976 taken?)");
        }
    }
}

// The resident set now, in MB.
double residentMb() {
    QFile statm("/proc/self/statm");
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.value(1).toLongLong() * sysconf(_SC_PAGESIZE) / 1048576.0;
}

double heapMb() {
    return mallinfo2().uordblks / 1048576.0;
}

void stationFigures(int refreshRuns) {
    QTemporaryDir dir;
    platform::setProgramDirectory(dir.path());
    platform::ScriptedMessageBox boxes;
    platform::MemorySettings settings;
    app::Station station;
    station.window().show();
    QTreeWidget* tree = station.elementList().tree();
    const QString path = dir.filePath("nms.ini");
    fill(path, 10000);
    station.Load_Config();
    QCoreApplication::processEvents();

    QElapsedTimer clock;
    clock.start();
    qint64 last = 0;
    qint64 worstGap = 0;
    QTimer ticker;
    ticker.setInterval(0);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        worstGap = std::max(worstGap, now - last);
        last = now;
    });
    QList<double> refresh, gaps, settle;
    for (int r = 0; r < refreshRuns; ++r) {
        ticker.start();
        const qint64 begin = clock.nsecsElapsed();
        last = begin;
        worstGap = 0;
        station.RefreshList();
        const qint64 end = clock.nsecsElapsed();
        worstGap = std::max(worstGap, end - last);
        ticker.stop();
        QCoreApplication::processEvents(); // the tree's layout and paint, left pending
        refresh << (end - begin) / 1e6;
        gaps << worstGap / 1e6;
        settle << (clock.nsecsElapsed() - end) / 1e6;
    }
    std::printf("\nIn this process, through the station, window shown offscreen; median of %d.\n",
                refreshRuns);
    std::printf("%-96s %8.1f ms\n", "RefreshList() of 10,000 records (call to return)",
                median(refresh));
    std::printf("%-96s %8.1f ms\n",
                "  longest stretch during it without a due 0 ms timer run (event-loop gap)",
                median(gaps));
    std::printf("%-96s %8.1f ms\n",
                "  then the events it left pending (one processEvents: layout, paint)",
                median(settle));
    std::printf("  nodes %d, caption \"%s\", boxes %lld\n", tree->topLevelItemCount(),
                qPrintable(station.elementList().title()),
                static_cast<long long>(boxes.texts().size()));

    QList<double> selections;
    for (int i : {5000, 123, 9876, 4321, 7777, 42, 2500}) {
        QTreeWidgetItem* item = tree->topLevelItem(i);
        const qint64 begin = clock.nsecsElapsed();
        tree->setCurrentItem(item); // as the press of a click selects it
        selections << (clock.nsecsElapsed() - begin) / 1e6;
        QCoreApplication::processEvents();
    }
    std::printf("%-96s %8.2f ms\n",
                "selecting one node of 10,000 (setCurrentItem to the editor's load done), median "
                "of 7",
                median(selections));

    fill(path, 1000);
    for (int r = 0; r < 20; ++r) {
        station.RefreshList();
        QCoreApplication::processEvents();
    }
    const double rss = residentMb();
    const double heap = heapMb();
    for (int r = 0; r < 1000; ++r) {
        station.RefreshList();
        QCoreApplication::processEvents();
    }
    std::printf("%-96s %+8.2f MB\n",
                "1,000 more refreshes of a 1,000-element list (after 20): resident set grew",
                residentMb() - rss);
    std::printf("%-96s %+8.2f MB\n", "  heap in use (mallinfo2) grew", heapMb() - heap);
    platform::setProgramDirectory(QString());
}

} // namespace

int main(int argc, char* argv[]) {
    Starter starter;
    starter.forkHelper();
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QStringList programs;
    int runs = 5;
    int refreshRuns = 5;
    bool process = true;
    bool inStation = true;
    const QStringList args = application.arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == "--program" && i + 1 < args.size())
            programs << args[++i];
        else if (args[i] == "--runs" && i + 1 < args.size())
            runs = std::max(1, args[++i].toInt());
        else if (args[i] == "--refresh-runs" && i + 1 < args.size())
            refreshRuns = std::max(1, args[++i].toInt());
        else if (args[i] == "--no-process")
            process = false;
        else if (args[i] == "--no-station")
            inStation = false;
    }
    if (programs.isEmpty())
        programs << QCoreApplication::applicationDirPath() + "/../app/kestrune-nms";
    if (process)
        startUps(starter, programs, runs);
    if (inStation)
        stationFigures(refreshRuns);
    return 0;
}
