// libFuzzer entry: every decoder of element datagrams must take any bytes without reading
// past the end or failing.
#include "diag/statusreply.h"
#include "protocol/levelreply.h"
#include "protocol/wire.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Deep copy: the parsers may keep nothing of the buffer, and ASan sees its real end.
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    if (const std::optional<protocol::Feedback> f = protocol::DecodeFeedback(bytes)) {
        (void)protocol::CheckFeedback(*f);
        (void)protocol::DiscoveryRecord(*f);
    }
    (void)protocol::DispatchReceived(int(size));
    (void)protocol::ParseLevelReply(bytes, QLatin1Char('.'));
    const QString sfn = size > 0 ? QString::number(data[0] & 3) : QStringLiteral("x");
    (void)diag::ParseStatsReply(bytes, sfn, QStringLiteral("DECODER"), QLatin1Char(','));
    (void)diag::ParseDelayReply(bytes, sfn, QStringLiteral("DECODER"));
    return 0;
}
