#pragma once

// The read of a channel's calibration coefficients, one group at a time, as
// the service page's "Считать" and the commissioning report both ask it, and
// the texts the coefficient table shows.

#include "service/calibration.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace vexs {

class ModbusMaster;

// The group's ten registers (five reals) of channel 1..4 in one request, with
// the group's own wait; nullopt without a valid reply. A TCP socket failure
// propagates.
std::optional<QByteArray> readCoefficientGroup(ModbusMaster &modbus, int channel,
                                               const CoefficientGroup &group);

// Point 1..5 of a group's data as the table shows it: up to 15 significant
// digits, the shortest form.
QString coefficientText(const QByteArray &data, int point);

// The row caption of group `index` of coefficientGroups(): "Iin", "Uin 100mV"...
QString coefficientGroupCaption(int index);

} // namespace vexs
