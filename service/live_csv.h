#pragma once

// "Запись в CSV": one row per poll of the measurement page, to a file the
// user picks. A poll that got no record writes its time and "Нет связи" with
// the values left empty, so the file shows the gap instead of repeating the
// last values.

#include <QFile>
#include <QString>

class QDateTime;

namespace vexs {

struct LiveView;

namespace livecsv {
// Fields are separated by ';': the values carry the locale's decimal comma.
QString headerRow();
// The row of one poll; a null view for a poll without a record.
QString pollRow(const QDateTime &time, const LiveView *view);
} // namespace livecsv

class LiveCsvRecorder
{
public:
    ~LiveCsvRecorder();

    // Creates (or empties) the file and writes the header row.
    bool open(const QString &path);
    bool append(const QDateTime &time, const LiveView *view);
    void close();

    bool isOpen() const { return m_file.isOpen(); }
    QString path() const { return m_file.fileName(); }
    // Rows written since open(), header not counted.
    qint64 rows() const { return m_rows; }

private:
    bool write(const QString &row);

    QFile m_file;
    qint64 m_rows = 0;
};

} // namespace vexs
