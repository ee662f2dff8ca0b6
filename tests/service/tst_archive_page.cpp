// The archive page: the grid as labelled at start-up, the sample record of
// "Считать", and the two buttons without action.

#include "service/archive_page.h"
#include "ui/controls.h"
#include "tests/support/window_fixture.h"

#include <QAbstractButton>
#include <QLocale>
#include <QTableWidget>
#include <QTest>

using namespace vexs;
using namespace vexs::test;

namespace {

const QString kGrid = QStringLiteral("sgDataPrib");

WindowFixture::Options noSimulator()
{
    WindowFixture::Options options;
    options.sim = false;
    return options;
}

QStringList gridRow(IControls &c, int row)
{
    QStringList cells;
    for (int column = 0; column < 20; ++column)
        cells << c.cell(kGrid, column, row);
    return cells;
}

} // namespace

class TestArchivePage : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia)); }
    void gridAtStart();
    void readFillsRowOne();
    void clearAndExportDoNothing();
    void dateTimeText_data();
    void dateTimeText();
    void flashPageIsEmpty();
};

void TestArchivePage::gridAtStart()
{
    WindowFixture fx(noSimulator());
    auto *grid = fx.window().findChild<QTableWidget *>(kGrid);
    QVERIFY(grid);
    QCOMPARE(grid->columnCount(), 20);
    QCOMPARE(grid->rowCount(), 5);

    // Latin K and M, Cyrillic К in the channel error columns.
    const QString K = QString(QChar(0x004B)), M = QString(QChar(0x004D)), Ka = QString(QChar(0x041A));
    QStringList titles = {QStringLiteral("№"), QStringLiteral("Дата/время")};
    for (int n = 1; n <= 4; ++n) titles << K + QString::number(n);
    for (int n = 1; n <= 4; ++n) titles << M + QString::number(n);
    titles << QStringLiteral("Реле") << QStringLiteral("Ош.");
    for (int n = 1; n <= 4; ++n) titles << Ka + QString::number(n) + QStringLiteral(" ош.");
    for (int n = 1; n <= 4; ++n) titles << M + QString::number(n) + QStringLiteral(" ош.");
    QCOMPARE(gridRow(fx.controls(), 0), titles);

    const int widths[20] = {50, 100, 55, 55, 55, 55, 55, 55, 55, 55,
                            60, 40, 40, 40, 40, 40, 40, 40, 40, 40};
    for (int column = 0; column < 20; ++column)
        QCOMPARE(grid->columnWidth(column), widths[column]);
    for (int row = 0; row < 5; ++row) {
        QCOMPARE(grid->rowHeight(row), 16);
        QVERIFY(grid->item(row, 0) && !(grid->item(row, 0)->flags() & Qt::ItemIsEditable));
    }
    for (int column = 0; column < 20; ++column)
        QVERIFY(!(grid->item(0, column)->flags() & Qt::ItemIsEditable));
    QCOMPARE(grid->editTriggers(), QAbstractItemView::NoEditTriggers);
    for (int row = 1; row < 5; ++row)
        QCOMPARE(gridRow(fx.controls(), row), QStringList(QList<QString>(20)));
}

void TestArchivePage::readFillsRowOne()
{
    // No device at all: the page does not talk to one.
    WindowFixture fx(noSimulator());
    IControls &c = fx.controls();
    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    fx.click(QStringLiteral("Button5"));
    const QDateTime after = QDateTime::currentDateTime().addSecs(1);

    QStringList expected = {QStringLiteral("1"), c.cell(kGrid, 1, 1)};
    for (int i = 0; i < 4; ++i) expected << QStringLiteral("1.00005");
    for (int i = 0; i < 4; ++i) expected << QStringLiteral("1.00006");
    expected << QStringLiteral("01010101") << QStringLiteral("126");
    for (int i = 0; i < 8; ++i) expected << QStringLiteral("127");
    QCOMPARE(gridRow(c, 1), expected);

    // Short date and long time of the locale: dd.MM.yyyy HH:mm:ss here.
    const QDateTime stamp =
        QDateTime::fromString(c.cell(kGrid, 1, 1), QStringLiteral("dd.MM.yyyy HH:mm:ss"));
    QVERIFY2(stamp.isValid(), qPrintable(c.cell(kGrid, 1, 1)));
    QVERIFY(stamp >= before && stamp <= after);

    for (int row = 2; row < 5; ++row)
        QCOMPARE(gridRow(c, row), QStringList(QList<QString>(20)));
    QVERIFY(fx.boxes.boxes.isEmpty());

    // Pressing again rewrites the same row.
    fx.click(QStringLiteral("Button5"));
    QCOMPARE(gridRow(c, 1).mid(2), expected.mid(2));
    QCOMPARE(gridRow(c, 2), QStringList(QList<QString>(20)));
}

void TestArchivePage::clearAndExportDoNothing()
{
    WindowFixture fx(noSimulator());
    IControls &c = fx.controls();
    fx.click(QStringLiteral("Button5"));
    const QStringList header = gridRow(c, 0), row1 = gridRow(c, 1);
    QCOMPARE(fx.button(QStringLiteral("Button7"))->text(), QStringLiteral("Очистить"));
    QCOMPARE(fx.button(QStringLiteral("Button9"))->text(), QStringLiteral("Экспорт"));
    fx.click(QStringLiteral("Button7"));
    fx.click(QStringLiteral("Button9"));
    QCOMPARE(gridRow(c, 0), header);
    QCOMPARE(gridRow(c, 1), row1);
    QVERIFY(fx.boxes.boxes.isEmpty());
}

void TestArchivePage::dateTimeText_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QString>("text");
    QTest::newRow("ru_RU") << QLocale(QLocale::Russian, QLocale::Russia) << "05.03.2024 07:08:09";
    QTest::newRow("de_DE") << QLocale(QLocale::German, QLocale::Germany) << "05.03.24 07:08:09";
    QTest::newRow("en_US") << QLocale(QLocale::English, QLocale::UnitedStates)
                           << "3/5/24 7:08:09 AM";
}

void TestArchivePage::dateTimeText()
{
    QFETCH(QLocale, locale);
    QFETCH(QString, text);
    const QDateTime at(QDate(2024, 3, 5), QTime(7, 8, 9));
    QCOMPARE(localeDateTimeText(at, locale), text);
    QCOMPARE(archiveSampleRow(at, locale).value(1), text);
}

void TestArchivePage::flashPageIsEmpty()
{
    WindowFixture fx(noSimulator());
    QWidget *sheet = fx.window().findChild<QWidget *>(QStringLiteral("TabSheet1"));
    QVERIFY(sheet);
    for (QWidget *w : sheet->findChildren<QWidget *>())
        QVERIFY2(w->findChildren<QWidget *>().isEmpty(), qPrintable(w->objectName()));
}

QTEST_MAIN(TestArchivePage)
#include "tst_archive_page.moc"
