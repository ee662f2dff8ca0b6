// The search of the line from the connection bar: several simulated
// recorders on one pseudo-terminal, the dialog's list, cancelling, and the
// address a double click takes.
#include "settings/bus_scan.h"
#include "shell/bus_scan_dialog.h"
#include "link/link_activity.h"
#include "shell/connection_bar.h"
#include "tests/support/window_fixture.h"
#include "ui/controls.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QPointer>
#include <QSpinBox>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

using namespace vexs;
using namespace vexs::test;

class tst_bus_scan : public QObject
{
    Q_OBJECT
    static WindowFixture::Options threeRecorders()
    {
        WindowFixture::Options o;
        o.addresses = {3, 5, 9};
        return o;
    }
    static BusScanDialog *openDialog(WindowFixture &fx)
    {
        fx.click(QStringLiteral("ButtonBusScan"));
        return fx.window().findChild<BusScanDialog *>();
    }

private slots:
    void findsEveryRecorderAndTakesTheChosenAddress();
    void stopsBetweenAddresses_data();
    void stopsBetweenAddresses();
    void fastExchangeIsKeptInVexsIni();
    void waitOfTheUserReachesASlowRecorder();
    void lateReplyIsNotTakenForTheNextAddress();
    void waitOfAProbe_data();
    void waitOfAProbe();
    void startsOnceTheLinkIsFreeAndNamesAMissingLink();
};

void tst_bus_scan::findsEveryRecorderAndTakesTheChosenAddress()
{
    WindowFixture fx(threeRecorders());
    BusScanDialog *dialog = openDialog(fx);
    QVERIFY(dialog);
    // The unicast addresses by default; a recorder may also be given 248..255.
    auto *to = dialog->findChild<QSpinBox *>("UpDownScanTo");
    QCOMPARE(QList<int>({to->value(), to->maximum()}), QList<int>({247, 255}));
    dialog->scan(1, 10);
    QStringList seen;
    for (const FoundRecorder &r : dialog->found())
        seen << QStringLiteral("%1 %2").arg(r.address).arg(r.serial);
    QCOMPARE(seen, QStringList({"3 310003", "5 310005", "9 310009"}));
    QCOMPARE(dialog->findChild<QLabel *>("StaticTextScan")->text(), QString("Найдено приборов: 3"));
    // Each address was asked once, and only for its identification.
    QCOMPARE(fx.requests().size(), 10);

    auto *table = dialog->findChild<QTableWidget *>("StringGridScan");
    QCOMPARE(table->rowCount(), 3);
    QVERIFY(QTest::qWaitForWindowExposed(dialog));
    const QRect cell = table->visualItemRect(table->item(1, 0));
    // A double click as the toolkit sees one: a click, then the second press.
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, cell.center());
    QCOMPARE(fx.controls().position("UpDownAdr"), 5);
    QTRY_VERIFY(!fx.window().findChild<BusScanDialog *>());
}

void tst_bus_scan::waitOfTheUserReachesASlowRecorder()
{
    WindowFixture::Options o;
    o.addresses = {3};
    o.latencyMs = 200; // beyond the automatic wait at 115200 bit/s
    WindowFixture fx(o);
    BusScanDialog *dialog = openDialog(fx);
    QVERIFY(dialog);
    dialog->scan(3, 3);
    QVERIFY(dialog->found().isEmpty());
    auto *wait = dialog->findChild<QSpinBox *>("UpDownScanWait");
    QVERIFY(wait);
    QCOMPARE(wait->text(), QString("авто"));
    QTest::qWait(300); // the late reply to the first scan is over
    wait->setValue(600);
    dialog->scan(3, 3);
    QCOMPARE(dialog->found().size(), 1);
}

void tst_bus_scan::lateReplyIsNotTakenForTheNextAddress()
{
    WindowFixture::Options o;
    o.addresses = {3};
    o.latencyMs = 150; // past its own wait, within a later address's
    WindowFixture fx(o);
    BusScanDialog *dialog = openDialog(fx);
    QVERIFY(dialog);
    dialog->scan(3, 8);
    QVERIFY(dialog->found().isEmpty());
}

void tst_bus_scan::waitOfAProbe_data()
{
    QTest::addColumn<bool>("serial");
    QTest::addColumn<int>("chosenMs"); // 0: "авто"
    QTest::addColumn<int>("waitMs");
    // 35 octets of request and reply take 37 ms at 9600 bit/s; a recorder
    // turns round within 20 ms, and the rule's margin is 50.
    QTest::newRow("line, auto") << true << 0 << 87;
    QTest::newRow("line, chosen") << true << 300 << 300;
    QTest::newRow("line, chosen just fits") << true << 57 << 57;
    QTest::newRow("line, chosen below the line time") << true << 20 << 87;
    QTest::newRow("gateway, auto") << false << 0 << 100;
    QTest::newRow("gateway, chosen") << false << 20 << 20;
}

void tst_bus_scan::waitOfAProbe()
{
    QFETCH(bool, serial);
    QFETCH(int, chosenMs);
    QFETCH(int, waitMs);
    QCOMPARE(scanWaitMs(serial, 9600, chosenMs), waitMs);
}

void tst_bus_scan::stopsBetweenAddresses_data()
{
    QTest::addColumn<bool>("close");
    QTest::newRow("Отмена") << false;
    // Closing must not delete the dialog under the wait of its probe.
    QTest::newRow("closing the dialog") << true;
}

void tst_bus_scan::stopsBetweenAddresses()
{
    QFETCH(bool, close);
    WindowFixture fx(threeRecorders());
    QPointer<BusScanDialog> dialog = openDialog(fx);
    QTimer::singleShot(150, dialog, [dialog, close] { close ? dialog->reject() : dialog->cancel(); });
    dialog->scan(1, 247);
    QVERIFY(dialog);
    QVERIFY(dialog->found().size() < 3);
    QVERIFY(fx.requests().size() < 20);
    QVERIFY(dialog->findChild<QLabel *>("StaticTextScan")->text().contains("остановлен на адресе"));
    if (close)
        QTRY_VERIFY(!dialog);
    else
        QVERIFY(dialog->isVisible());
}

void tst_bus_scan::fastExchangeIsKeptInVexsIni()
{
    WindowFixture::Options o;
    o.config = "[Vexs]\r\nUpDownAdr=2\r\nFastExchange=1\r\n";
    WindowFixture fx(o);
    auto *box = fx.window().findChild<QCheckBox *>("CheckBoxFastExchange");
    QVERIFY(box->isChecked());
    QVERIFY(fx.window().connectionBar().fastExchange());
    box->setChecked(false);
    fx.window().close();
    QFile f(fx.configPath());
    QVERIFY(f.open(QIODevice::ReadOnly));
    QVERIFY(f.readAll().contains("FastExchange=0"));
}

void tst_bus_scan::startsOnceTheLinkIsFreeAndNamesAMissingLink()
{
    WindowFixture fx(threeRecorders());
    BusScanDialog *dialog = openDialog(fx);
    auto *status = dialog->findChild<QLabel *>("StaticTextScan");
    dialog->findChild<QSpinBox *>("UpDownScanTo")->setValue(5);
    {
        // A page's read under way: its waits are not the search's.
        LinkActivity::Scope pageRead(fx.window().context().activity);
        dialog->findChild<QAbstractButton *>("ButtonScan")->click();
        QTest::qWait(50);
        QVERIFY(!dialog->scanning());
    }
    QTRY_COMPARE(status->text(), QString("Найдено приборов: 2"));

    // Over a gateway whose connection is not open nothing can answer.
    fx.controls().setItemIndex(QStringLiteral("ComboBoxInterface"), 1);
    dialog->scan(1, 247);
    QCOMPARE(status->text(), QString("Поиск прерван: нет связи с прибором: соединение со шлюзом не открыто"));
}

QTEST_MAIN(tst_bus_scan)
#include "tst_bus_scan.moc"
