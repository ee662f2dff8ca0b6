#pragma once

// The commissioning report: what an engineer hands over with a recorder.
// Its identification, every configuration group as the pages show it, the
// calibration coefficients of each channel, a snapshot of the live values
// with error codes and the board's self-test, and, against a reference
// file, the differences; signed with the engineer's name, the date and the
// program's version. The reads are the ones the pages and the file make;
// the report is laid out as HTML and printed by Qt's own PDF writer or a
// printer, with numbered pages. No widgets: vexs-cli makes it too.

#include "service/calibration.h"
#include "settings/block_io.h"
#include "settings/config_file.h"
#include "settings/config_transfer.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

#include <array>
#include <optional>

class QPagedPaintDevice;

namespace vexs {

class ILinkSettings;
class ModbusMaster;

namespace report {
inline constexpr int kCoefficientGroups = 5;
// The configuration's, each coefficient group of every channel, the live record.
inline constexpr int kReadRequests = kConfigReadRequests + calibration::kChannels * kCoefficientGroups + 1;
} // namespace report

// One coefficient group of a channel as read.
struct CoefficientBlock
{
    QByteArray data; // ten registers: five reals; empty when the device refused them
    QString missing; // why there are none, as the report says it
};

struct ReportData
{
    DeviceConfig config;
    // Channel 1..4 at [0..3], the groups in coefficientGroups() order.
    std::array<QList<CoefficientBlock>, calibration::kChannels> coefficients;
    QByteArray liveRecord; // input registers 0..47 as read, 96 octets
    std::optional<DeviceConfig> reference;
    QString referenceName; // the reference file's name, as the report shows it
    QString engineer;
    QDateTime madeAt;      // the end of the reads
    QString program;       // name and version
    QString link;          // "адрес 1, RS-485, COM1, 115200 бит/с"
};

// Identification and settings (readDeviceConfig), every coefficient group of
// channels 1..4 (the service page's request and wait), then the live record
// (the poll's request and wait): report::kReadRequests requests, each told
// to `progress`, which may stop the read by returning false. nullopt at the
// first request without a valid reply, or once stopped, with `error` saying
// which read went unanswered and that no report was made. A coefficient
// group the device refuses with an exception is noted in the report and the
// read goes on: the recorder is there, it has no such coefficients. A TCP
// socket failure propagates.
std::optional<ReportData> readReportData(ModbusMaster &modbus, const ILinkSettings &link,
                                         const QString &program, const BlockProgress &progress,
                                         QString *error);

// "адрес 1, RS-485, COM1, 115200 бит/с" or "адрес 1, Ethernet".
QString reportLinkText(const ILinkSettings &link);

// The whole report as HTML for QTextDocument; every text escaped.
QString reportHtml(const ReportData &data);

// Asked before anything is read: whether a report can be written at `path`
// (the folder exists and takes a new file; an existing file is writable). A
// file made to find out is removed again. false with `error`: "Отчёт «path»
// не записан: why".
bool canWriteReport(const QString &path, QString *error);

// Lays `html` out on the pages of `device` (a PDF writer or a printer), the
// page number at the foot of each page.
void printReport(QPagedPaintDevice *device, const QString &html);

// An A4 PDF of `html` at `path`, whole or not at all: the old file stays
// until the new one is complete. false with `error` as canWriteReport's.
bool writeReportPdf(const QString &path, const QString &html, QString *error);

// "<serial>-report-yyyyMMdd.pdf", the serial as serialFileName gives it;
// "report-yyyyMMdd.pdf" without one.
QString reportFileName(const QString &serial, const QDateTime &at);

} // namespace vexs
