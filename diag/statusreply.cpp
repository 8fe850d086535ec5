#include "diag/statusreply.h"

#include "db/sharedfunctions.h"

#include <cmath>
#include <limits>

namespace diag {

namespace {

bool fitsInt32(qint64 v) {
    return v >= std::numeric_limits<qint32>::min() && v <= std::numeric_limits<qint32>::max();
}

// Err / (OK + Err) x 100; false when the 32-bit sum overflows.
bool errorRatio(qint32 ok, qint32 err, double& ratio) {
    const qint64 sum = qint64(ok) + qint64(err);
    if (!fitsInt32(sum))
        return false;
    ratio = sum == 0 ? 0.0 : double(err) / double(sum) * 100.0;
    return true;
}

float roundedRatio(double ratio) {
    return static_cast<float>(std::nearbyint(ratio * 100.0) / 100.0);
}

QString countWithRatio(qint32 err, double ratio, QChar sep) {
    return QString::number(err) + QStringLiteral(" (") + formatRatio(ratio, sep) +
           QStringLiteral("%)");
}

} // namespace

qint32 GetLongFromReply(const QByteArray& field) {
    if (field.size() != 4)
        return 0;
    const auto* b = reinterpret_cast<const unsigned char*>(field.constData());
    const quint32 v =
        (quint32(b[0]) << 24) | (quint32(b[1]) << 16) | (quint32(b[2]) << 8) | quint32(b[3]);
    return static_cast<qint32>(v);
}

qint32 fieldAt(const QByteArray& reply, int offset) {
    if (offset < 0 || qsizetype(offset) + 4 > reply.size())
        return 0;
    return GetLongFromReply(reply.mid(offset, 4));
}

QString FormatDelay(qint32 ns) {
    const qint64 n = ns < 0 ? -qint64(ns) : qint64(ns);
    const qint64 ms = n / 1000000;
    const qint64 us = n / 1000 - ms * 1000;
    const qint64 rest = n - us * 1000 - ms * 1000000;
    QString text;
    if (ms > 0)
        text += QString::number(ms) + QStringLiteral(" mS, ");
    if (!text.isEmpty() || us >= 1)
        text += QString::number(us) + QStringLiteral(" uS, ");
    text += QString::number(rest) + QStringLiteral(" nS");
    if (ns < 0)
        text.prepend(QLatin1Char('-'));
    return text;
}

QString formatRatio(double ratio, QChar decimalSeparator) {
    return db::formatShortest(ratio, 2, decimalSeparator);
}

StatsParseResult ParseStatsReply(const QByteArray& reply, std::optional<qint64> sfn, bool decoder,
                                 QChar sep) {
    StatsParseResult r;
    if (reply.size() > kStatusReplyLength) {
        r.dropped = true;
        return r;
    }
    StatsValues& v = r.values;
    const auto set = [&r](const char* label, const QString& text) {
        r.updates.append({QLatin1String(label), text});
    };
    const auto fail = [&r]() -> StatsParseResult& {
        r.error = true;
        return r;
    };

    v.additionalLatency = fieldAt(reply, 52);
    v.txFramesOk = fieldAt(reply, 0);
    set("lblMACTxOK", QString::number(v.txFramesOk));
    v.rxFramesOk = fieldAt(reply, 4);
    set("lblMACRxOK", QString::number(v.rxFramesOk));

    double ratio = 0;
    v.txFramesErr = fieldAt(reply, 8);
    if (!errorRatio(v.txFramesOk, v.txFramesErr, ratio))
        return fail();
    v.txFramesErrRatio = roundedRatio(ratio);
    set("lblMACTxErr", countWithRatio(v.txFramesErr, ratio, sep));

    v.rxFramesErr = fieldAt(reply, 12);
    if (!errorRatio(v.rxFramesOk, v.rxFramesErr, ratio))
        return fail();
    v.rxFramesErrRatio = roundedRatio(ratio);
    set("lblMACRxErr", countWithRatio(v.rxFramesErr, ratio, sep));

    if (!sfn)
        return fail();
    if (*sfn == 1) {
        v.ptpSyncOk = fieldAt(reply, 16);
        set("lblPTPRxOK", QString::number(v.ptpSyncOk));
        v.ptpSyncErr = fieldAt(reply, 20);
        set("lblPTPRxErr", QString::number(v.ptpSyncErr));
        if (decoder) {
            v.ptpSyncValue = fieldAt(reply, 24);
            set("lblPTPClkAdj", QString::number(v.ptpSyncValue) + QStringLiteral(" nS"));
            const qint64 latency = qint64(fieldAt(reply, 28)) + qint64(v.additionalLatency);
            if (!fitsInt32(latency))
                return fail();
            v.ptpSyncLatency = static_cast<qint32>(latency);
            set("lblPTPLatency", QString::number(v.ptpSyncLatency) + QStringLiteral(" nS"));
        }
    }

    set("lblAudioRxFramesOK", QStringLiteral("-"));
    set("lblAudioRxFramesErr", QStringLiteral("-"));
    v.rxAudioFramesOk = fieldAt(reply, 32);
    set("lblAudioRxFramesOK", QString::number(v.rxAudioFramesOk));
    v.rxAudioFramesErr = fieldAt(reply, 36);
    if (!errorRatio(v.rxAudioFramesOk, v.rxAudioFramesErr, ratio))
        return fail();
    v.rxAudioFramesErrRatio = roundedRatio(ratio);
    set("lblAudioRxFramesErr", countWithRatio(v.rxAudioFramesErr, ratio, sep));
    return r;
}

DelayParseResult ParseDelayReply(const QByteArray& reply, std::optional<qint64> sfn, bool decoder) {
    DelayParseResult r;
    if (reply.size() != kStatusReplyLength) {
        r.dropped = true;
        return r;
    }
    DelayValues& v = r.values;
    const auto set = [&r](const char* label, const QString& text) {
        r.updates.append({QLatin1String(label), text});
    };

    set("lblFixedLatencyMAC", FormatDelay(kMacInterfaceLatencyNs));
    set("lblFixedLatencyAUDIO", FormatDelay(kAudioInterfaceLatencyNs));

    if (!sfn) {
        r.error = true;
        return r;
    }
    if (*sfn != 1 || !decoder) {
        r.stoppedEarly = true;
        return r;
    }

    const qint32 add = fieldAt(reply, 52);
    double units = add / 100.0;
    if (units > kAdditionalDelayMax)
        units = kAdditionalDelayMax;
    if (units < 0)
        units = 0;
    v.additionalDelayUnits = units;
    const int position = static_cast<int>(std::nearbyint(units));
    r.scrollPosition = position;
    set("lblAdditionalDelay", FormatDelay(position * 100));

    v.autoServo = static_cast<quint8>(reply.at(60));
    if (v.autoServo != 1) {
        r.autoServoChecked = false;
        r.autoServoCaption = QStringLiteral("Auto servo");
        v.servoCorrection = 0;
    } else {
        r.autoServoChecked = true;
        v.servoCorrection = fieldAt(reply, 56);
        r.autoServoCaption = QStringLiteral("Auto servo (") + QString::number(v.servoCorrection) +
                             QStringLiteral(" nS)");
    }

    struct Row {
        int offset;
        qint32 DelayValues::*value;
        const char* current;
        const char* summary;
    };
    static constexpr Row rows[] = {
        {40, &DelayValues::average, "lblCurrentDelayAVG", "lblDelaySumAVG"},
        {44, &DelayValues::minimum, "lblCurrentDelayMIN", "lblDelaySumMIN"},
        {48, &DelayValues::maximum, "lblCurrentDelayMAX", "lblDelaySumMAX"},
    };
    for (const Row& row : rows) {
        const qint64 latency =
            qint64(fieldAt(reply, row.offset)) + qint64(add) + qint64(v.servoCorrection);
        if (!fitsInt32(latency)) {
            r.error = true;
            return r;
        }
        const qint64 summary = latency + kMacInterfaceLatencyNs + kAudioInterfaceLatencyNs;
        if (!fitsInt32(summary)) {
            r.error = true;
            return r;
        }
        v.*row.value = static_cast<qint32>(latency);
        set(row.current, FormatDelay(static_cast<qint32>(latency)));
        set(row.summary, FormatDelay(static_cast<qint32>(summary)));
    }
    return r;
}

QByteArray buildSetDelay(qint32 additionalDelayNs, bool autoServo) {
    const quint32 v = static_cast<quint32>(additionalDelayNs);
    QByteArray out(6, '\0');
    out[0] = 'S';
    out[1] = static_cast<char>((v >> 24) & 0xFF);
    out[2] = static_cast<char>((v >> 16) & 0xFF);
    out[3] = static_cast<char>((v >> 8) & 0xFF);
    out[4] = static_cast<char>(v & 0xFF);
    out[5] = autoServo ? 1 : 0;
    return out;
}

} // namespace diag
