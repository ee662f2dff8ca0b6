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

// What a spreadsheet set to Russian reads as a number: a decimal comma
// beside the ';' separators. Scripts may ask for the point.
enum class CsvDecimal { Comma, Point };

namespace livecsv {
// Tells a spreadsheet that the file is UTF-8 rather than the system's code
// page; once, at the very start of a file.
inline constexpr char16_t kByteOrderMark = u'\uFEFF';

// Fields are separated by ';'.
QString headerRow();
// The row of one poll; a null view for a poll without a record. The reals
// carry `decimal`'s separator whatever the locale the view was made in.
QString pollRow(const QDateTime &time, const LiveView *view,
                CsvDecimal decimal = CsvDecimal::Comma);
} // namespace livecsv

class LiveCsvRecorder
{
public:
    ~LiveCsvRecorder();

    // Creates (or empties) the file and writes the byte order mark and the
    // header row; every row until close() has `decimal`'s separator.
    bool open(const QString &path, CsvDecimal decimal = CsvDecimal::Comma);
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
    CsvDecimal m_decimal = CsvDecimal::Comma;
};

} // namespace vexs
