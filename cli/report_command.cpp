#include "cli/report_command.h"

#include "cli/output.h"

#include "cli/device_link.h"
#include "service/commissioning_report.h"
#include "settings/config_file.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>

#include <cstdio>

namespace vexs::cli {

std::unique_ptr<QCoreApplication> makeApplication(int &argc, char **argv)
{
    // The command is known before the application is: the arguments as
    // QCoreApplication would decode them.
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    QString ignored;
    const std::optional<Options> options = parseOptions(arguments, &ignored);
    if (!options || options->help || options->version || options->command != QLatin1String("report"))
        return std::make_unique<QCoreApplication>(argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    return std::make_unique<QGuiApplication>(argc, argv);
}

int runReport(const Options &o)
{
    QString error;
    // Before anything is sent: reads that end in a report nobody can save
    // would only cost the time.
    if (!canWriteReport(o.output, &error)) {
        say(error);
        return kFailed;
    }
    std::optional<DeviceConfig> reference;
    if (!o.compare.isEmpty()) {
        reference = readConfigFile(o.compare, &error);
        if (!reference) {
            say(error);
            return kFailed;
        }
    }
    DeviceLink link(o);
    if (!link.open(&error)) {
        say(error);
        return kFailed;
    }
    say(QStringLiteral("Чтение настроек прибора (%1)...").arg(link.describe()));
    const auto progress = [](int done, int total) {
        // The coefficients' reads wait up to 10 s each without --fast.
        if (done == kConfigReadRequests)
            say(QStringLiteral("Чтение коэффициентов калибровки..."));
        else if (done == total - 1)
            say(QStringLiteral("Чтение текущих значений..."));
        return true;
    };
    std::optional<ReportData> data = readReportData(link.modbus(), link.settings(), program(), progress, &error);
    if (!data) {
        say(error);
        return kFailed;
    }
    data->engineer = o.engineer;
    data->link = link.describe();
    if (reference) {
        data->reference = std::move(reference);
        data->referenceName = QFileInfo(o.compare).fileName();
    }
    if (!writeReportPdf(o.output, reportHtml(*data), &error)) {
        say(error);
        return kFailed;
    }
    const QString serial = data->config.serial();
    say(QStringLiteral("Отчёт о приборе %1 сохранён: %2")
            .arg(serial.isEmpty() ? link.describe() : QStringLiteral("№") + serial,
                 QDir::toNativeSeparators(o.output)));
    return kOk;
}

} // namespace vexs::cli
