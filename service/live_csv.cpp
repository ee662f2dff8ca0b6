#include "service/live_csv.h"

#include "service/live_record.h"
#include "settings/whole_file.h"

#include <QDateTime>
#include <QStringList>

namespace vexs {

namespace livecsv {

namespace {
// Time, link state, three fields per measurement channel, two per math channel.
constexpr int kFields = 2 + 3 * live::kChannels + 2 * live::kChannels;
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

QString pollRow(const QDateTime &time, const LiveView *view)
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
        fields << c.parameter << c.physical << c.errorCode;
    for (const LiveMathView &m : view->math)
        fields << m.value << m.errorCode;
    return fields.join(QLatin1Char(';'));
}

} // namespace livecsv

LiveCsvRecorder::~LiveCsvRecorder()
{
    close();
}

bool LiveCsvRecorder::open(const QString &path)
{
    close();
    m_rows = 0;
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
        return false;
    if (!write(livecsv::headerRow())) {
        close();
        return false;
    }
    return true;
}

bool LiveCsvRecorder::append(const QDateTime &time, const LiveView *view)
{
    if (!isOpen() || !write(livecsv::pollRow(time, view)))
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
