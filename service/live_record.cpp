#include "service/live_record.h"

#include "link/line_speed.h"
#include "link/modbus.h"
#include "settings/encodings.h"
#include "settings/record_layout.h"

#include <QStringList>
#include <QtEndian>

namespace vexs {

namespace {

// Offsets within the 96-octet record.
constexpr int kClockAt = 0;
constexpr int kBoardStatusAt = 6;
constexpr int kChannelAt = 8;   // 14 octets per measurement channel
constexpr int kChannelSize = 14;
constexpr int kMathAt = 64;     // 6 octets per math channel
constexpr int kMathSize = 6;
constexpr int kSetpointAt = 88; // one octet per setpoint

const char *const kModuleTexts[] = {
    "Модуль не проинизиализирован",
    "Модуль неисправен",
    "Коэффициенты калибровки некорректны",
    "Неисправен датчик температуры",
    "Выход за пределы измерений",
};

const char *const kMathTexts[] = {
    "Ошибка в канале измерения",
    "Канал измерения выключен",
    "Деление на ноль",
    "Количество точек в таблице меньше 2",
    "Значение выходит за пределы таблицы",
};

const QString kNoErrors = QStringLiteral("Нет ошибок");
const QString kNoModule = QStringLiteral("Модуль не установлен");

quint8 octet(const QByteArray &record, int at)
{
    return static_cast<quint8>(record.at(at));
}

QString twoDigits(quint8 value)
{
    return PadLeft(QString::number(value), 2, QLatin1Char('0'));
}

QString onOffText(quint8 value)
{
    return value != 0 ? QStringLiteral("Вкл") : QStringLiteral("Выкл");
}

QString flagTexts(quint8 bits, const char *const (&texts)[5])
{
    QString hint;
    for (int bit = 0; bit < 5; ++bit) {
        if (bits & (1u << bit))
            hint += QString::fromUtf8(texts[bit]) + QStringLiteral("\r\n");
    }
    return hint;
}

// "1 — text; 2 — text; ...": each flag by the value it adds to a code.
QString flagLegend(const char *const (&texts)[5])
{
    QStringList entries;
    for (int bit = 0; bit < 5; ++bit)
        entries << QStringLiteral("%1 — %2").arg(1 << bit).arg(QString::fromUtf8(texts[bit]));
    return entries.join(QStringLiteral("; "));
}

const Field *fieldOf(const BlockLayout &block, const QString &key)
{
    for (const Field &f : block.fields) {
        if (f.key == key)
            return &f;
    }
    return nullptr;
}

} // namespace

QString boardStatusCaption(int bit)
{
    static const char *const kCaptions[live::kBoardBits] = {
        "Питание 5В",        "Питание 3В",       "Питание контроллера 3В", "Состояние батарейки",
        "Обмен I2C",         "Состояние FRAM",   "Обмен SPI",              "Состояние FLASH1",
        "Состояние FLASH2",  "Состояние пера",   "Калибровка пера",
    };
    return bit >= 0 && bit < live::kBoardBits ? QString::fromUtf8(kCaptions[bit]) : QString();
}

QString liveClockText(const QByteArray &record)
{
    if (record.size() < kClockAt + 6)
        return QString();
    const auto part = [&](int i) { return twoDigits(octet(record, kClockAt + i)); };
    return part(3) + QLatin1Char('.') + part(4) + QLatin1Char('.') + part(5)
           + QStringLiteral("  ") + part(2) + QLatin1Char(':') + part(1) + QLatin1Char(':')
           + part(0);
}

QString moduleStatusHint(quint8 status)
{
    if (status == 0)
        return kNoErrors;
    // 255 has every flag set but means that no module is fitted at all.
    if (status == live::kModuleMissing)
        return kNoModule;
    return flagTexts(status, kModuleTexts);
}

QString mathErrorHint(quint8 code)
{
    if (code == 0)
        return kNoErrors;
    return flagTexts(code, kMathTexts);
}

QString errorCodeLegend()
{
    const QString none = QStringLiteral("0 — ") + kNoErrors + QStringLiteral("; ");
    const QString missing = QStringLiteral("; %1 — ").arg(int(live::kModuleMissing)) + kNoModule;
    return QStringLiteral("Ошибка канала измерения (сумма кодов): ") + none
           + flagLegend(kModuleTexts) + missing
           + QStringLiteral("\nОшибка математического канала (сумма кодов): ") + none
           + flagLegend(kMathTexts);
}

QString dataAgeText(const QDateTime &lastGood, bool live, const QDateTime &now)
{
    if (live || !lastGood.isValid())
        return QString();
    // After midnight a bare time would pass for today's.
    const QString format = lastGood.date() == now.date() ? QStringLiteral("hh:mm:ss")
                                                          : QStringLiteral("dd.MM.yyyy hh:mm:ss");
    return QStringLiteral("данные от ") + lastGood.toString(format);
}

bool takeChannelRecord(ChannelSettings &settings, const BlockLayout &block, int item,
                       const QByteArray &record)
{
    const bool math = &block == &mathChannelLayout();
    if (!math && &block != &measurementChannelLayout())
        return false;
    const Field *units = fieldOf(block, QStringLiteral("units"));
    const Field *enabled = fieldOf(block, QStringLiteral("enabled"));
    if (!units || !enabled || item < 1 || item > live::kChannels
        || record.size() < block.recordSize)
        return false;
    (math ? settings.mathUnits : settings.units)[item - 1] =
        decodeTextField(record.mid(units->offset, units->width), units->width, units->pad)
            .trimmed();
    (math ? settings.mathOff : settings.off)[item - 1] = octet(record, enabled->offset) == 0;
    return true;
}

std::optional<LiveView> decodeLiveRecord(const QByteArray &record)
{
    if (record.size() != live::kRecordSize)
        return std::nullopt;

    LiveView view;
    view.clock = liveClockText(record);

    for (int i = 0; i < live::kChannels; ++i) {
        const int at = kChannelAt + kChannelSize * i;
        LiveChannelView &c = view.channels[i];
        c.onOff = onOffText(octet(record, at));
        const quint8 status = octet(record, at + 1);
        c.errorCode = QString::number(status);
        c.errorHint = moduleStatusHint(status);
        c.parameter = formatReal(readFloat(record, at + 2));
        c.physical = formatReal(readFloat(record, at + 6));
        c.coldJunction = formatReal(readFloat(record, at + 10));

        const int mat = kMathAt + kMathSize * i;
        LiveMathView &m = view.math[i];
        m.onOff = onOffText(octet(record, mat));
        const quint8 code = octet(record, mat + 1);
        m.errorCode = QString::number(code);
        m.errorHint = mathErrorHint(code);
        m.value = formatReal(readFloat(record, mat + 2));
    }

    const quint16 board = qFromLittleEndian<quint16>(record.constData() + kBoardStatusAt);
    for (int bit = 0; bit < live::kBoardBits; ++bit)
        view.boardStatus[bit] = (board & (1u << bit)) ? QStringLiteral("Ошибка")
                                                       : QStringLiteral("OK");

    for (int k = 0; k < live::kSetpoints; ++k)
        view.setpointColours[k] = octet(record, kSetpointAt + k) != 0 ? QColor(255, 0, 0)
                                                                       : QColor(255, 255, 255);
    return view;
}

std::optional<QByteArray> liveRecordOfReply(const QByteArray &reply)
{
    const std::optional<ReadReply> view = ReadReply::of(reply, live::kRegisterCount);
    if (!view)
        return std::nullopt;
    return view->data();
}

int pollWaitMs(bool serial, int baud)
{
    return lineWaitMs(live::kPollWaitMs, live::kRequestSize, live::kReplySize, serial, baud);
}

} // namespace vexs
