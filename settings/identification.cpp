#include "settings/identification.h"

#include "link/modbus.h"
#include "settings/encodings.h"
#include "ui/controls.h"

namespace vexs {

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

} // namespace

IdentificationDate decodeIdentificationDate(const QByteArray &data, int currentYear)
{
    IdentificationDate result;
    if (data.size() < 6) {
        result.notDigit = '\0';
        return result;
    }
    for (int i = 0; i < 6; ++i) {
        if (!isDigit(data.at(i))) {
            result.notDigit = data.at(i);
            return result;
        }
    }
    auto twoDigits = [&data](int at) { return 10 * (data.at(at) - '0') + (data.at(at + 1) - '0'); };
    const int day = twoDigits(0);
    const int month = twoDigits(2);
    const int year = currentYear / 100 * 100 + twoDigits(4);
    // QDate(y, m, d) is null for a date that does not exist.
    result.date = QDate(year, month, day);
    return result;
}

std::optional<Identification> decodeIdentificationReply(const QByteArray &reply, int currentYear)
{
    const std::optional<ReadReply> view = ReadReply::of(reply, ident::kRegisterCount);
    if (!view)
        return std::nullopt;
    return decodeIdentification(view->data(), currentYear);
}

Identification decodeIdentification(const QByteArray &data, int currentYear)
{
    Identification block;
    block.date = decodeIdentificationDate(data, currentYear);
    block.serial = fromCp1251(data.mid(ident::kSerialOffset, ident::kSerialLength));
    for (int i = 0; i < ident::kKitOptions; ++i)
        block.kitOptions[i] = static_cast<quint8>(data.at(ident::kKitOffset + i));
    block.versionProc = static_cast<quint8>(data.at(19));
    block.versionInd = static_cast<quint8>(data.at(20));
    block.versionDac = static_cast<quint8>(data.at(21));
    return block;
}

void showIdentificationBody(IControls &controls, const Identification &block)
{
    controls.setText(QString::fromLatin1(ident::SerialEdit), block.serial);
    for (int i = 0; i < ident::kKitOptions; ++i)
        controls.setItemIndex(composedName(QString::fromLatin1(ident::KitList), i + 1), block.kitOptions[i]);
    controls.setText(QString::fromLatin1(ident::VerProc), versionText(block.versionProc));
    controls.setText(QString::fromLatin1(ident::VerInd), versionText(block.versionInd));
    controls.setText(QString::fromLatin1(ident::VerDac), versionText(block.versionDac));
}

QString notDigitText(char c)
{
    const auto code = static_cast<quint8>(c);
    if (code < 0x20 || code == 0x7F)
        return QLatin1Char('#') + QString::number(code);
    return fromCp1251(QByteArray(1, c));
}

std::optional<QByteArray> encodeIdentification(const QDate &date, const QString &serial,
                                               const std::array<int, ident::kKitOptions> &kit)
{
    if (!date.isValid())
        return std::nullopt;
    const auto serialBytes = toCp1251(serial);
    if (!serialBytes || serialBytes->size() != ident::kSerialLength)
        return std::nullopt;
    QByteArray data;
    data += PadLeft(QString::number(date.day()), 2, u'0').toLatin1();
    data += PadLeft(QString::number(date.month()), 2, u'0').toLatin1();
    data += PadLeft(QString::number(date.year() % 100), 2, u'0').toLatin1();
    data += *serialBytes;
    for (int index : kit)
        data += static_cast<char>(index & 0xFF);
    return data;
}

namespace ident {

QStringList kitItems(int option)
{
    static const char *const items[kKitOptions][5] = {
        {"[0] Невзрывозащищенное", "[Е] Взрывозащищенное"},
        {"[1] Количество аналоговых входов: один", "[2] Количество аналоговых входов: два",
         "[3] Количество аналоговых входов: три", "[4] Количество аналоговых входов: четыре"},
        {"[0] Преобразователи в комплекте отсутствуют",
         "[B] Тип преобразовытеля в комплекте: КРЛ-1-01-03-220В(0-10)мГн",
         "[C] Тип преобразовытеля в комплекте: КРЛ-1-02-03-220В(+-10)мГн"},
        {"[3] Интерфейсы: RS-485, USB", "[4] Интерфейсы: RS-485, USB, Ethernet"},
        {"[0] Преобразователи в комплекте отсутствуют",
         "[1] Количество преобразователей в комплекте: один",
         "[2] Количество преобразователей в комплекте: два",
         "[3] Количество преобразователей в комплекте: три",
         "[4] Количество преобразователей в комплекте: четыре"},
        {"[0] Наличие поверки ЦСМ: без поверки", "[1] Наличие поверки ЦСМ: с поверкой"},
    };
    QStringList result;
    if (option < 0 || option >= kKitOptions)
        return result;
    for (const char *item : items[option]) {
        if (item)
            result << QString::fromUtf8(item);
    }
    return result;
}

} // namespace ident

} // namespace vexs
