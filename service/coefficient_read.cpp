#include "service/coefficient_read.h"

#include "settings/block_io.h"
#include "settings/encodings.h"

#include <iterator>

namespace vexs {

namespace {

// In the order of coefficientGroups().
const char *const kGroupCaptions[] = {"Iin", "Uin 100mV", "Uin 1V", "Uin R", "Iout"};

} // namespace

std::optional<QByteArray> readCoefficientGroup(ModbusMaster &modbus, int channel,
                                               const CoefficientGroup &group)
{
    return readBlock(modbus, false,
                     {{quint16(coefficientFirstRegister(channel) + group.offset),
                       calibration::kCoefficientGroupCount}},
                     group.waitMs);
}

QString coefficientText(const QByteArray &data, int point)
{
    return formatGeneral(double(readFloat(data, 4 * (point - 1))));
}

QString coefficientGroupCaption(int index)
{
    const int count = int(std::size(kGroupCaptions));
    return index >= 0 && index < count ? QString::fromLatin1(kGroupCaptions[index]) : QString();
}

} // namespace vexs
