// "Запись в несколько приборов" over a line of simulated recorders: the
// table of overrides follows the list of addresses, anything refused sends
// nothing, and a stop between recorders leaves the account of what was done.
#include "shell/fleet_dialog.h"

#include "link/af_com_port.h"
#include "link/link_activity.h"
#include "link/tcp_client.h"
#include "settings/config_groups.h"
#include "settings/encodings.h"
#include "sim/recorder_model.h"
#include "tests/support/captured_boxes.h"
#include "tests/support/sim_harness.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace vexs;
using namespace vexs::test;

namespace {

// The connection bar: a serial line at 115200 bit/s, fast, at another address.
struct Bar : ILinkSettings
{
    quint8 slaveAddress() const override { return 9; }
    int interfaceIndex() const override { return 0; }
    int comPortNumber() const override { return 1; }
    int baudIndex() const override { return 4; }
    bool fastExchange() const override { return true; }
};

QByteArray ipOf(const QByteArray &image)
{
    const ConfigGroup &g = configGroup(GroupFamily::Network);
    return image.mid(g.layout->recordOffset(g.item) + 4, 15);
}

} // namespace

class tst_fleet_dialog : public QObject
{
    Q_OBJECT
    SimHarness sim;
    Bar bar;
    TAfComPort port;
    TcpClient tcp;
    LinkActivity activity;
    std::unique_ptr<LinkStack> window;
    CapturedBoxes boxes;
    QTemporaryDir dir;

    std::unique_ptr<FleetDialog> open(const QString &addresses, bool keepNetwork)
    {
        auto d = std::make_unique<FleetDialog>(bar, *window, activity, boxes, nullptr);
        d->hooks().backupFolder = dir.filePath(QStringLiteral("backups"));
        d->findChild<QLineEdit *>("EditFleetFile")->setText(dir.filePath(QStringLiteral("line.json")));
        d->findChild<QLineEdit *>("EditFleetAddresses")->setText(addresses);
        d->findChild<QCheckBox *>("CheckBoxFleetKeepNetwork")->setChecked(keepNetwork);
        return d;
    }
    static void setCell(FleetDialog &d, int row, int column, const QString &text)
    {
        d.findChild<QTableWidget *>("StringGridFleetNetwork")->item(row, column)->setText(text);
    }

private slots:
    void initTestCase();
    void rowsFollowTheAddresses();
    void refusedBeforeAnythingIsSent_data();
    void refusedBeforeAnythingIsSent();
    void stopsBetweenRecorders();
};

void tst_fleet_dialog::initTestCase()
{
    SimHarness::Options o;
    o.tcp = false;
    o.addresses = {2, 4, 6};
    QVERIFY2(sim.start(o), qPrintable(sim.errorString()));
    const QString pty = sim.ptyLink();
    port.SetDevicePathResolver([pty](int) { return pty; });
    window = std::make_unique<LinkStack>(bar, port, tcp, activity);
    DeviceConfig file;
    file.image = RecorderModel().settingsArea();
    QString error;
    QVERIFY2(writeConfigFile(dir.filePath(QStringLiteral("line.json")), file, &error), qPrintable(error));
}

void tst_fleet_dialog::rowsFollowTheAddresses()
{
    const auto d = open(QStringLiteral("2-4, 6"), false);
    auto *table = d->findChild<QTableWidget *>("StringGridFleetNetwork");
    QCOMPARE(table->rowCount(), 4);
    setCell(*d, 1, 2, QStringLiteral("10.0.0.3"));
    auto *addresses = d->findChild<QLineEdit *>("EditFleetAddresses");
    addresses->setText(QStringLiteral("3, 6-")); // half typed: the rows stay
    QCOMPARE(table->rowCount(), 4);
    addresses->setText(QStringLiteral("3, 7"));
    QCOMPARE(table->rowCount(), 2);
    QCOMPARE(table->item(0, 2)->text(), QString("10.0.0.3"));
    QCOMPARE(table->item(1, 2)->text(), QString());
    // Kept as in each recorder, the network takes nothing from the table.
    d->findChild<QCheckBox *>("CheckBoxFleetKeepNetwork")->setChecked(true);
    QVERIFY(!table->isEnabled());
}

void tst_fleet_dialog::refusedBeforeAnythingIsSent_data()
{
    QTest::addColumn<QString>("addresses");
    QTest::addColumn<bool>("keepNetwork");
    QTest::addColumn<QStringList>("cells"); // row, column, text
    QTest::addColumn<bool>("answer");
    QTest::addColumn<QString>("box"); // how the last box begins
    QTest::newRow("list") << "2-" << true << QStringList() << true << "Неверный список адресов";
    QTest::newRow("the file's address for all")
        << "2, 4" << false << QStringList() << true
        << "Приборы по адресам 2 и 4 получили бы один адрес 1.\nОтметьте «Оставить сеть прибора»";
    QTest::newRow("bad IP in one row")
        << "2, 4" << false << QStringList{"0", "1", "2", "1", "1", "4", "1", "2", "10.0.0.300"} << true
        << "Адрес 4, группа network («Сеть»), поле «ip» = «10.0.0.300»: Неверный IP-адрес";
    QTest::newRow("not confirmed") << "2, 4" << true << QStringList() << false
                                   << "Записать конфигурацию из файла «" + dir.filePath("line.json")
                                          + "» в приборы по адресам 2, 4 (приборов: 2)?\n"
                                            "Сеть каждого прибора останется как в приборе.";
}

void tst_fleet_dialog::refusedBeforeAnythingIsSent()
{
    QFETCH(QString, addresses);
    QFETCH(bool, keepNetwork);
    QFETCH(QStringList, cells);
    QFETCH(bool, answer);
    QFETCH(QString, box);
    const auto d = open(addresses, keepNetwork);
    for (int k = 0; k + 2 < cells.size(); k += 3)
        setCell(*d, cells[k].toInt(), cells[k + 1].toInt(), cells[k + 2]);
    boxes.clear();
    boxes.answer = answer;
    sim.requestLog().clear();
    d->write();
    QVERIFY2(boxes.lastText().startsWith(box), qPrintable(boxes.lastText()));
    QCOMPARE(sim.requestLog().size(), 0);
    QCOMPARE(d->findChild<QTableWidget *>("StringGridFleetResult")->rowCount(), 0);
}

void tst_fleet_dialog::stopsBetweenRecorders()
{
    const auto d = open(QStringLiteral("2, 4, 6"), false);
    for (int row = 0; row < 3; ++row)
        setCell(*d, row, 1, QString::number(2 * row + 2));
    setCell(*d, 1, 2, QStringLiteral("192.168.1.44"));
    boxes.clear();
    boxes.answer = true;
    auto *results = d->findChild<QTableWidget *>("StringGridFleetResult");
    auto *stop = d->findChild<QPushButton *>("ButtonFleetStop");
    QVERIFY(!stop->isEnabled());
    // "Остановить" as soon as the first recorder's line is shown.
    connect(results->model(), &QAbstractItemModel::rowsInserted, stop, [stop] { stop->click(); });
    const QByteArray fourBefore = sim.simulator().modelAt(4)->settingsArea();
    d->write();
    QVERIFY2(boxes.lastText().contains(QStringLiteral("Сеть записывается: адрес и IP-адрес по таблице")),
             qPrintable(boxes.lastText()));
    QCOMPARE(d->report().lines.size(), 1);
    QCOMPARE(d->findChild<QLabel *>("StaticTextFleetSummary")->text(),
             QString("Записано и проверено приборов: 1 из 3\nЗапись остановлена: не записывались адреса 4, 6"));
    QCOMPARE(results->item(0, 1)->text(), QString("записан и проверен"));
    QVERIFY(results->item(0, 2)->text().startsWith(dir.filePath(QStringLiteral("backups/310002-"))));
    QCOMPARE(sim.simulator().modelAt(4)->settingsArea(), fourBefore);
    QVERIFY(d->findChild<QPushButton *>("ButtonFleetWrite")->isEnabled() && !stop->isEnabled());

    // Again to the end: the second recorder gets its own IP address.
    results->model()->disconnect(stop);
    d->write();
    QCOMPARE(d->report().verified(), 3);
    QCOMPARE(ipOf(sim.simulator().modelAt(4)->settingsArea()), QByteArray("192.168.001.044"));
    QCOMPARE(ipOf(sim.simulator().modelAt(6)->settingsArea()), QByteArray("192.168.011.002"));
}

QTEST_MAIN(tst_fleet_dialog)
#include "tst_fleet_dialog.moc"
