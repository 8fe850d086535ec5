#pragma once
// The 61-byte status reply of port 2978 and what the statistics and SFN windows make of it.
// Pure functions: they return the label texts in the order the windows write them.
#include <QByteArray>
#include <QChar>
#include <QList>
#include <QString>
#include <optional>

namespace diag {

constexpr int kStatusReplyLength = 61;
constexpr qint32 kMacInterfaceLatencyNs = 265;
constexpr qint32 kAudioInterfaceLatencyNs = 395833;
constexpr int kAdditionalDelayMax = 25000; // scroll units of 100 ns

inline const QString kStatsErrorText =
    QStringLiteral("Error 5 while retrieving values. Please reset the device and try again.");
inline const QString kDelayErrorText =
    QStringLiteral("Error 4 while retrieving values. Please reset the device and try again.");
inline const QString kResetTitle = QStringLiteral("Reset counters");
inline const QString kResetQuestion =
    QStringLiteral("You will reset all counters to zero.\rAre you sure?");

// A 4-byte big-endian two's-complement field; any other length gives 0.
qint32 GetLongFromReply(const QByteArray& field);
// The field at offset; 0 when it lies wholly or partly beyond the end.
qint32 fieldAt(const QByteArray& reply, int offset);

// Nanoseconds as "1 mS, 0 uS, 0 nS", "395 uS, 833 nS", "265 nS", "-1 uS, 500 nS".
QString FormatDelay(qint32 ns);
// Shortest form of a percentage rounded to two decimals (halves to even).
QString formatRatio(double ratio, QChar decimalSeparator);

struct LabelUpdate {
    QString label; // object name of the label, e.g. "lblMACTxOK"
    QString text;
    bool operator==(const LabelUpdate& o) const { return label == o.label && text == o.text; }
};

struct StatsValues {
    qint32 txFramesOk = 0, rxFramesOk = 0, txFramesErr = 0, rxFramesErr = 0;
    float txFramesErrRatio = 0, rxFramesErrRatio = 0;
    qint32 ptpSyncOk = 0, ptpSyncErr = 0, ptpSyncValue = 0, ptpSyncLatency = 0;
    qint32 rxAudioFramesOk = 0, rxAudioFramesErr = 0;
    float rxAudioFramesErrRatio = 0;
    qint32 additionalLatency = 0;
};

struct StatsParseResult {
    QList<LabelUpdate> updates;
    bool error = false;   // show kStatsErrorText after applying the updates
    bool dropped = false; // longer than 61 bytes: nothing to do
    StatsValues values;   // valid up to the step that failed
};

// sfn is the element's stored "sfn", nullopt when it is no number; decoder whether the element
// is shown as a DECODER.
StatsParseResult ParseStatsReply(const QByteArray& reply, std::optional<qint64> sfn, bool decoder,
                                 QChar decimalSeparator);

struct DelayValues {
    qint32 average = 0, minimum = 0, maximum = 0; // compensated network latencies, ns
    double additionalDelayUnits = 0;              // clamped to 0..25000
    quint8 autoServo = 0;                         // byte 60
    qint32 servoCorrection = 0;                   // 0 unless auto servo is on
};

struct DelayParseResult {
    QList<LabelUpdate> updates;
    bool error = false;        // show kDelayErrorText after applying the updates
    bool dropped = false;      // not 61 bytes: nothing to do
    bool stoppedEarly = false; // not an SFN decoder: only the fixed latencies
    // Applied by the window in this order, after the two fixed-latency labels and before the
    // latency labels: scroll position (and lblAdditionalDelay, included in updates), servo box.
    std::optional<int> scrollPosition;
    std::optional<bool> autoServoChecked;
    QString autoServoCaption;
    DelayValues values;
};

DelayParseResult ParseDelayReply(const QByteArray& reply, std::optional<qint64> sfn, bool decoder);

// The 6-byte set datagram: 'S', the delay big-endian, the auto-servo flag.
QByteArray buildSetDelay(qint32 additionalDelayNs, bool autoServo);

} // namespace diag
