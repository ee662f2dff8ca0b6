#include "link/link_statistics.h"

#include <QLocale>

#include <algorithm>

namespace vexs {

void LinkStatistics::record(int address, FrameOutcome outcome, qint64 replyUs)
{
    if (outcome == FrameOutcome::NoLink || outcome == FrameOutcome::None
        || outcome == FrameOutcome::Purged)
        return;
    Counts &c = m_addresses[address];
    AddressStatistics &r = c.row;
    r.address = address;
    ++r.requests;
    switch (outcome) {
    case FrameOutcome::Ok: ++r.ok; break;
    case FrameOutcome::NoReply: ++r.noReply; break;
    case FrameOutcome::BadCrc: ++r.badCrc; break;
    case FrameOutcome::Exception: ++r.exceptions; break;
    default: ++r.other; break;
    }
    if (outcome != FrameOutcome::Ok || replyUs < 0)
        return;
    r.minUs = r.minUs < 0 ? replyUs : std::min(r.minUs, replyUs);
    r.maxUs = std::max(r.maxUs, replyUs);
    if (int(c.times.size()) < kTimesKept) {
        c.times.push_back(replyUs);
    } else {
        c.times[c.next] = replyUs;
        c.next = (c.next + 1) % kTimesKept;
    }
}

void LinkStatistics::recordFailure(int address)
{
    AddressStatistics &r = m_addresses[address].row;
    r.address = address;
    ++r.requests;
    ++r.other;
}

QList<AddressStatistics> LinkStatistics::rows() const
{
    QList<AddressStatistics> rows;
    for (const auto &[address, counts] : m_addresses) {
        AddressStatistics row = counts.row;
        if (!counts.times.empty()) {
            std::vector<qint64> sorted = counts.times;
            const auto middle = sorted.begin() + qsizetype(sorted.size() / 2);
            std::nth_element(sorted.begin(), middle, sorted.end());
            row.medianUs = *middle;
        }
        rows.append(row);
    }
    return rows;
}

namespace {

QString milliseconds(qint64 us)
{
    return us < 0 ? QStringLiteral("—") : QLocale().toString(double(us) / 1000.0, 'f', 1);
}

} // namespace

QStringList statisticsTitles()
{
    return {QStringLiteral("Адрес"),       QStringLiteral("Запросов"),   QStringLiteral("OK"),
            QStringLiteral("Нет ответа"),  QStringLiteral("Ошибка CRC"), QStringLiteral("Исключение"),
            QStringLiteral("Прочие"),      QStringLiteral("Мин., мс"),   QStringLiteral("Медиана, мс"),
            QStringLiteral("Макс., мс")};
}

QStringList statisticsTexts(const AddressStatistics &r)
{
    return {QString::number(r.address), QString::number(r.requests),   QString::number(r.ok),
            QString::number(r.noReply), QString::number(r.badCrc),     QString::number(r.exceptions),
            QString::number(r.other),   milliseconds(r.minUs),         milliseconds(r.medianUs),
            milliseconds(r.maxUs)};
}

QString statisticsReport(const QList<AddressStatistics> &rows)
{
    if (rows.isEmpty())
        return QStringLiteral("Запросов не было\n");
    QString text;
    for (const AddressStatistics &r : rows) {
        text += QStringLiteral("Адрес %1: запросов %2, OK %3, нет ответа %4, ошибка CRC %5, "
                               "исключение %6, прочие %7; время ответа, мс: мин. %8, медиана %9, "
                               "макс. %10\n")
                    .arg(r.address)
                    .arg(r.requests)
                    .arg(r.ok)
                    .arg(r.noReply)
                    .arg(r.badCrc)
                    .arg(r.exceptions)
                    .arg(r.other)
                    .arg(milliseconds(r.minUs), milliseconds(r.medianUs), milliseconds(r.maxUs));
    }
    return text;
}

} // namespace vexs
