#pragma once
// How far this process's resident set rose above its size at start(), sampled on a timer, so
// that a test can bound what a flood costs.
#include <QFile>
#include <QTimer>

namespace testsupport {

class ResidentGrowth {
public:
    ResidentGrowth() {
        QObject::connect(&m_sample, &QTimer::timeout,
                         [this] { m_peakKb = qMax(m_peakKb, residentKb()); });
    }
    void start(int intervalMs) {
        m_startKb = m_peakKb = residentKb();
        m_sample.start(intervalMs);
    }
    qint64 kb() const { return m_peakKb - m_startKb; }

private:
    static qint64 residentKb() {
        QFile f("/proc/self/statm"); // pages: size resident ...
        return f.open(QIODevice::ReadOnly) ? f.readAll().split(' ').value(1).toLongLong() * 4 : 0;
    }
    QTimer m_sample;
    qint64 m_startKb = 0;
    qint64 m_peakKb = 0;
};

} // namespace testsupport
