// The search of the line from the connection bar: several simulated
// recorders on one pseudo-terminal, the dialog's list, the speeds tried,
// cancelling, and the address and speed a double click takes.
#include "settings/bus_scan.h"
#include "shell/bus_scan_dialog.h"
#include "link/af_com_port.h"
#include "link/line_speed.h"
#include "link/link_activity.h"
#include "link/link_observer.h"
#include "link/tcp_client.h"
#include "shell/connection_bar.h"
#include "tests/support/window_fixture.h"
#include "ui/controls.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QSpinBox>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

using namespace vexs;
using namespace vexs::test;

namespace {

// The window's serial line as the bar gives it, at 38400 bit/s, and what
// the port was open at for the replies: each speed once, in the order
// tried. "Отмена" comes at request `cancelAt`.
struct Line : ILinkSettings, ILinkObserver
{
    quint8 slaveAddress() const override { return 1; }
    int interfaceIndex() const override { return 0; }
    int comPortNumber() const override { return 1; }
    int baudIndex() const override { return lineSpeedIndex(38400); }
    void requestSent(const QByteArray &) override
    {
        if (++requests == cancelAt)
            dialog->cancel();
    }
    void replyReceived(const QByteArray &, const QByteArray &) override
    {
        if (speeds.value(speeds.size() - 1) != port.BaudRate())
            speeds << port.BaudRate();
    }
    void octetsDiscarded(int) override {}

    TAfComPort port;
    BusScanDialog *dialog = nullptr;
    int cancelAt = 0;
    int requests = 0;
    QList<int> speeds;
};

} // namespace

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
    void findsEveryRecorderAndTakesTheChosenOne();
    void opensThePortAtEachSpeedTried_data();
    void opensThePortAtEachSpeedTried();
    void stopsBetweenAddresses_data();
    void stopsBetweenAddresses();
    void fastExchangeIsKeptInVexsIni();
    void waitOfTheUserReachesASlowRecorder();
    void lateReplyIsNotTakenForTheNextAddress();
    void waitOfAProbe_data();
    void waitOfAProbe();
    void startsOnceTheLinkIsFreeAndNamesAMissingLink();
};

void tst_bus_scan::findsEveryRecorderAndTakesTheChosenOne()
{
    WindowFixture fx(threeRecorders());
    BusScanDialog *dialog = openDialog(fx);
    QVERIFY(dialog);
    // The unicast addresses by default; a recorder may also be given 248..255.
    auto *to = dialog->findChild<QSpinBox *>("UpDownScanTo");
    QCOMPARE(QList<int>({to->value(), to->maximum()}), QList<int>({247, 255}));
    // The bar's speed only, unless every speed is asked for.
    auto *everySpeed = dialog->findChild<QCheckBox *>("CheckBoxScanEverySpeed");
    QVERIFY(!everySpeed->isChecked());
    everySpeed->setChecked(true);
    dialog->scan(1, 10);
    QStringList seen;
    for (const FoundRecorder &r : dialog->found())
        seen << QStringLiteral("%1 %2 %3").arg(r.address).arg(r.serial).arg(r.bitsPerSecond);
    QCOMPARE(seen.mid(0, 4),
             QStringList({"3 310003 115200", "5 310005 115200", "9 310009 115200", "3 310003 57600"}));
    QCOMPARE(dialog->findChild<QLabel *>("StaticTextScan")->text(), QString("Найдено приборов: 15"));
    // Each address was asked once at each speed, and only for its identification.
    QCOMPARE(fx.requests().size(), 50);

    auto *table = dialog->findChild<QTableWidget *>("StringGridScan");
    QCOMPARE(table->rowCount(), 15);
    QCOMPARE(table->item(10, 1)->text(), QString("19200"));
    QVERIFY(QTest::qWaitForWindowExposed(dialog));
    table->scrollToItem(table->item(10, 0));
    const QRect cell = table->visualItemRect(table->item(10, 0));
    // A double click as the toolkit sees one: a click, then the second press.
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, cell.center());
    QCOMPARE(fx.controls().position("UpDownAdr"), 5);
    QCOMPARE(fx.controls().itemIndex("ComboBoxBaud"), lineSpeedIndex(19200));
    QTRY_VERIFY(!fx.window().findChild<BusScanDialog *>());
}

void tst_bus_scan::opensThePortAtEachSpeedTried_data()
{
    QTest::addColumn<bool>("everySpeed");
    QTest::addColumn<int>("cancelAt"); // 0: never
    QTest::addColumn<QList<int>>("speeds");
    QTest::addColumn<int>("asked");
    QTest::addColumn<QString>("status");
    // Recorders at 3 and 5 of 2..6.
    QTest::newRow("the bar's speed") << false << 0 << QList<int>{38400} << 5 << "Найдено приборов: 2";
    QTest::newRow("every speed") << true << 0 << QList<int>{115200, 57600, 38400, 19200, 9600} << 25
                                 << "Найдено приборов: 10";
    // At the second address of the second speed, which still answers.
    QTest::newRow("Отмена at the second speed")
        << true << 7 << QList<int>{115200, 57600} << 7
        << "Найдено приборов: 3 (поиск остановлен на адресе 4, 57600 бит/с)";
}

void tst_bus_scan::opensThePortAtEachSpeedTried()
{
    QFETCH(bool, everySpeed);
    QFETCH(int, cancelAt);
    QFETCH(QList<int>, speeds);
    QFETCH(int, asked);
    QFETCH(QString, status);
    SimHarness sim;
    SimHarness::Options o;
    o.tcp = false;
    o.addresses = {3, 5};
    QVERIFY2(sim.start(o), qPrintable(sim.errorString()));
    Line line;
    line.port.SetDevicePathResolver([path = sim.ptyLink()](int) { return path; });
    line.cancelAt = cancelAt;
    TcpClient tcp;
    LinkActivity activity;
    LinkStack window(line, line.port, tcp, activity);
    BusScanDialog dialog(line, window, activity, &line);
    line.dialog = &dialog;
    dialog.findChild<QCheckBox *>("CheckBoxScanEverySpeed")->setChecked(everySpeed);
    dialog.scan(2, 6);
    QCOMPARE(line.speeds, speeds);
    QCOMPARE(dialog.findChild<QLabel *>("StaticTextScan")->text(), status);
    auto *progress = dialog.findChild<QProgressBar *>("ProgressBarScan");
    QCOMPARE(QList<int>({progress->value(), progress->maximum()}), QList<int>({asked, everySpeed ? 25 : 5}));
    // No port is left open at a speed the bar does not name.
    QCOMPARE(line.port.Active(), !everySpeed);
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
    ConnectionBar &bar = fx.window().connectionBar();
    QVERIFY(bar.fastExchange());
    // Switched off in "Параметры связи", where the dialog shows it ticked.
    bool shownTicked = false;
    bar.editLinkOptions = [&](const LinkOptions &now) {
        shownTicked = now.fastExchange;
        LinkOptions off = now;
        off.fastExchange = false;
        return std::optional(off);
    };
    fx.click("ButtonLinkOptions");
    QVERIFY(shownTicked);
    QVERIFY(!bar.fastExchange());
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

    // Over a gateway whose connection is not open nothing can answer. Nor
    // is its speed the search's to choose, even ticked.
    fx.controls().setItemIndex(QStringLiteral("ComboBoxInterface"), 1);
    auto *everySpeed = dialog->findChild<QCheckBox *>("CheckBoxScanEverySpeed");
    everySpeed->setChecked(true);
    dialog->scan(1, 247);
    QCOMPARE(status->text(), QString("Поиск прерван: нет связи с прибором: соединение со шлюзом не открыто"));
    QCOMPARE(dialog->findChild<QProgressBar *>("ProgressBarScan")->maximum(), 247);
    QVERIFY(!everySpeed->isEnabled());
}

QTEST_MAIN(tst_bus_scan)
#include "tst_bus_scan.moc"
