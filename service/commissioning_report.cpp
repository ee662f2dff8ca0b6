#include "service/commissioning_report.h"

#include "link/line_speed.h"
#include "link/modbus.h"
#include "service/coefficient_read.h"
#include "service/live_record.h"
#include "settings/config_groups.h"
#include "settings/identification.h"
#include "settings/pages_origin.h"
#include "settings/whole_file.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QPageSize>
#include <QPdfWriter>
#include <QStringList>
#include <QTemporaryFile>
#include <QTextDocument>

namespace vexs {

namespace {

const QString kTitle = QStringLiteral("Отчёт о настройке прибора ВЕКС-310Т2");
const QString kNone = QStringLiteral("—");
const QString kTimeFormat = QStringLiteral("dd.MM.yyyy HH:mm:ss");

// --- Reading --------------------------------------------------------------

std::optional<ReportData> notMade(ModbusMaster &modbus, bool stopped, const QString &unanswered,
                                  QString *error)
{
    if (!error)
        return std::nullopt;
    if (stopped) {
        *error = QStringLiteral("Чтение прервано: отчёт не составлен");
        return std::nullopt;
    }
    *error = QStringLiteral("Нет связи с прибором при чтении %1: отчёт не составлен").arg(unanswered);
    const QString cause = causeText(modbus.lastOutcome());
    if (!cause.isEmpty())
        *error += QLatin1Char('\n') + cause;
    return std::nullopt;
}

// --- Layout ---------------------------------------------------------------

QString esc(const QString &text)
{
    return text.toHtmlEscaped();
}

// Every cell escaped; a header row when `heads` is not empty, repeated on
// each page the table runs over. `firstWidth`: the first column's share, in
// percent (0: as its texts need).
QString table(const QStringList &heads, const QList<QStringList> &rows, int firstWidth = 0)
{
    QString out = QStringLiteral("<table border=\"1\" cellspacing=\"0\" cellpadding=\"3\" width=\"100%\" "
                                 "style=\"border-collapse: collapse; border-color: #808080;\">");
    const auto widthOf = [firstWidth](int column) {
        return column == 0 && firstWidth > 0 ? QStringLiteral(" width=\"%1%\"").arg(firstWidth) : QString();
    };
    if (!heads.isEmpty()) {
        out += QStringLiteral("<thead><tr>");
        for (int c = 0; c < heads.size(); ++c)
            out += QStringLiteral("<th align=\"left\" bgcolor=\"#e8e8e8\"%1>%2</th>").arg(widthOf(c), esc(heads[c]));
        out += QStringLiteral("</tr></thead>");
    }
    for (const QStringList &row : rows) {
        out += QStringLiteral("<tr>");
        for (int c = 0; c < row.size(); ++c)
            out += QStringLiteral("<td%1>%2</td>").arg(widthOf(c), esc(row[c]));
        out += QStringLiteral("</tr>");
    }
    return out + QStringLiteral("</table>");
}

QString heading(int level, const QString &text)
{
    return QStringLiteral("<h%1>%2</h%1>").arg(level).arg(esc(text));
}

QString paragraph(const QString &text)
{
    return QStringLiteral("<p>%1</p>").arg(esc(text));
}

QString note(const QString &text)
{
    return QStringLiteral("<p style=\"font-size: small; color: #404040;\">%1</p>").arg(esc(text));
}

// A hint's lines ("text CR LF" each) as one cell.
QString hintText(const QString &hint)
{
    return hint.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts).join(QStringLiteral("; "));
}

QString withUnits(const QString &value, const QString &units)
{
    return units.isEmpty() ? value : value + QLatin1Char(' ') + units;
}

QString timeText(const QDateTime &time)
{
    return time.isValid() ? time.toString(kTimeFormat) : kNone;
}

QString summarySection(const ReportData &data, const std::optional<LiveView> &view)
{
    const QString serial = data.config.serial();
    QString out = QStringLiteral("<h1 align=\"center\">%1</h1>").arg(esc(kTitle));
    out += QStringLiteral("<p align=\"center\">%1</p>")
               .arg(esc(serial.isEmpty() ? QStringLiteral("Заводской номер неизвестен")
                                         : QStringLiteral("Заводской № ") + serial));
    QList<QStringList> rows{
        {QStringLiteral("Дата и время отчёта"), timeText(data.madeAt)},
        {QStringLiteral("Часы прибора"), view ? view->clock : kNone},
        {QStringLiteral("Связь"), data.link.isEmpty() ? kNone : data.link},
        {QStringLiteral("Программа"), data.program.isEmpty() ? kNone : data.program},
        {QStringLiteral("Инженер"), data.engineer.trimmed().isEmpty() ? kNone : data.engineer.trimmed()},
    };
    if (data.reference)
        rows << QStringList{QStringLiteral("Сравнение с файлом"), data.referenceName};
    return out + table({}, rows, 35);
}

QString identificationSection(const ReportData &data)
{
    QString out = heading(2, QStringLiteral("1. Идентификация"));
    QList<QStringList> rows;
    for (const FieldValue &v : identificationValues(data.config))
        rows << QStringList{v.caption, v.value};
    if (rows.isEmpty())
        return out + paragraph(QStringLiteral("Идентификация не считана"));
    return out + table({QStringLiteral("Параметр"), QStringLiteral("Значение")}, rows, 50);
}

QString settingsSection(const ReportData &data)
{
    QString out = heading(2, QStringLiteral("2. Настройки"));
    if (data.config.image.isEmpty())
        return out + paragraph(QStringLiteral("Настройки не считаны"));
    for (const ConfigGroup &g : configGroups()) {
        out += heading(3, g.title);
        QList<QStringList> rows;
        for (const FieldValue &v : groupValues(data.config, g))
            rows << QStringList{v.caption.isEmpty() ? v.field : v.caption, v.value};
        out += table({QStringLiteral("Параметр"), QStringLiteral("Значение")}, rows, 50);
    }
    return out;
}

QString coefficientSection(const ReportData &data)
{
    QString out = heading(2, QStringLiteral("3. Коэффициенты калибровки"));
    QStringList heads{QStringLiteral("Точка")};
    for (int n = 1; n <= calibration::kChannels; ++n)
        heads << QStringLiteral("Канал %1").arg(n);
    QList<QStringList> rows;
    for (int g = 0; g < report::kCoefficientGroups; ++g) {
        for (int point = 1; point <= calibration::kCoefficientPoints; ++point) {
            QStringList row{coefficientGroupCaption(g) + QStringLiteral(" T") + QString::number(point)};
            for (const QList<CoefficientBlock> &channel : data.coefficients) {
                const CoefficientBlock block = channel.value(g);
                if (block.data.size() >= 4 * calibration::kCoefficientPoints)
                    row << coefficientText(block.data, point);
                else
                    row << (block.missing.isEmpty() ? QStringLiteral("нет ответа") : block.missing);
            }
            rows << row;
        }
    }
    return out + table(heads, rows, 20);
}

QString liveSection(const ReportData &data, const std::optional<LiveView> &view)
{
    QString out = heading(2, QStringLiteral("4. Текущие значения"));
    if (!view)
        return out + paragraph(QStringLiteral("Текущие значения не считаны"));
    out += paragraph(QStringLiteral("Часы прибора: ") + view->clock);

    // The units as the channels' settings give them, as the measurement page shows them.
    ChannelSettings units;
    for (const ConfigGroup &g : configGroups())
        takeChannelRecord(units, *g.layout, g.item, data.config.groupRecord(g));

    out += heading(3, QStringLiteral("Каналы измерения"));
    QStringList heads{QString()};
    for (int n = 1; n <= live::kChannels; ++n)
        heads << QStringLiteral("Канал %1").arg(n);
    QList<QStringList> rows{{QStringLiteral("Вкл/Выкл")}, {QStringLiteral("Код ошибки")},
                            {QStringLiteral("Расшифровка")}, {QStringLiteral("Параметр")},
                            {QStringLiteral("Физ. параметр")}, {QStringLiteral("Температура ХС")}};
    for (int n = 0; n < live::kChannels; ++n) {
        const LiveChannelView &c = view->channels[n];
        rows[0] << c.onOff;
        rows[1] << c.errorCode;
        rows[2] << hintText(c.errorHint);
        rows[3] << c.parameter;
        rows[4] << withUnits(c.physical, units.units[n]);
        rows[5] << c.coldJunction;
    }
    out += table(heads, rows, 20);

    out += heading(3, QStringLiteral("Каналы математические"));
    heads = QStringList{QString()};
    for (int n = 1; n <= live::kChannels; ++n)
        heads << QStringLiteral("Канал M%1").arg(n);
    rows = {{QStringLiteral("Вкл/Выкл")}, {QStringLiteral("Код ошибки")}, {QStringLiteral("Расшифровка")},
            {QStringLiteral("Значение")}};
    for (int n = 0; n < live::kChannels; ++n) {
        const LiveMathView &m = view->math[n];
        rows[0] << m.onOff;
        rows[1] << m.errorCode;
        rows[2] << hintText(m.errorHint);
        rows[3] << withUnits(m.value, units.mathUnits[n]);
    }
    out += table(heads, rows, 20);
    for (const QString &line : errorCodeLegend().split(QLatin1Char('\n')))
        out += note(line);

    out += heading(3, QStringLiteral("Сигнализация"));
    rows.clear();
    for (int k = 0; k < live::kSetpoints; ++k) {
        // The page shows a setpoint that has tripped in red.
        const bool tripped = view->setpointColours[k] != QColor(255, 255, 255);
        rows << QStringList{QStringLiteral("Уставка %1").arg(k + 1),
                            tripped ? QStringLiteral("сработала") : QStringLiteral("не сработала")};
    }
    out += table({QStringLiteral("Уставка"), QStringLiteral("Состояние")}, rows, 50);

    out += heading(3, QStringLiteral("Статус платы процессора (самотестирование)"));
    rows.clear();
    for (int bit = 0; bit < live::kBoardBits; ++bit)
        rows << QStringList{boardStatusCaption(bit), view->boardStatus[bit]};
    return out + table({QStringLiteral("Диагностика"), QStringLiteral("Состояние")}, rows, 50);
}

QList<QStringList> differenceRows(const QList<ConfigDifference> &differences)
{
    QList<QStringList> rows;
    for (const ConfigDifference &d : differences) {
        rows << QStringList{d.groupTitle.isEmpty() ? d.group : d.groupTitle,
                            d.caption.isEmpty() ? d.field : d.caption, d.a, d.b};
    }
    return rows;
}

QString comparisonSection(const ReportData &data)
{
    QString out = heading(2, QStringLiteral("5. Сравнение с файлом «%1»").arg(data.referenceName));
    const QList<ConfigDifference> groups = compareGroups(data.config, *data.reference);
    const QList<ConfigDifference> notes = compareIdentification(data.config, *data.reference);
    const QStringList heads{QStringLiteral("Группа"), QStringLiteral("Поле"), QStringLiteral("В приборе"),
                            QStringLiteral("В файле")};
    out += paragraph(groups.isEmpty() ? QStringLiteral("Различий в настройках нет")
                                      : QStringLiteral("Различий в настройках: %1").arg(groups.size()));
    if (!groups.isEmpty())
        out += table(heads, differenceRows(groups));
    if (!notes.isEmpty()) {
        // A reference kept from another recorder differs here by design.
        out += paragraph(QStringLiteral("Идентификация отличается (не учитывается): %1").arg(notes.size()));
        out += table(heads, differenceRows(notes));
    }
    return out;
}

QString signatureSection(const ReportData &data)
{
    const QString engineer = data.engineer.trimmed();
    QString out = QStringLiteral("<p>&nbsp;</p>");
    out += QStringLiteral("<p>Инженер: %1 &nbsp;&nbsp;&nbsp; Подпись: ____________________</p>")
               .arg(engineer.isEmpty() ? QStringLiteral("____________________") : esc(engineer));
    out += paragraph(QStringLiteral("Дата: ")
                     + (data.madeAt.isValid() ? data.madeAt.toString(QStringLiteral("dd.MM.yyyy")) : kNone));
    out += note(QStringLiteral("Составлено программой %1, %2")
                     .arg(data.program.isEmpty() ? kNone : data.program, timeText(data.madeAt)));
    return out;
}

QString failedWrite(const QString &path, const QString &why)
{
    return QStringLiteral("Отчёт «%1» не записан: %2").arg(QDir::toNativeSeparators(path), why);
}

} // namespace

std::optional<ReportData> readReportData(ModbusMaster &modbus, const ILinkSettings &link,
                                         const QString &program, const BlockProgress &progress,
                                         QString *error)
{
    ReportData data;
    data.program = program;
    data.link = reportLinkText(link);
    int done = 0;
    bool stopped = false;
    const auto step = [&](int reached) {
        done = reached;
        stopped = progress && !progress(done, report::kReadRequests);
        return !stopped;
    };

    std::optional<DeviceConfig> config = readDeviceConfig(modbus, program, [&](int reached, int) {
        return step(reached);
    });
    // A stop asked for at the last block still ends the read.
    if (!config || stopped) {
        return notMade(modbus, stopped,
                       done == 0 ? QStringLiteral("идентификации прибора") : QStringLiteral("настроек прибора"),
                       error);
    }
    data.config = std::move(*config);

    const auto groups = coefficientGroups();
    Q_ASSERT(int(groups.size()) == report::kCoefficientGroups);
    for (int n = 1; n <= calibration::kChannels; ++n) {
        for (int g = 0; g < int(groups.size()); ++g) {
            CoefficientBlock block;
            if (const std::optional<QByteArray> read = readCoefficientGroup(modbus, n, groups[g])) {
                block.data = *read;
            } else if (modbus.lastOutcome().kind == FrameOutcome::Exception) {
                block.missing = QStringLiteral("прибор отказал (исключение %1)").arg(modbus.lastOutcome().exception);
            } else {
                return notMade(modbus, false,
                               QStringLiteral("коэффициентов канала %1 (%2)").arg(n).arg(coefficientGroupCaption(g)),
                               error);
            }
            data.coefficients[n - 1] << block;
            if (!step(done + 1))
                return notMade(modbus, true, QString(), error);
        }
    }

    // Last, so that the snapshot is of the moment the report is made.
    const int waitMs = pollWaitMs(link.interfaceIndex() == 0, lineSpeedForIndex(link.baudIndex()));
    const std::optional<QByteArray> record =
        readBlock(modbus, true, {{live::kFirstRegister, live::kRegisterCount}}, waitMs);
    if (!record)
        return notMade(modbus, false, QStringLiteral("текущих значений"), error);
    data.liveRecord = *record;
    // Everything is read: a stop asked for now changes nothing.
    if (progress)
        progress(done + 1, report::kReadRequests);
    data.madeAt = QDateTime::currentDateTime();
    return data;
}

QString reportLinkText(const ILinkSettings &link)
{
    return QStringLiteral("адрес %1, %2")
        .arg(link.slaveAddress())
        .arg(PagesOrigin::ofDevice(Identification(), link, QDateTime()).link);
}

QString reportHtml(const ReportData &data)
{
    const std::optional<LiveView> view = decodeLiveRecord(data.liveRecord);
    QString html = QStringLiteral("<html><head><meta charset=\"utf-8\"><title>%1</title></head><body>")
                       .arg(esc(kTitle));
    html += summarySection(data, view);
    html += identificationSection(data);
    html += settingsSection(data);
    html += coefficientSection(data);
    html += liveSection(data, view);
    if (data.reference)
        html += comparisonSection(data);
    html += signatureSection(data);
    return html + QStringLiteral("</body></html>");
}

bool canWriteReport(const QString &path, QString *error)
{
    const auto refuse = [&](const QString &why) {
        if (error)
            *error = failedWrite(path, why);
        return false;
    };
    if (path.trimmed().isEmpty()) {
        if (error)
            *error = QStringLiteral("Не указан файл отчёта");
        return false;
    }
    const QFileInfo info(path);
    if (info.isDir())
        return refuse(QStringLiteral("это папка"));
    const QDir folder = info.absoluteDir();
    if (!folder.exists())
        return refuse(QStringLiteral("нет папки «%1»").arg(QDir::toNativeSeparators(folder.absolutePath())));
    if (info.exists() && !info.isWritable())
        return refuse(QStringLiteral("файл защищён от записи"));
    // The new report goes into a file beside the old one first; the folder
    // must take it. The probe goes with its scope.
    QTemporaryFile probe(folder.filePath(QStringLiteral("vexs-report-XXXXXX.tmp")));
    if (!probe.open())
        return refuse(QStringLiteral("в папку нельзя записать (%1)").arg(probe.errorString()));
    return true;
}

void printReport(QPagedPaintDevice *device, const QString &html)
{
    QTextDocument document;
    QFont font = document.defaultFont();
    font.setPointSizeF(9);
    document.setDefaultFont(font);
    document.setHtml(html);
    // Without a page size of its own the document is laid out on the
    // device's pages, and print() numbers them at the foot.
    document.print(device);
}

bool writeReportPdf(const QString &path, const QString &html, QString *error)
{
    // Made in memory first, then saved whole: a disk that fills up half-way
    // leaves the old file, not half a report.
    QByteArray pdf;
    {
        QBuffer buffer(&pdf);
        buffer.open(QIODevice::WriteOnly);
        QPdfWriter writer(&buffer);
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setTitle(kTitle);
        printReport(&writer, html);
    }
    if (!pdf.startsWith("%PDF")) {
        if (error)
            *error = failedWrite(path, QStringLiteral("PDF не составлен"));
        return false;
    }
    QString why;
    if (!saveWholeFile(path, pdf, &why)) {
        if (error)
            *error = failedWrite(path, why);
        return false;
    }
    return true;
}

QString reportFileName(const QString &serial, const QDateTime &at)
{
    const QString date = at.toString(QStringLiteral("yyyyMMdd"));
    if (serial.trimmed().isEmpty())
        return QStringLiteral("report-%1.pdf").arg(date);
    return serialFileName(serial.trimmed()) + QStringLiteral("-report-") + date + QStringLiteral(".pdf");
}

} // namespace vexs
