#include "settings/config_groups.h"

#include <stdexcept>

namespace vexs {

namespace {

// Page indexes of the navigation tree.
enum Page { kMeasurementPage = 3, kMathPage = 4, kOutputPage = 5, kSetpointPage = 6,
            kRecordingPage = 7, kDisplayPage = 8, kNetworkPage = 9 };

QList<RegisterSpan> whole(const BlockLayout &layout, int item)
{
    return {{quint16(layout.firstRegister(item)), quint16(layout.registerCount())}};
}

QList<RegisterSpan> part(const BlockLayout &layout, ByteRange range, int extraRegisters = 0)
{
    return {{quint16(layout.firstRegister(1) + range.begin / 2),
             quint16((range.end - range.begin) / 2 + extraRegisters)}};
}

// A math record always moves in these five requests, whatever its point count.
QList<RegisterSpan> mathChunks(int item)
{
    QList<RegisterSpan> spans;
    int first = mathChannelLayout().firstRegister(item);
    for (const int count : {33, 33, 33, 33, 17}) {
        spans.append({quint16(first), quint16(count)});
        first += count;
    }
    return spans;
}

QString channelPrefix(int n)
{
    return QStringLiteral("Канал ") + QString::number(n) + QStringLiteral(": ");
}

QList<ConfigGroup> buildGroups()
{
    QList<ConfigGroup> g;
    for (int n = 1; n <= 4; ++n) {
        const BlockLayout &l = measurementChannelLayout();
        g.append({GroupFamily::Measurement, n, QStringLiteral("measurement.%1").arg(n),
                  QStringLiteral("Канал измерения %1").arg(n), kMeasurementPage, &l, std::nullopt,
                  whole(l, n), whole(l, n), 500, 500, channelPrefix(n)});
    }
    for (int m = 1; m <= 4; ++m) {
        g.append({GroupFamily::Math, m, QStringLiteral("math.%1").arg(m),
                  QStringLiteral("Математический канал М%1").arg(m), kMathPage, &mathChannelLayout(),
                  std::nullopt, mathChunks(m), mathChunks(m), 500, 1000, channelPrefix(m)});
    }
    for (int n = 1; n <= 4; ++n) {
        const BlockLayout &l = outputLayout();
        g.append({GroupFamily::Output, n, QStringLiteral("output.%1").arg(n),
                  QStringLiteral("Выходной сигнал %1").arg(n), kOutputPage, &l, std::nullopt,
                  whole(l, n), whole(l, n), 500, 500, QString()});
    }
    for (int n = 1; n <= 8; ++n) {
        const BlockLayout &l = setpointLayout();
        // The number in the messages is the setpoint's.
        g.append({GroupFamily::Setpoint, n, QStringLiteral("setpoint.%1").arg(n),
                  QStringLiteral("Уставка %1").arg(n), kSetpointPage, &l, std::nullopt, whole(l, n),
                  whole(l, n), 500, 500, channelPrefix(n)});
    }
    const BlockLayout &rec = recordingLayout();
    g.append({GroupFamily::Recording, 1, QStringLiteral("recording"),
              QStringLiteral("Регистрация/архивирование"), kRecordingPage, &rec, std::nullopt,
              whole(rec, 1), whole(rec, 1), 500, 500, QString()});
    const BlockLayout &disp = displayLayout();
    // The mode read takes register 739 along; it belongs to the channel group
    // and is ignored.
    g.append({GroupFamily::DisplayMode, 1, QStringLiteral("display"), QStringLiteral("Индикация"),
              kDisplayPage, &disp, kDisplayModeBytes, part(disp, kDisplayModeBytes, 1),
              part(disp, kDisplayModeBytes), 500, 500, QString()});
    g.append({GroupFamily::DisplayChannel, 1, QStringLiteral("display.channel"),
              QStringLiteral("Индикация: выбор канала"), kDisplayPage, &disp, kDisplayChannelBytes,
              part(disp, kDisplayChannelBytes), part(disp, kDisplayChannelBytes), 500, 500,
              QString()});
    const BlockLayout &net = networkLayout();
    g.append({GroupFamily::Network, 1, QStringLiteral("network"), QStringLiteral("Сеть"),
              kNetworkPage, &net, std::nullopt, whole(net, 1), whole(net, 1), 1000, 1000,
              QString()});
    return g;
}

} // namespace

const QList<ConfigGroup> &configGroups()
{
    static const QList<ConfigGroup> groups = buildGroups();
    return groups;
}

const ConfigGroup &configGroup(GroupFamily family, int item)
{
    for (const ConfigGroup &g : configGroups()) {
        if (g.family == family && g.item == item)
            return g;
    }
    throw std::invalid_argument("no such settings group");
}

const ConfigGroup *findConfigGroup(const QString &id)
{
    for (const ConfigGroup &g : configGroups()) {
        if (g.id == id)
            return &g;
    }
    return nullptr;
}

} // namespace vexs
