#include "sim/recorder_model.h"

#include <QMutexLocker>

#include <cmath>
#include <cstring>
#include <numbers>

namespace vexs {

namespace {

// Byte offsets of the blocks inside the settings area.
constexpr int ChannelRecord = 40;
constexpr int MathBase = 160;
constexpr int MathRecord = 298;
constexpr int OutputBase = 1352;
constexpr int SetpointBase = 1360;
constexpr int SetpointRecord = 12;
constexpr int RecordingBase = 1456;
constexpr int DisplayBase = 1472;
constexpr int NetworkBase = 1488;

// Calibration coefficient groups: register offset and the nominal points.
constexpr int CoeffGroupOffsets[5] = {0, 10, 20, 30, 42};

void putFloat(QByteArray &area, int offset, float value)
{
    quint32 bits;
    std::memcpy(&bits, &value, sizeof bits);
    for (int i = 0; i < 4; ++i)
        area[offset + i] = char((bits >> (8 * i)) & 0xFF);
}

float getFloat(const QByteArray &area, int offset)
{
    quint32 bits = 0;
    for (int i = 0; i < 4; ++i)
        bits |= quint32(quint8(area[offset + i])) << (8 * i);
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

void putText(QByteArray &area, int offset, int width, const QString &text, char pad)
{
    QByteArray bytes = toWindows1251(text).left(width);
    bytes.append(QByteArray(width - bytes.size(), pad));
    area.replace(offset, width, bytes);
}

void putBytes(QByteArray &area, int offset, std::initializer_list<int> bytes)
{
    for (int b : bytes)
        area[offset++] = char(b);
}

quint8 byteAt(const QByteArray &area, int offset)
{
    return quint8(area[offset]);
}

struct ChannelDefaults {
    bool on;
    int type;
    bool coldJunction;
    float correction, low, high, zero;
    const char *units;
    int decimals, filter, barColour, setpointColours;
};

struct MathDefaults {
    bool on;
    int formula;
    const char *units;
    int decimals;
    float barLow, barHigh;
    int a, b, c, d;
    int points;
    float tableX[3], tableY[3];
    float k[4];
};

// Where the physical input of a signal type lies, for the moving values.
struct PhysicalRange {
    float low, high;
};

PhysicalRange physicalRange(int type)
{
    if (type <= 5)
        return {80.f, 160.f};  // ohms of a resistance thermometer
    if (type <= 12)
        return {0.f, 40.f};    // thermocouple millivolts
    switch (type) {
    case 13: return {0.f, 5.f};
    case 14: return {4.f, 20.f};
    case 15: return {20.f, 4.f};
    case 16: return {0.f, 10.f};
    case 17: return {0.f, 100.f};
    case 18: return {0.f, 1.f};
    default: return {0.f, 2.f}; // pyrometer output
    }
}

} // namespace

QByteArray toWindows1251(const QString &text)
{
    QByteArray out;
    out.reserve(text.size());
    for (QChar ch : text) {
        const char16_t u = ch.unicode();
        if (u < 0x80)
            out.append(char(u));
        else if (u >= 0x0410 && u <= 0x044F)
            out.append(char(0xC0 + (u - 0x0410)));
        else if (u == 0x0401)
            out.append(char(0xA8));
        else if (u == 0x0451)
            out.append(char(0xB8));
        else if (u == 0x00B0)
            out.append(char(0xB0));
        else
            out.append('?');
    }
    return out;
}

RecorderModel::RecorderModel()
{
    reset();
}

void RecorderModel::reset()
{
    QMutexLocker lock(&m_mutex);
    fillFactoryContents();
    m_moduleStatus.fill(0);
    m_boardStatus = 0;
    m_clockBase = QDateTime::currentDateTime();
    m_clockBase = QDateTime(m_clockBase.date(), m_clockBase.time(), Qt::UTC);
    m_clockRunning.start();
    m_rawClock.reset();
    m_uptime.start();
    m_frozenLive.reset();
    m_lastCalibration.reset();
    m_commandWrites.clear();
    m_penPercent = 50;
}

void RecorderModel::makeUnit(int address)
{
    QMutexLocker lock(&m_mutex);
    const QByteArray serial = QByteArray::number(310000 + address);
    m_ident.replace(6, 6, serial.right(6));
    m_settings[NetworkBase] = char(address);
    m_phase = 0.7 * address;
}

void RecorderModel::fillFactoryContents()
{
    m_settings = QByteArray(SettingsBytes, 0);
    QByteArray &s = m_settings;

    const ChannelDefaults channels[Channels] = {
        {true, 14, false, 0.f, 0.f, 250.f, 0.f, "кПа", 1, 2, 1, 0x20},
        {true, 3, false, 0.f, -50.f, 150.f, 0.f, "°C", 1, 4, 1, 0x20},
        {true, 7, true, 0.5f, 0.f, 1300.f, 0.f, "°C", 0, 1, 0, 0x21},
        {false, 18, false, 0.f, 0.f, 1.f, 0.f, "В", 3, 0, 2, 0x10},
    };
    for (int n = 0; n < Channels; ++n) {
        const ChannelDefaults &c = channels[n];
        const int r = ChannelRecord * n;
        putBytes(s, r, {c.on, c.type, c.coldJunction, 0, 0, 1});
        putFloat(s, r + 6, c.correction);
        putFloat(s, r + 10, c.low);
        putFloat(s, r + 14, c.high);
        putFloat(s, r + 18, c.zero);
        putText(s, r + 22, 6, QString::fromUtf8(c.units), '\0');
        putBytes(s, r + 28, {c.decimals, c.filter, c.barColour, c.setpointColours});
        putFloat(s, r + 32, c.low);
        putFloat(s, r + 36, c.high);
    }

    const MathDefaults maths[4] = {
        // Channel 1 linearised through a three-point table into percent.
        {true, 3, "%", 1, 0.f, 100.f, 0, 1, 2, 3, 3, {0.f, 125.f, 250.f}, {0.f, 60.f, 100.f},
         {1.f, 1.f, 1.f, 1.f}},
        {true, 2, "°C", 1, -50.f, 150.f, 1, 2, 0, 0, 1, {}, {}, {1.f, 1.f, 1.f, 1.f}},
        {false, 4, "ед", 2, 0.f, 1000.f, 0, 1, 2, 3, 1, {}, {}, {1.f, 0.5f, 0.25f, 0.f}},
        {false, 1, "кПа", 1, -250.f, 250.f, 0, 1, 0, 0, 1, {}, {}, {1.f, 1.f, 1.f, 1.f}},
    };
    for (int m = 0; m < 4; ++m) {
        const MathDefaults &c = maths[m];
        const int r = MathBase + MathRecord * m;
        putBytes(s, r, {c.on, c.formula});
        putText(s, r + 2, 6, QString::fromUtf8(c.units), '\0');
        putBytes(s, r + 9, {c.decimals, 1, 0x20});
        putFloat(s, r + 12, c.barLow);
        putFloat(s, r + 16, c.barHigh);
        putBytes(s, r + 20, {c.a, c.b, c.c, c.d, c.points});
        for (int j = 0; j < 3; ++j) {
            putFloat(s, r + 26 + 4 * j, c.tableX[j]);
            putFloat(s, r + 154 + 4 * j, c.tableY[j]);
        }
        for (int k = 0; k < 4; ++k)
            putFloat(s, r + 282 + 4 * k, c.k[k]);
    }

    // Outputs: 1 follows its channel, 2 follows М1, 3 and 4 off.
    putBytes(s, OutputBase, {1, 0, 1, 1, 0, 0, 0, 0});

    struct SetpointDefaults {
        int on, channel, below, open;
        float value, zone;
    };
    const SetpointDefaults setpoints[8] = {
        {1, 0, 0, 0, 200.f, 5.f}, {1, 1, 1, 1, 20.f, 1.f}, {1, 4, 0, 0, 80.f, 2.f},
        {0, 2, 0, 0, 900.f, 10.f}, {0, 3, 1, 0, 0.1f, 0.01f}, {0, 5, 0, 1, 100.f, 1.f},
        {0, 6, 0, 0, 100.f, 1.f}, {0, 7, 1, 1, 0.f, 1.f},
    };
    for (int k = 0; k < 8; ++k) {
        const SetpointDefaults &c = setpoints[k];
        const int r = SetpointBase + SetpointRecord * k;
        putBytes(s, r, {c.on, c.channel, c.below, c.open});
        putFloat(s, r + 4, c.value);
        putFloat(s, r + 8, c.zone);
    }

    // Recording: chart on channel 1, 24 h a revolution, archive every 5 s.
    putBytes(s, RecordingBase, {1, 0, 5, 4});
    putFloat(s, RecordingBase + 4, 0.f);
    putBytes(s, RecordingBase + 8, {1, 1, 1, 0, 1, 0, 0, 0});

    // Display: dynamic, 3 s, bar graph on, channel 1, sound off.
    putBytes(s, DisplayBase, {1, 1, 1, 0, 1, 2, 0, 0});

    putBytes(s, NetworkBase, {1, 0, 4, 0});
    putText(s, NetworkBase + 4, 16, QStringLiteral("192.168.011.002"), '\x13');
    putText(s, NetworkBase + 20, 16, QStringLiteral("255.255.000.000"), '\x13');
    putText(s, NetworkBase + 36, 16, QStringLiteral("192.168.011.001"), '\x13');
    putText(s, NetworkBase + 52, 4, QStringLiteral("5000"), '\x13');

    // Made on 05.03.09, serial 001234, kit options, board versions 2.3, 10.5, 1.2.
    m_ident = QByteArray("050309001234");
    m_ident.append(QByteArray::fromHex("010002000101" "00" "17690c"));

    m_commands = QByteArray(2 * CommandCount, 0);

    // Coefficients: nominal point values scaled by a per-channel gain and
    // shifted by a small offset, so every value differs.
    const float nominal[5][5] = {
        {0.f, 5.f, 10.f, 15.f, 20.f},             // input current, mA
        {0.f, 25.f, 50.f, 75.f, 100.f},           // input voltage, mV
        {-1.f, -0.5f, 0.f, 0.5f, 1.f},            // input voltage, V
        {10.f, 50.f, 100.f, 500.f, 1000.f},       // resistance, ohm
        {4.f, 8.f, 12.f, 16.f, 20.f},             // output current, mA
    };
    for (int n = 0; n < Channels; ++n) {
        QByteArray &c = m_coeffs[n];
        c = QByteArray(2 * CoeffRegisters, 0);
        const float gain = 1.f + 0.0021f * float(n + 1);
        for (int g = 0; g < 5; ++g) {
            for (int k = 0; k < 5; ++k) {
                const float offset = 0.0007f * float(1 + 25 * n + 5 * g + k);
                putFloat(c, 2 * CoeffGroupOffsets[g] + 4 * k, nominal[g][k] * gain + offset);
            }
        }
    }
}

RecorderModel::Location RecorderModel::locate(int reg)
{
    if (reg >= 0 && reg < SettingsRegisters)
        return {Area::Settings, 0, 2 * reg};
    if (reg >= CommandFirst && reg < CommandFirst + CommandCount)
        return {Area::Command, 0, 2 * (reg - CommandFirst)};
    if (reg >= IdentFirst && reg < IdentFirst + IdentCount)
        return {Area::Ident, 0, 2 * (reg - IdentFirst)};
    for (int n = 1; n <= Channels; ++n) {
        const int first = 10001 + 1000 * n;
        if (reg >= first && reg < first + CoeffRegisters)
            return {Area::Coeff, n - 1, 2 * (reg - first)};
    }
    return {};
}

QByteArray *RecorderModel::storage(const Location &where)
{
    return const_cast<QByteArray *>(std::as_const(*this).storage(where));
}

const QByteArray *RecorderModel::storage(const Location &where) const
{
    switch (where.area) {
    case Area::Settings: return &m_settings;
    case Area::Command: return &m_commands;
    case Area::Ident: return &m_ident;
    case Area::Coeff: return &m_coeffs[where.index];
    case Area::None: break;
    }
    return nullptr;
}

bool RecorderModel::readable(const Location &where)
{
    // Command registers only take commands; they have nothing to read.
    return where.area != Area::None && where.area != Area::Command;
}

bool RecorderModel::writable(const Location &where, int reg)
{
    switch (where.area) {
    case Area::Settings:
    case Area::Command:
        return true;
    case Area::Ident:
        return reg < IdentFirst + IdentWritableCount;
    default:
        return false;
    }
}

RecorderModel::Exception RecorderModel::readHolding(quint16 first, quint16 count,
                                                    QByteArray *data) const
{
    if (count < 1 || count > 125)
        return IllegalValue;
    QMutexLocker lock(&m_mutex);
    QByteArray out;
    out.reserve(2 * count);
    for (int reg = first; reg < int(first) + count; ++reg) {
        const Location where = locate(reg);
        if (!readable(where))
            return IllegalAddress;
        out.append(storage(where)->mid(where.offset, 2));
    }
    *data = out;
    return NoException;
}

RecorderModel::Exception RecorderModel::readInput(quint16 first, quint16 count,
                                                  QByteArray *data) const
{
    if (count < 1 || count > 125)
        return IllegalValue;
    if (int(first) + count > InputRegisters)
        return IllegalAddress;
    QMutexLocker lock(&m_mutex);
    *data = liveRecordLocked().mid(2 * first, 2 * count);
    return NoException;
}

RecorderModel::Exception RecorderModel::writeHolding(quint16 first, quint16 count,
                                                     const QByteArray &data)
{
    if (count < 1 || count > 123 || data.size() != 2 * count)
        return IllegalValue;
    QMutexLocker lock(&m_mutex);
    for (int reg = first; reg < int(first) + count; ++reg) {
        if (!writable(locate(reg), reg))
            return IllegalAddress;
    }
    for (int i = 0; i < count; ++i) {
        const Location where = locate(first + i);
        storage(where)->replace(where.offset, 2, data.mid(2 * i, 2));
    }
    if (first < CommandFirst + CommandCount && int(first) + count > CommandFirst)
        applyCommandWrite(first, count, data);
    return NoException;
}

void RecorderModel::applyCommandWrite(quint16 first, quint16 count, const QByteArray &data)
{
    m_commandWrites.append({first, data});
    // A simulator left running for days must not grow without end.
    if (m_commandWrites.size() > KeptCommandWrites)
        m_commandWrites.removeFirst();
    const int last = first + count - 1;
    auto touches = [&](int from, int to) { return first <= to && last >= from; };
    auto commandInt16 = [&](int reg) {
        const int at = 2 * (reg - CommandFirst);
        return qint16(quint8(m_commands[at]) | (quint8(m_commands[at + 1]) << 8));
    };

    if (touches(10001, 10003)) {
        CalibrationCommand cmd;
        cmd.channel = quint8(m_commands[0]);
        cmd.step = quint8(m_commands[1]);
        cmd.value = getFloat(m_commands, 2);
        m_lastCalibration = cmd;
    }
    if (touches(10006, 10008))
        setClockBytesLocked(m_commands.mid(2 * (10006 - CommandFirst), 6));
    // Pen: 10004 to the top, 10005 a raw move (1950 parks it low, small
    // values nudge it), 10011 a position in percent.
    if (touches(10004, 10004))
        m_penPercent = 95;
    if (touches(10005, 10005)) {
        const int value = commandInt16(10005);
        if (value == 1950)
            m_penPercent = 5;
        else
            m_penPercent = qBound(0, m_penPercent - value / 4, 100);
    }
    if (touches(10011, 10011))
        m_penPercent = qBound(0, int(commandInt16(10011)), 100);
}

QByteArray RecorderModel::holdingBytes(int firstReg, int count) const
{
    QMutexLocker lock(&m_mutex);
    QByteArray out;
    for (int reg = firstReg; reg < firstReg + count; ++reg) {
        const Location where = locate(reg);
        if (where.area == Area::None)
            return {};
        out.append(storage(where)->mid(where.offset, 2));
    }
    return out;
}

bool RecorderModel::setHoldingBytes(int firstReg, const QByteArray &bytes)
{
    QMutexLocker lock(&m_mutex);
    const int count = (int(bytes.size()) + 1) / 2;
    for (int reg = firstReg; reg < firstReg + count; ++reg) {
        if (locate(reg).area == Area::None)
            return false;
    }
    for (int i = 0; i < bytes.size(); ++i) {
        const Location where = locate(firstReg + i / 2);
        (*storage(where))[where.offset + i % 2] = bytes[i];
    }
    return true;
}

QByteArray RecorderModel::settingsArea() const
{
    QMutexLocker lock(&m_mutex);
    return m_settings;
}

void RecorderModel::setSettingsArea(const QByteArray &bytes)
{
    if (bytes.size() != SettingsBytes)
        return;
    QMutexLocker lock(&m_mutex);
    m_settings = bytes;
}

QByteArray RecorderModel::identification() const
{
    QMutexLocker lock(&m_mutex);
    return m_ident;
}

QByteArray RecorderModel::coefficients(int channel) const
{
    if (channel < 1 || channel > Channels)
        return {};
    QMutexLocker lock(&m_mutex);
    return m_coeffs[channel - 1];
}

QByteArray RecorderModel::liveRecord() const
{
    QMutexLocker lock(&m_mutex);
    return liveRecordLocked();
}

void RecorderModel::setLiveRecord(const QByteArray &record)
{
    if (record.size() != LiveBytes)
        return;
    QMutexLocker lock(&m_mutex);
    m_frozenLive = record;
}

void RecorderModel::freezeLiveRecord()
{
    QMutexLocker lock(&m_mutex);
    m_frozenLive = liveRecordLocked();
}

void RecorderModel::unfreezeLiveRecord()
{
    QMutexLocker lock(&m_mutex);
    m_frozenLive.reset();
}

bool RecorderModel::liveRecordFrozen() const
{
    QMutexLocker lock(&m_mutex);
    return m_frozenLive.has_value();
}

void RecorderModel::setModuleMissing(int channel, bool missing)
{
    setModuleStatus(channel, missing ? 0xFF : 0);
}

void RecorderModel::setModuleStatus(int channel, quint8 status)
{
    if (channel < 1 || channel > Channels)
        return;
    QMutexLocker lock(&m_mutex);
    m_moduleStatus[channel - 1] = status;
}

quint8 RecorderModel::moduleStatus(int channel) const
{
    if (channel < 1 || channel > Channels)
        return 0;
    QMutexLocker lock(&m_mutex);
    return m_moduleStatus[channel - 1];
}

void RecorderModel::setBoardStatus(quint16 word)
{
    QMutexLocker lock(&m_mutex);
    m_boardStatus = word;
}

void RecorderModel::setClock(const QDateTime &dateTime)
{
    QMutexLocker lock(&m_mutex);
    m_clockBase = QDateTime(dateTime.date(), dateTime.time(), Qt::UTC);
    m_clockRunning.start();
    m_rawClock.reset();
}

void RecorderModel::setClockBytes(const QByteArray &record)
{
    QMutexLocker lock(&m_mutex);
    setClockBytesLocked(record);
}

void RecorderModel::setClockBytesLocked(const QByteArray &record)
{
    if (record.size() != 6)
        return;
    auto b = [&](int i) { return int(quint8(record[i])); };
    const QDate date(2000 + b(5), b(4), b(3));
    const QTime time(b(2), b(1), b(0));
    m_clockRunning.start();
    // A year byte past 99 is kept as it came, like any impossible value.
    if (date.isValid() && time.isValid() && b(5) <= 99) {
        m_clockBase = QDateTime(date, time, Qt::UTC);
        m_rawClock.reset();
    } else {
        m_rawClock = record;
    }
}

QByteArray RecorderModel::clockBytes() const
{
    QMutexLocker lock(&m_mutex);
    return clockBytesLocked();
}

QByteArray RecorderModel::clockBytesLocked() const
{
    if (m_rawClock)
        return *m_rawClock;
    const QDateTime now = m_clockBase.addMSecs(m_clockRunning.elapsed());
    const QDate d = now.date();
    const QTime t = now.time();
    QByteArray out(6, 0);
    putBytes(out, 0, {t.second(), t.minute(), t.hour(), d.day(), d.month(), d.year() % 100});
    return out;
}

std::optional<RecorderModel::CalibrationCommand> RecorderModel::lastCalibrationCommand() const
{
    QMutexLocker lock(&m_mutex);
    return m_lastCalibration;
}

QList<RecorderModel::CommandWrite> RecorderModel::commandWrites() const
{
    QMutexLocker lock(&m_mutex);
    return m_commandWrites;
}

void RecorderModel::clearCommandWrites()
{
    QMutexLocker lock(&m_mutex);
    m_commandWrites.clear();
}

int RecorderModel::penPosition() const
{
    QMutexLocker lock(&m_mutex);
    return m_penPercent;
}

QByteArray RecorderModel::liveRecordLocked() const
{
    if (m_frozenLive)
        return *m_frozenLive;

    QByteArray rec(LiveBytes, 0);
    rec.replace(0, 6, clockBytesLocked());
    rec[6] = char(m_boardStatus & 0xFF);
    rec[7] = char(m_boardStatus >> 8);

    const double t = double(m_uptime.elapsed()) / 1000.0;
    const QByteArray &s = m_settings;

    // Measurement channels: each swings slowly through most of its range.
    float value[8] = {};
    bool usable[8] = {};
    for (int n = 0; n < Channels; ++n) {
        const int r = ChannelRecord * n;
        const int e = 8 + 14 * n;
        const bool on = byteAt(s, r) != 0;
        const bool fitted = m_moduleStatus[n] != 0xFF;
        rec[e] = char(byteAt(s, r));
        rec[e + 1] = char(m_moduleStatus[n]);
        usable[n] = on && fitted;
        if (!usable[n])
            continue;
        const double period = 60.0 + 7.0 * n;
        const float frac =
            float(0.5 + 0.4 * std::sin(2 * std::numbers::pi * t / period + n + m_phase));
        const float low = getFloat(s, r + 10);
        const float high = getFloat(s, r + 14);
        const PhysicalRange phys = physicalRange(byteAt(s, r + 1));
        value[n] = low + (high - low) * frac + getFloat(s, r + 18);
        putFloat(rec, e + 2, value[n]);
        putFloat(rec, e + 6, phys.low + (phys.high - phys.low) * frac);
        putFloat(rec, e + 10, float(23.0 + 0.5 * std::sin(t / 30.0 + n)));
    }

    // Math channels, evaluated from the measured values above.
    for (int m = 0; m < 4; ++m) {
        const int r = MathBase + MathRecord * m;
        const int e = 64 + 6 * m;
        rec[e] = char(byteAt(s, r));
        if (byteAt(s, r) == 0)
            continue;
        quint8 error = 0;
        float operand[4] = {};
        const int formula = byteAt(s, r + 1);
        const int used = formula == 3 ? 1 : formula == 4 ? 4 : 2;
        for (int i = 0; i < used; ++i) {
            const int ch = byteAt(s, r + 20 + i) & 3;
            operand[i] = value[ch];
            if (m_moduleStatus[ch] == 0xFF)
                error |= 0x01;
            else if (byteAt(s, ChannelRecord * ch) == 0)
                error |= 0x02;
        }
        const float a = operand[0], b = operand[1];
        float result = 0;
        switch (formula) {
        case 0: result = a + b; break;
        case 1: result = a - b; break;
        case 2: result = (a + b) / 2; break;
        case 3: {
            const int points = qBound(1, int(byteAt(s, r + 24)), 32);
            if (points < 2) {
                error |= 0x08;
                break;
            }
            int j = 0;
            while (j < points - 2 && a > getFloat(s, r + 26 + 4 * (j + 1)))
                ++j;
            const float x0 = getFloat(s, r + 26 + 4 * j), x1 = getFloat(s, r + 30 + 4 * j);
            const float y0 = getFloat(s, r + 154 + 4 * j), y1 = getFloat(s, r + 158 + 4 * j);
            if (a < getFloat(s, r + 26) || a > getFloat(s, r + 26 + 4 * (points - 1)))
                error |= 0x10;
            if (x1 == x0)
                error |= 0x04;
            else
                result = y0 + (y1 - y0) * (a - x0) / (x1 - x0);
            break;
        }
        default:
            for (int i = 0; i < 4; ++i)
                result += operand[i] * getFloat(s, r + 282 + 4 * i);
            break;
        }
        rec[e + 1] = char(error);
        putFloat(rec, e + 2, result);
        value[4 + m] = result;
        usable[4 + m] = true;
    }

    // Setpoints trip on the plain comparison; the return zone needs history
    // the simulator does not keep.
    for (int k = 0; k < 8; ++k) {
        const int r = SetpointBase + SetpointRecord * k;
        const int ch = byteAt(s, r + 1);
        bool tripped = false;
        if (byteAt(s, r) != 0 && ch < 8 && usable[ch]) {
            const float limit = getFloat(s, r + 4);
            tripped = byteAt(s, r + 2) == 0 ? value[ch] > limit : value[ch] < limit;
        }
        rec[88 + k] = char(tripped ? 1 : 0);
    }
    return rec;
}

} // namespace vexs
