// The configuration file: arbitrary contents are read as the program reads
// Vexs.ini, one of our keys is written, and the result is read again. What
// was written reads back, writing it again changes nothing, and every line
// that does not mention the key keeps its bytes and its order.
//
// Octet 0 picks the key and the value; the rest is the file.
#include "fuzz/fuzz_check.h"
#include "shell/ini_file.h"

#include <QList>

using namespace vexs;
using vexs::fuzz::check;

namespace {

const QString kSection = QStringLiteral("Vexs");

// The lines of a text (split at CR and LF alike) that do not mention `key`
// as the file's reader would match it; a last line that only gained a line
// end compares equal.
QList<QByteArray> linesWithout(const QByteArray &text, const QString &key)
{
    QList<QByteArray> out;
    for (const QByteArray &piece : text.split('\n')) {
        for (const QByteArray &line : piece.split('\r')) {
            if (!line.isEmpty() && !QString::fromUtf8(line).contains(key, Qt::CaseInsensitive))
                out.append(line);
        }
    }
    return out;
}

bool isSubsequence(const QList<QByteArray> &part, const QList<QByteArray> &whole)
{
    qsizetype at = 0;
    for (const QByteArray &line : whole) {
        if (at < part.size() && line == part[at])
            ++at;
    }
    return at == part.size();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *raw, size_t size)
{
    static const QStringList keys = {"UpDownAdr", "UpDownComPort", "ComboBoxBaud", "EditIP",
                                     "EditIPPort"};
    static const QStringList values = {"7", "0x1F", "192.168.011.002", QStringLiteral("шлюз"),
                                       "", "a=b", "10.0.0.1\r\n[Ports]", "\"5000\""};
    if (size < 1)
        return 0;
    const QString &key = keys[raw[0] % keys.size()];
    const QString &value = values[(raw[0] / keys.size()) % values.size()];
    const QByteArray before = vexs::fuzz::bytesOf(raw + 1, size - 1);

    IniFile::parseInteger(IniFile::valueIn(before, kSection, key, QString()), 1);

    const std::optional<QByteArray> after = IniFile::withValue(before, kSection, key, value);
    if (IniFile::problemOf(before) != IniFile::Problem::None || !IniFile::canStore(value)) {
        check(!after);
        return 0;
    }
    check(after.has_value());
    check(IniFile::problemOf(*after) == IniFile::Problem::None || after->size() > IniFile::MaxSize);
    if (IniFile::problemOf(*after) != IniFile::Problem::None)
        return 0;
    // Quotes around a value are not part of it when read.
    QString expected = value;
    if (expected.size() >= 2 && expected.front() == u'"' && expected.back() == u'"')
        expected = expected.mid(1, expected.size() - 2);
    check(IniFile::valueIn(*after, kSection, key, QStringLiteral("?")) == expected);
    check(IniFile::keysIn(*after, kSection).contains(key, Qt::CaseInsensitive));
    check(IniFile::withValue(*after, kSection, key, value) == after);
    check(isSubsequence(linesWithout(before, key), linesWithout(*after, key)));
    return 0;
}
