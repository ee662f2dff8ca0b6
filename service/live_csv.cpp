#include "service/live_csv.h"

#include "service/live_record.h"
#include "settings/whole_file.h"

#include <QDateTime>
#include <QLocale>
#include <QStringList>

namespace vexs {

namespace livecsv {

namespace {
// Time, link state, three fields per measurement channel, two per math channel.
constexpr int kFields = 2 + 3 * live::kChannels + 2 * live::kChannels;

// A real as the page shows it carries the locale's separator (a point under
// the C locale a script may run in); the file has the one asked for. The
// text holds no other point or comma: digits, a sign, "E" and its exponent,
// or NAN and INF.
QString real(QString shown, CsvDecimal decimal)
{
    const QChar wanted = decimal == CsvDecimal::Point ? QLatin1Char('.') : QLatin1Char(',');
    const QString locale = QLocale().decimalPoint();
    if (!locale.isEmpty())
        shown.replace(locale, QString(wanted));
    shown.replace(QLatin1Char('.'), wanted);
    shown.replace(QLatin1Char(','), wanted);
    return shown;
}
} // namespace

QString headerRow()
{
    QStringList fields{QStringLiteral("Время"), QStringLiteral("Связь")};
    for (int n = 1; n <= live::kChannels; ++n) {
        const QString channel = QStringLiteral("Канал %1 ").arg(n);
        fields << channel + QStringLiteral("параметр") << channel + QStringLiteral("физ. параметр")
               << channel + QStringLiteral("ошибка");
    }
    for (int m = 1; m <= live::kChannels; ++m) {
        const QString channel = QStringLiteral("Канал M%1 ").arg(m);
        fields << channel + QStringLiteral("значение") << channel + QStringLiteral("ошибка");
    }
    return fields.join(QLatin1Char(';'));
}

QString pollRow(const QDateTime &time, const LiveView *view, CsvDecimal decimal)
{
    QStringList fields{time.toString(QStringLiteral("dd.MM.yyyy hh:mm:ss"))};
    if (!view) {
        fields << QStringLiteral("Нет связи");
        while (fields.size() < kFields)
            fields << QString();
        return fields.join(QLatin1Char(';'));
    }
    fields << QStringLiteral("Есть связь");
    for (const LiveChannelView &c : view->channels)
        fields << real(c.parameter, decimal) << real(c.physical, decimal) << c.errorCode;
    for (const LiveMathView &m : view->math)
        fields << real(m.value, decimal) << m.errorCode;
    return fields.join(QLatin1Char(';'));
}

} // namespace livecsv

LiveCsvRecorder::~LiveCsvRecorder()
{
    close();
}

bool LiveCsvRecorder::open(const QString &path, CsvDecimal decimal)
{
    close();
    m_rows = 0;
    m_decimal = decimal;
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
        return false;
    // The file starts empty (Truncate), so its one mark goes with the header;
    // the rows are appended after it.
    if (!write(QChar(livecsv::kByteOrderMark) + livecsv::headerRow())) {
        close();
        return false;
    }
    return true;
}

bool LiveCsvRecorder::append(const QDateTime &time, const LiveView *view)
{
    if (!isOpen() || !write(livecsv::pollRow(time, view, m_decimal)))
        return false;
    ++m_rows;
    return true;
}

void LiveCsvRecorder::close()
{
    if (m_file.isOpen())
        m_file.close();
}

bool LiveCsvRecorder::write(const QString &row)
{
    // Straight to the file at every poll: a recording that ends with the
    // program killed or the machine switched off keeps every row up to then,
    // and a full disk leaves no half row behind.
    return appendWhole(m_file, row.toUtf8() + "\r\n");
}

} // namespace vexs
