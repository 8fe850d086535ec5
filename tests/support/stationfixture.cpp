#include "stationfixture.h"

#include <QtTest>

namespace testsupport::loopback {

Loopback::Loopback(const QByteArray& ini, app::Station::Timing timing)
    : StationFixture(kStation, timing) {
    writeIni(ini);
    QVERIFY(start());
    QVERIFY(element.bind(QHostAddress(kElement), 2976));
}

} // namespace testsupport::loopback
