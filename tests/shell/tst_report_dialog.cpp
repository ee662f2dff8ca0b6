// The report dialog's order of things against the simulated recorder in
// process: the path (or printer) is chosen and checked and the reference file
// read before anything is sent; the report is told done only once written.

#include "service/commissioning_report.h"
#include "settings/config_file.h"
#include "shell/report_dialog.h"
#include "tests/service/page_harness.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPrinter>
#include <QTemporaryDir>
#include <QTest>

using namespace vexs;
using namespace vexs::test;

Q_DECLARE_METATYPE(vexs::test::CapturedBoxes::Kind)

namespace {

using Kind = CapturedBoxes::Kind;

bool isPdf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.read(4) == "%PDF";
}

} // namespace

class TestReportDialog : public QObject
{
    Q_OBJECT

private slots:
    void savePdf_data();
    void savePdf();
    void print_data();
    void print();
};

void TestReportDialog::savePdf_data()
{
    QTest::addColumn<QString>("chosen");    // in the temporary folder; empty: the user gives up
    QTest::addColumn<QString>("reference"); // "", "good" or "bad"
    QTest::addColumn<bool>("silent");
    QTest::addColumn<int>("boxes");
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<QString>("starts");    // the box's text begins so; %1 the report's path
    QTest::addColumn<int>("sent");
    QTest::newRow("saved") << "r.pdf" << "" << false << 1 << Kind::Info << "Отчёт сохранён: %1"
                           << report::kReadRequests;
    QTest::newRow("suffix added") << "r" << "" << false << 1 << Kind::Info << "Отчёт сохранён: %1"
                                  << report::kReadRequests;
    QTest::newRow("with a reference") << "r.pdf" << "good" << false << 1 << Kind::Info
                                      << "Отчёт сохранён: %1" << report::kReadRequests;
    QTest::newRow("given up") << "" << "" << false << 0 << Kind::Info << "" << 0;
    QTest::newRow("path refused") << "missing/r.pdf" << "" << false << 1 << Kind::Error
                                  << "Отчёт «%1» не записан: нет папки" << 0;
    QTest::newRow("reference refused") << "r.pdf" << "bad" << false << 1 << Kind::Error << "" << 0;
    QTest::newRow("silent device") << "r.pdf" << "" << true << 1 << Kind::Error
                                   << "Нет связи с прибором при чтении идентификации прибора" << 1;
}

void TestReportDialog::savePdf()
{
    QFETCH(QString, chosen);
    QFETCH(QString, reference);
    QFETCH(bool, silent);
    QFETCH(int, boxes);
    QFETCH(Kind, kind);
    QFETCH(QString, starts);
    QFETCH(int, sent);
    QTemporaryDir dir;
    PageHarness<ReportDialog> h;
    if (silent)
        h.link.faults.add(FaultRule{FaultRule::Silent});
    if (!reference.isEmpty()) {
        const QString path = dir.filePath(reference + QStringLiteral(".json"));
        if (reference == QLatin1String("good")) {
            DeviceConfig config;
            config.identification = h.link.model.identification();
            config.image = h.link.model.settingsArea();
            QString error;
            QVERIFY2(writeConfigFile(path, config, &error), qPrintable(error));
        } else {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("{ not a configuration");
        }
        h.page->findChild<QLineEdit *>(QStringLiteral("EditReportCompare"))->setText(path);
    }
    h.page->hooks().saveFileName = [&](const QString &, const QString &suggested) {
        // Offered in the folder of the last file, named for the day.
        if (!suggested.endsWith(QStringLiteral(".pdf")))
            return QString();
        return chosen.isEmpty() ? QString() : dir.filePath(chosen);
    };

    h.page->savePdf();

    const QString report = chosen.isEmpty() ? QString()
                           : dir.filePath(chosen.endsWith(QStringLiteral(".pdf")) ? chosen : chosen + ".pdf");
    QCOMPARE(h.boxes.boxes.size(), boxes);
    if (boxes > 0) {
        QCOMPARE(h.boxes.lastKind(), kind);
        const QString expected = starts.contains(QStringLiteral("%1")) ? starts.arg(QDir::toNativeSeparators(report))
                                                                        : starts;
        QVERIFY2(h.boxes.lastText().startsWith(expected), qPrintable(h.boxes.lastText()));
    }
    QCOMPARE(h.link.sent.size(), sent);
    QCOMPARE(isPdf(report), kind == Kind::Info && boxes > 0);
    QCOMPARE(h.status.open, 0);
}

void TestReportDialog::print_data()
{
    QTest::addColumn<bool>("chosen");
    QTest::addColumn<int>("sent");
    QTest::newRow("printed") << true << report::kReadRequests;
    QTest::newRow("given up") << false << 0;
}

void TestReportDialog::print()
{
    QFETCH(bool, chosen);
    QFETCH(int, sent);
    QTemporaryDir dir;
    const QString output = dir.filePath(QStringLiteral("printed.pdf"));
    PageHarness<ReportDialog> h;
    h.page->hooks().choosePrinter = [&](QPrinter &printer) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(output);
        return chosen;
    };
    h.page->print();
    QCOMPARE(h.link.sent.size(), sent);
    QCOMPARE(isPdf(output), chosen);
    QCOMPARE(h.boxes.texts(), chosen ? QStringList{QStringLiteral("Отчёт отправлен на печать")} : QStringList());
}

QTEST_MAIN(TestReportDialog)
#include "tst_report_dialog.moc"
