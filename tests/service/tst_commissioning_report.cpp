// The commissioning report: what it reads from a simulated recorder (in
// process: every request is answered at once and recorded), what a reader
// finds in it (the HTML laid out by QTextDocument, its tables read back row
// by row), its PDF, and the refusals: a path that cannot be written, a
// device that stops answering, a read stopped by the user.

#include "link/modbus.h"
#include "service/calibration.h"
#include "service/commissioning_report.h"
#include "settings/config_groups.h"
#include "tests/service/page_harness.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextTable>

#include <algorithm>
#include <bit>

using namespace vexs;
using namespace vexs::test;

namespace {

const int kGroupOffsets[] = {0, 10, 20, 30, 42}; // registers from a channel's first

QByteArray floatBytes(float value)
{
    const quint32 bits = std::bit_cast<quint32>(value);
    QByteArray bytes;
    for (int i = 0; i < 4; ++i)
        bytes.append(char((bits >> (8 * i)) & 0xFF));
    return bytes;
}

void putFloat(QByteArray &bytes, int at, float value)
{
    bytes.replace(at, 4, floatBytes(value));
}

// A live record with every value known: clock 14.03.25 03:04:05, board bits
// 2 and 10 failed, channel 2 with code 6, channel 4 without its module,
// math channel 2 dividing by zero, setpoint 2 tripped.
QByteArray knownLiveRecord()
{
    QByteArray r(96, '\0');
    r.replace(0, 6, QByteArray::fromHex("05040" "30e0319"));
    r[6] = char(0x04);
    r[7] = char(0x04);
    const quint8 status[] = {0, 6, 0, 255};
    for (int n = 0; n < 4; ++n) {
        r[8 + 14 * n] = char(n < 3 ? 1 : 0);
        r[9 + 14 * n] = char(status[n]);
    }
    putFloat(r, 10, 12.5f);  // channel 1: parameter
    putFloat(r, 14, 4.25f);  // physical
    putFloat(r, 18, 23.0f);  // cold junction
    r[64] = 1;
    r[70] = 1;
    r[71] = 4;
    putFloat(r, 66, 60.0f);
    r[89] = 1;
    return r;
}

// Every table row as a reader sees it: the cells' texts joined by " | ".
QStringList tableRows(const QTextDocument &document)
{
    QStringList rows;
    const auto visit = [&rows](const auto &self, QTextFrame *frame) -> void {
        for (QTextFrame *child : frame->childFrames()) {
            if (auto *t = qobject_cast<QTextTable *>(child)) {
                for (int r = 0; r < t->rows(); ++r) {
                    QStringList cells;
                    for (int c = 0; c < t->columns(); ++c) {
                        QTextCursor cursor = t->cellAt(r, c).firstCursorPosition();
                        cursor.setPosition(t->cellAt(r, c).lastCursorPosition().position(),
                                           QTextCursor::KeepAnchor);
                        cells << cursor.selectedText();
                    }
                    rows << cells.join(QStringLiteral(" | "));
                }
            }
            self(self, child);
        }
    };
    visit(visit, document.rootFrame());
    return rows;
}

struct Reader
{
    DirectLink link;
    ModbusMaster modbus{link, link};

    std::optional<ReportData> read(QString *error, const BlockProgress &progress = {})
    {
        return readReportData(modbus, link, QStringLiteral("vexs-test 9.9"), progress, error);
    }
};

} // namespace

class TestCommissioningReport : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void readsWhatTheRecorderHolds();
    void silentDevice_data();
    void silentDevice();
    void refusedCoefficientsAreNoted();
    void stopBetweenRequests_data();
    void stopBetweenRequests();

    void reportRows_data();
    void reportRows();
    void everyGroupUnderItsTitle();
    void textsAreEscaped();

    void pdfOfManyPages();
    void pathRefused_data();
    void pathRefused();
    void failedWriteLeavesNothing();

private:
    Reader m_reader;
    std::optional<ReportData> m_data;
    QString m_html;
    QStringList m_rows;
    QString m_text;
};

void TestCommissioningReport::initTestCase()
{
    // Decimal commas, as the window shows its numbers.
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    RecorderModel &model = m_reader.link.model;
    // "Uin 1V" of channel n, point k: n * 10 + k + 0.5.
    for (int n = 1; n <= 4; ++n) {
        QByteArray group;
        for (int k = 1; k <= 5; ++k)
            group += floatBytes(float(n * 10 + k) + 0.5f);
        QVERIFY(model.setHoldingBytes(10001 + 1000 * n + 20, group));
    }
    model.setLiveRecord(knownLiveRecord());

    QString error;
    m_data = m_reader.read(&error);
    QVERIFY2(m_data, qPrintable(error));
    m_data->engineer = QStringLiteral("Иванов И. И.");
    // The reference: the same recorder with another upper limit on channel 3
    // and another serial number.
    DeviceConfig reference = m_data->config;
    putFloat(reference.image, 2 * 40 + 14, 1000.0f);
    reference.identification.replace(6, 6, "999999");
    m_data->reference = reference;
    m_data->referenceName = QStringLiteral("эталон.json");

    m_html = reportHtml(*m_data);
    QTextDocument document;
    document.setHtml(m_html);
    m_rows = tableRows(document);
    m_text = document.toPlainText();
}

void TestCommissioningReport::readsWhatTheRecorderHolds()
{
    const RecorderModel &model = m_reader.link.model;
    QCOMPARE(m_data->config.identification, model.identification());
    QCOMPARE(m_data->config.image, model.settingsArea());
    for (int n = 1; n <= 4; ++n) {
        const QByteArray held = model.coefficients(n);
        QCOMPARE(m_data->coefficients[n - 1].size(), 5);
        for (int g = 0; g < 5; ++g)
            QCOMPARE(m_data->coefficients[n - 1][g].data, held.mid(2 * kGroupOffsets[g], 20));
    }
    QCOMPARE(m_data->liveRecord, knownLiveRecord());
    QCOMPARE(m_data->program, QStringLiteral("vexs-test 9.9"));
    QVERIFY(m_data->madeAt.isValid());

    // The coefficients as the service page asks them, the live record as the poll does.
    const QList<DirectLink::Sent> &sent = m_reader.link.sent;
    QCOMPARE(sent.size(), report::kReadRequests);
    for (int k = 0; k < 20; ++k) {
        const QByteArray frame = sent[26 + k].frame;
        const int reg = 10001 + 1000 * (k / 5 + 1) + kGroupOffsets[k % 5];
        QCOMPARE(frame.left(6), QByteArray::fromHex("0103") + char(reg >> 8) + char(reg & 0xFF) + char(0) + char(10));
        QCOMPARE(sent[26 + k].waitMs, k % 5 == 0 ? 5000 : 10000);
    }
    QCOMPARE(sent.last().frame.left(6), QByteArray::fromHex("010400000030"));
    QCOMPARE(sent.last().waitMs, 100);
}

void TestCommissioningReport::silentDevice_data()
{
    QTest::addColumn<int>("function");
    QTest::addColumn<int>("firstRegister");
    QTest::addColumn<int>("sent");
    QTest::addColumn<QString>("unanswered");
    QTest::newRow("identification") << 3 << 10012 << 1 << QStringLiteral("идентификации прибора");
    QTest::newRow("settings") << 3 << 0 << 2 << QStringLiteral("настроек прибора");
    QTest::newRow("coefficients, mid-way") << 3 << 13021 << 26 + 2 * 5 + 3
                                           << QStringLiteral("коэффициентов канала 3 (Uin 1V)");
    QTest::newRow("live values, last") << 4 << 0 << 47 << QStringLiteral("текущих значений");
}

void TestCommissioningReport::silentDevice()
{
    QFETCH(int, function);
    QFETCH(int, firstRegister);
    QFETCH(int, sent);
    QFETCH(QString, unanswered);
    Reader r;
    FaultRule silent{FaultRule::Silent};
    silent.function = function;
    silent.firstRegister = firstRegister;
    r.link.faults.add(silent);
    QString error;
    QVERIFY(!r.read(&error));
    QCOMPARE(r.link.sent.size(), sent);
    const QStringList lines = error.split(QLatin1Char('\n'));
    QCOMPARE(lines.value(0), QStringLiteral("Нет связи с прибором при чтении %1: отчёт не составлен").arg(unanswered));
    QVERIFY2(lines.value(1).startsWith(QStringLiteral("Нет ответа")), qPrintable(error));
}

void TestCommissioningReport::refusedCoefficientsAreNoted()
{
    Reader r;
    FaultRule refuse{FaultRule::Refuse};
    refuse.amount = 2;
    refuse.firstRegister = 14001 + 42; // channel 4, Iout
    r.link.faults.add(refuse);
    QString error;
    const std::optional<ReportData> data = r.read(&error);
    QVERIFY2(data, qPrintable(error));
    QCOMPARE(r.link.sent.size(), report::kReadRequests);
    QVERIFY(data->coefficients[3][4].data.isEmpty());
    QTextDocument document;
    document.setHtml(reportHtml(*data));
    const QStringList rows = tableRows(document);
    const auto row = std::find_if(rows.begin(), rows.end(),
                                  [](const QString &x) { return x.startsWith(QStringLiteral("Iout T5 | ")); });
    QVERIFY(row != rows.end());
    QVERIFY2(row->endsWith(QStringLiteral(" | прибор отказал (исключение 2)")), qPrintable(*row));
}

void TestCommissioningReport::stopBetweenRequests_data()
{
    QTest::addColumn<int>("stopAt");
    QTest::addColumn<bool>("made");
    QTest::newRow("after the identification") << 1 << false;
    QTest::newRow("after the settings' last block") << 26 << false;
    QTest::newRow("among the coefficients") << 30 << false;
    QTest::newRow("after everything") << report::kReadRequests << true;
}

void TestCommissioningReport::stopBetweenRequests()
{
    QFETCH(int, stopAt);
    QFETCH(bool, made);
    Reader r;
    QList<int> told;
    QString error;
    const std::optional<ReportData> data = r.read(&error, [&](int done, int total) {
        told << done;
        return total == report::kReadRequests && done < stopAt;
    });
    QCOMPARE(data.has_value(), made);
    QCOMPARE(r.link.sent.size(), stopAt);
    QCOMPARE(told.last(), stopAt);
    if (!made)
        QCOMPARE(error, QStringLiteral("Чтение прервано: отчёт не составлен"));
}

void TestCommissioningReport::reportRows_data()
{
    QTest::addColumn<QString>("row");
    const auto row = [](const char *name, const char *text) { QTest::newRow(name) << QString::fromUtf8(text); };
    row("engineer", "Инженер | Иванов И. И.");
    row("program", "Программа | vexs-test 9.9");
    row("device clock", "Часы прибора | 14.03.25 03:04:05");
    row("reference named", "Сравнение с файлом | эталон.json");
    row("serial", "Заводской номер | 001234");
    row("date of manufacture", "Дата изготовления | 05.03.2009");
    row("a list by its item", "Термокомпенсация | Вкл");
    row("a real as its edit shows it", "ВПИ | 1300.000");
    row("a text", "Ед. измерения | кПа");
    row("coefficients", "Uin 1V T2 | 12,5 | 22,5 | 32,5 | 42,5");
    row("channels on", "Вкл/Выкл | Вкл | Вкл | Вкл | Выкл");
    row("error codes", "Код ошибки | 0 | 6 | 0 | 255");
    row("error hints", "Расшифровка | Нет ошибок | Модуль неисправен; Коэффициенты калибровки некорректны | "
                       "Нет ошибок | Модуль не установлен");
    row("values", "Параметр | 12,500 | 0,000 | 0,000 | 0,000");
    row("values with units", "Физ. параметр | 4,250 кПа | 0,000 °C | 0,000 °C | 0,000 В");
    row("math error codes", "Код ошибки | 0 | 4 | 0 | 0");
    row("math hints", "Расшифровка | Нет ошибок | Деление на ноль | Нет ошибок | Нет ошибок");
    row("math values with units", "Значение | 60,000 % | 0,000 °C | 0,000 ед | 0,000 кПа");
    row("setpoint tripped", "Уставка 2 | сработала");
    row("setpoint quiet", "Уставка 1 | не сработала");
    row("self-test passed", "Питание 5В | OK");
    row("self-test failed", "Питание контроллера 3В | Ошибка");
    row("self-test, last bit", "Калибровка пера | Ошибка");
    row("a difference", "Канал измерения 3 | ВПИ | 1300.000 | 1000.000");
    row("identification noted apart", "Идентификация | Заводской номер | 001234 | 999999");
}

void TestCommissioningReport::reportRows()
{
    QFETCH(QString, row);
    QVERIFY2(m_rows.contains(row), qPrintable(row));
}

void TestCommissioningReport::everyGroupUnderItsTitle()
{
    QStringList blocks;
    QTextDocument document;
    document.setHtml(m_html);
    for (QTextBlock b = document.begin(); b.isValid(); b = b.next())
        blocks << b.text();
    for (const ConfigGroup &g : configGroups())
        QVERIFY2(blocks.contains(g.title), qPrintable(g.title));
    for (const char *line : {"Отчёт о настройке прибора ВЕКС-310Т2", "Заводской № 001234", "Различий в настройках: 1",
                             "Идентификация отличается (не учитывается): 1"})
        QVERIFY2(blocks.contains(QString::fromUtf8(line)), line);
    QVERIFY(m_text.contains(QStringLiteral("Инженер: Иванов И. И.")));
    QVERIFY(m_text.contains(QStringLiteral("Дата: ") + m_data->madeAt.toString(QStringLiteral("dd.MM.yyyy"))));
    QVERIFY(m_text.contains(QStringLiteral("Составлено программой vexs-test 9.9")));

    // Without a reference there is nothing to compare.
    ReportData alone = *m_data;
    alone.reference.reset();
    QVERIFY(!reportHtml(alone).contains(QStringLiteral("Сравнение с файлом")));
}

void TestCommissioningReport::textsAreEscaped()
{
    ReportData data = *m_data;
    data.engineer = QStringLiteral("<b>Петров & сын</b>");
    data.referenceName = QStringLiteral("<i>a&b</i>.json");
    data.link = QStringLiteral("<адрес>");
    data.config.image.replace(22, 6, QByteArray("<&>\0\0\0", 6)); // measurement.1 units
    const QString html = reportHtml(data);
    QTextDocument document;
    document.setHtml(html);
    const QStringList rows = tableRows(document);
    QVERIFY(rows.contains(QStringLiteral("Инженер | <b>Петров & сын</b>")));
    QVERIFY(rows.contains(QStringLiteral("Сравнение с файлом | <i>a&b</i>.json")));
    QVERIFY(rows.contains(QStringLiteral("Связь | <адрес>")));
    QVERIFY(rows.contains(QStringLiteral("Ед. измерения | <&>")));
    QVERIFY(rows.contains(QStringLiteral("Физ. параметр | 4,250 <&> | 0,000 °C | 0,000 °C | 0,000 В")));
    for (const char *raw : {"<b>", "<i>", "<&>", "<адрес>"})
        QVERIFY2(!html.contains(QString::fromUtf8(raw)), raw);
}

void TestCommissioningReport::pdfOfManyPages()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("отчёт.pdf"));
    {
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("old");
    }
    QString error;
    QVERIFY2(writeReportPdf(path, reportHtml(*m_data), &error), qPrintable(error));

    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray pdf = file.readAll();
    QVERIFY(pdf.startsWith("%PDF"));
    const qsizetype pages = QString::fromLatin1(pdf).count(QRegularExpression(QStringLiteral("/Type\\s*/Page(?![a-zA-Z])")));
    QVERIFY2(pages > 1, qPrintable(QString::number(pages)));
    // Nothing of the making is left beside it.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("отчёт.pdf")});
}

void TestCommissioningReport::pathRefused_data()
{
    QTest::addColumn<QString>("where"); // in the temporary folder
    QTest::addColumn<bool>("readOnly");
    QTest::addColumn<QString>("why");   // empty: accepted
    QTest::newRow("a writable folder") << QStringLiteral("r.pdf") << false << QString();
    QTest::newRow("a missing folder") << QStringLiteral("missing/r.pdf") << false << QStringLiteral("нет папки");
    QTest::newRow("a folder, not a file") << QStringLiteral(".") << false << QStringLiteral("это папка");
    QTest::newRow("a read-only folder") << QStringLiteral("r.pdf") << true << QStringLiteral("в папку нельзя записать");
}

void TestCommissioningReport::pathRefused()
{
    QFETCH(QString, where);
    QFETCH(bool, readOnly);
    QFETCH(QString, why);
    QTemporaryDir dir;
    const QString path = QDir(dir.path()).filePath(where);
    if (readOnly) {
        QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        QFile probe(dir.filePath(QStringLiteral("probe")));
        if (probe.open(QIODevice::WriteOnly)) {
            probe.remove();
            QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
            QSKIP("this user writes into read-only folders");
        }
    }
    QString error;
    const bool accepted = canWriteReport(path, &error);
    QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QCOMPARE(accepted, why.isEmpty());
    if (!accepted) {
        QVERIFY2(error.startsWith(QStringLiteral("Отчёт «%1» не записан: ").arg(QDir::toNativeSeparators(path))),
                 qPrintable(error));
        QVERIFY2(error.contains(why), qPrintable(error));
    }
    // Finding out leaves nothing behind.
    QVERIFY(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
}

void TestCommissioningReport::failedWriteLeavesNothing()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("missing/r.pdf"));
    QString error;
    QVERIFY(!writeReportPdf(path, reportHtml(*m_data), &error));
    QVERIFY2(error.startsWith(QStringLiteral("Отчёт «")), qPrintable(error));
    QVERIFY(!QFileInfo::exists(path));
}

QTEST_MAIN(TestCommissioningReport)
#include "tst_commissioning_report.moc"
