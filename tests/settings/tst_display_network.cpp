// The display and network pages against the simulated recorder, and how a
// bulk read reaches them and the recording page.
#include "link/modbus.h"
#include "settings/record_layout.h"
#include "settings/settings_image.h"
#include "ui/controls.h"
#include "sim/recorder_model.h"
#include "tests/support/frame_fields.h"
#include "settings/network_page.h"
#include "tests/support/window_fixture.h"

#include <QLineEdit>
#include <QLocale>
#include <QTest>
#include <QtEndian>

#include <memory>

using namespace vexs;
using namespace vexs::test;

namespace {

constexpr int kDisplayRegister = 736;
constexpr int kNetworkRegister = 744;

const QString kNoLink = QStringLiteral("Нет связи с прибором");
const QString kDone = QStringLiteral("Выполнено");

const char *const kModeLists[] = {"ComboBoxIndType",   "ComboBoxIndPeriod", "ComboBoxIndVkl",
                                  "ComboBoxIndLightR", "ComboBoxIndLightG", "ComboBoxIndLightB"};


// "fn reg count" of every request, for comparing request sequences at a glance.
QStringList summary(const QList<QByteArray> &frames)
{
    QStringList out;
    for (const QByteArray &f : frames)
        out << QStringLiteral("%1 %2 %3").arg(functionOf(f)).arg(firstOf(f)).arg(countOf(f));
    return out;
}

QString request(int function, int first, int count)
{
    return QStringLiteral("%1 %2 %3").arg(function).arg(first).arg(count);
}

QByteArray padded(const QByteArray &text, int width)
{
    return text + QByteArray(width - text.size(), '\x13');
}

// The network block as the page shows it, encoded the way the device keeps it.
QByteArray networkBlockShown(IControls &c)
{
    QByteArray b;
    b.append(char(c.position(QStringLiteral("UpDownRsAdr"))));
    b.append(char(c.itemIndex(QStringLiteral("ComboBoxRsInter"))));
    b.append(char(c.itemIndex(QStringLiteral("ComboBoxRsBaud"))));
    b.append('\0');
    b.append(padded(c.text(QStringLiteral("EditRsIP")).toLatin1(), 16));
    b.append(padded(c.text(QStringLiteral("EditRsMask")).toLatin1(), 16));
    b.append(padded(c.text(QStringLiteral("EditRsGate")).toLatin1(), 16));
    b.append(padded(c.text(QStringLiteral("EditRsPort")).toLatin1(), 4));
    return b;
}

QByteArray networkBlock(int address, int inter, int baud, const QByteArray &ip, const QByteArray &mask,
                        const QByteArray &gate, const QByteArray &port)
{
    QByteArray b;
    b.append(char(address)).append(char(inter)).append(char(baud)).append('\0');
    b.append(ip.left(16)).append(QByteArray(16 - qMin(16, int(ip.size())), '\x13'));
    b.append(padded(mask, 16)).append(padded(gate, 16)).append(padded(port, 4));
    return b;
}

// Types into a masked edit as a user would, from its first position.
void typeMasked(QLineEdit *edit, const QString &keys)
{
    edit->setFocus();
    edit->clear();
    edit->setCursorPosition(0);
    QTest::keyClicks(edit, keys);
}

} // namespace

class TestDisplayNetwork : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void displayModeWriteIsThreeRegisters();
    void displayModeReadLeavesChannelGroup_data();
    void displayModeReadLeavesChannelGroup();
    void displayChannelRead();
    void displayChannelReadOfFourRegistersFails();
    void displayChannelWriteKeepsHiddenRegisters();
    void displayChannelWriteWithoutDeviceSendsNothing();
    void displayChannelWriteUsesImage();

    void networkInitialTextsSent();
    void networkBlankRefused_data();
    void networkBlankRefused();
    void addressGroupsPadded_data();
    void addressGroupsPadded();
    void networkRead_data();
    void networkRead();
    void networkReadFailureLeavesPage();

    void bulkReadFillsPagesAndLabels();

private:
    IControls &c() { return m_fx->controls(); }
    RecorderModel &model() { return m_fx->sim().model(); }
    QLineEdit *edit(const QString &name) { return m_fx->window().findChild<QLineEdit *>(name); }

    std::unique_ptr<WindowFixture> m_fx;
};

void TestDisplayNetwork::initTestCase()
{
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    m_fx = std::make_unique<WindowFixture>();
    m_fx->revealEverything();
}

void TestDisplayNetwork::cleanupTestCase()
{
    m_fx.reset();
}

void TestDisplayNetwork::init()
{
    m_fx->sim().faults().clear();
    m_fx->boxes.clear();
    m_fx->clearRequests();
}

void TestDisplayNetwork::displayModeWriteIsThreeRegisters()
{
    m_fx->window().selectNode(8);
    const int values[6] = {1, 3, 0, 2, 1, 3};
    for (int i = 0; i < 6; ++i)
        c().setItemIndex(QString::fromLatin1(kModeLists[i]), values[i]);
    QVERIFY(model().setHoldingBytes(kDisplayRegister + 3, QByteArray::fromHex("0601")));

    m_fx->click(QStringLiteral("ButtonWriteNastrInd"));
    QCOMPARE(m_fx->boxes.texts(), QStringList{kDone});
    const QList<QByteArray> sent = m_fx->requests();
    QCOMPARE(summary(sent), QStringList{request(0x10, kDisplayRegister, 3)});
    QCOMPARE(writeDataOf(sent[0]).toHex(' '), QByteArray("01 03 00 02 01 03"));
    // Register 739 belongs to the channel group and is left alone.
    QCOMPARE(model().holdingBytes(kDisplayRegister, 4).toHex(' '), QByteArray("01 03 00 02 01 03 06 01"));
}

void TestDisplayNetwork::displayModeReadLeavesChannelGroup_data()
{
    QTest::addColumn<QByteArray>("device"); // registers 736..739
    QTest::addColumn<QList<int>>("shown");

    QTest::newRow("every list") << QByteArray::fromHex("0102010302000501") << QList<int>{1, 2, 1, 3, 2, 0};
    QTest::newRow("period past the list")
        << QByteArray::fromHex("0004000000000701") << QList<int>{0, -1, 0, 0, 0, 0};
}

void TestDisplayNetwork::displayModeReadLeavesChannelGroup()
{
    QFETCH(QByteArray, device);
    QFETCH(QList<int>, shown);

    c().setItemIndex(QStringLiteral("ComboBoxIndCan"), 2);
    c().setItemIndex(QStringLiteral("ComboBoxIndBarZum"), 0);
    QVERIFY(model().setHoldingBytes(kDisplayRegister, device));

    m_fx->click(QStringLiteral("ButtonReadNastrInd"));
    QCOMPARE(m_fx->boxes.texts(), QStringList{kDone});
    QCOMPARE(summary(m_fx->requests()), QStringList{request(0x03, kDisplayRegister, 4)});
    for (int i = 0; i < 6; ++i)
        QCOMPARE(c().itemIndex(QString::fromLatin1(kModeLists[i])), shown[i]);
    QCOMPARE(c().itemIndex(QStringLiteral("ComboBoxIndCan")), 2);
    QCOMPARE(c().itemIndex(QStringLiteral("ComboBoxIndBarZum")), 0);
}

void TestDisplayNetwork::displayChannelRead()
{
    QVERIFY(model().setHoldingBytes(739, QByteArray::fromHex("0601aabbccddeeff0011")));
    c().setItemIndex(QStringLiteral("ComboBoxIndType"), 0);
    m_fx->click(QStringLiteral("ButtonReadNastrIndStat"));
    QCOMPARE(m_fx->boxes.texts(), QStringList{kDone});
    QCOMPARE(summary(m_fx->requests()), QStringList{request(0x03, 739, 5)});
    QCOMPARE(c().itemIndex(QStringLiteral("ComboBoxIndCan")), 6);
    QCOMPARE(c().itemIndex(QStringLiteral("ComboBoxIndBarZum")), 1);
    QCOMPARE(c().itemIndex(QStringLiteral("ComboBoxIndType")), 0);
}

void TestDisplayNetwork::displayChannelReadOfFourRegistersFails()
{
    c().setItemIndex(QStringLiteral("ComboBoxIndCan"), 3);
    c().setItemIndex(QStringLiteral("ComboBoxIndBarZum"), 0);
    QVERIFY(model().setHoldingBytes(739, QByteArray::fromHex("0501")));
    FaultRule cut;
    cut.kind = FaultRule::Truncate;
    cut.amount = 2; // 15 octets become 13, the length of a four-register reply
    cut.firstRegister = 739;
    m_fx->sim().faults().add(cut);

    m_fx->click(QStringLiteral("ButtonReadNastrIndStat"));
    QCOMPARE(m_fx->boxes.firstLines(), QStringList{kNoLink});
    QCOMPARE(m_fx->boxes.lastKind(), CapturedBoxes::Error);
    QCOMPARE(c().itemIndex(QStringLiteral("ComboBoxIndCan")), 3);
    QCOMPARE(c().itemIndex(QStringLiteral("ComboBoxIndBarZum")), 0);
}

void TestDisplayNetwork::displayChannelWriteKeepsHiddenRegisters()
{
    // No bulk read yet: registers 740..743 are read from the device first.
    QVERIFY(!m_fx->window().image().isLoaded());
    const QByteArray hidden = QByteArray::fromHex("1122334455667788");
    QVERIFY(model().setHoldingBytes(740, hidden));
    c().setItemIndex(QStringLiteral("ComboBoxIndCan"), 5);
    c().setItemIndex(QStringLiteral("ComboBoxIndBarZum"), 1);

    m_fx->click(QStringLiteral("ButtonWriteNastrIndStat"));
    QCOMPARE(m_fx->boxes.texts(), QStringList{kDone});
    const QList<QByteArray> sent = m_fx->requests();
    QCOMPARE(summary(sent), (QStringList{request(0x03, 740, 4), request(0x10, 739, 5)}));
    QCOMPARE(writeDataOf(sent[1]).toHex(' '), QByteArray("05 01 11 22 33 44 55 66 77 88"));
    QCOMPARE(model().holdingBytes(739, 5).toHex(' '), QByteArray("05 01 11 22 33 44 55 66 77 88"));
}

void TestDisplayNetwork::displayChannelWriteWithoutDeviceSendsNothing()
{
    QVERIFY(!m_fx->window().image().isLoaded());
    const QByteArray before = model().holdingBytes(739, 5);
    c().setItemIndex(QStringLiteral("ComboBoxIndCan"), 1);
    FaultRule silent;
    silent.kind = FaultRule::Silent;
    silent.firstRegister = 740;
    m_fx->sim().faults().add(silent);

    m_fx->click(QStringLiteral("ButtonWriteNastrIndStat"));
    QCOMPARE(m_fx->boxes.firstLines(), QStringList{kNoLink});
    QCOMPARE(summary(m_fx->requests()), QStringList{request(0x03, 740, 4)});
    QCOMPARE(model().holdingBytes(739, 5), before);
}

void TestDisplayNetwork::displayChannelWriteUsesImage()
{
    // The image as a bulk read commits it; the real bulk read is exercised
    // in bulkReadFillsPagesAndLabels.
    const QByteArray hidden = QByteArray::fromHex("a1a2a3a4a5a6a7a8");
    QVERIFY(model().setHoldingBytes(740, hidden));
    m_fx->window().image().replaceAll(model().settingsArea(), recorderOf(m_fx->window().context().link));
    QVERIFY(m_fx->window().image().isLoaded());
    c().setItemIndex(QStringLiteral("ComboBoxIndCan"), 7);
    c().setItemIndex(QStringLiteral("ComboBoxIndBarZum"), 0);

    m_fx->click(QStringLiteral("ButtonWriteNastrIndStat"));
    QCOMPARE(m_fx->boxes.texts(), QStringList{kDone});
    const QList<QByteArray> sent = m_fx->requests();
    // The image holds the device's values, so nothing is read first.
    QCOMPARE(summary(sent), QStringList{request(0x10, 739, 5)});
    QCOMPARE(writeDataOf(sent[0]).toHex(' '), QByteArray("07 00 a1 a2 a3 a4 a5 a6 a7 a8"));
    QCOMPARE(model().holdingBytes(739, 5).toHex(' '), QByteArray("07 00 a1 a2 a3 a4 a5 a6 a7 a8"));

    // The image is another recorder's once the bar names another address:
    // this one's registers are read first.
    m_fx->sim().setAddress(2);
    c().setPosition(QStringLiteral("UpDownAdr"), 2);
    m_fx->clearRequests();
    m_fx->boxes.clear();
    m_fx->click(QStringLiteral("ButtonWriteNastrIndStat"));
    QCOMPARE(m_fx->boxes.texts(), QStringList{kDone});
    QCOMPARE(summary(m_fx->requests()), (QStringList{request(0x03, 740, 4), request(0x10, 739, 5)}));
    c().setPosition(QStringLiteral("UpDownAdr"), 1);
    m_fx->sim().setAddress(1);

    // So is an image read over a gateway connection that has since been
    // opened anew: it may lead to another line.
    QVERIFY(m_fx->connectTcp());
    m_fx->window().image().replaceAll(model().settingsArea(), recorderOf(m_fx->window().context().link));
    m_fx->click(QStringLiteral("ButtonIPDisconnect"));
    QVERIFY(m_fx->connectTcp());
    m_fx->clearRequests();
    m_fx->boxes.clear();
    m_fx->click(QStringLiteral("ButtonWriteNastrIndStat"));
    QCOMPARE(summary(m_fx->requests()), (QStringList{request(0x03, 740, 4), request(0x10, 739, 5)}));
    m_fx->click(QStringLiteral("ButtonIPDisconnect"));
    c().setItemIndex(QStringLiteral("ComboBoxInterface"), 0);
}

void TestDisplayNetwork::networkInitialTextsSent()
{
    m_fx->window().selectNode(9);
    QCOMPARE(c().text(QStringLiteral("EditRsIP")), QStringLiteral("192.168.011.002"));
    QCOMPARE(c().text(QStringLiteral("EditRsMask")), QStringLiteral("255.255.000.000"));
    QCOMPARE(c().text(QStringLiteral("EditRsGate")), QStringLiteral("192.168.011.002"));
    QCOMPARE(c().text(QStringLiteral("EditRsPort")), QStringLiteral("5000"));
    QCOMPARE(c().position(QStringLiteral("UpDownAdr")), 1);

    // The recorder's own address is a setting like any other: the connection
    // bar keeps addressing it as 1.
    c().setPosition(QStringLiteral("UpDownRsAdr"), 7);
    c().setItemIndex(QStringLiteral("ComboBoxRsInter"), 1);
    c().setItemIndex(QStringLiteral("ComboBoxRsBaud"), 2);
    QVERIFY(model().setHoldingBytes(kNetworkRegister, QByteArray(56, '\x77')));
    m_fx->click(QStringLiteral("ButtonWriteNastrRs"));
    QCOMPARE(m_fx->boxes.texts(), QStringList{kDone});
    const QList<QByteArray> sent = m_fx->requests();
    QCOMPARE(summary(sent), QStringList{request(0x10, kNetworkRegister, 28)});
    const QByteArray data = writeDataOf(sent[0]);
    QCOMPARE(data.mid(4, 16), QByteArray("192.168.011.002\x13"));
    QCOMPARE(data.mid(52, 4), QByteArray("5000"));
    QCOMPARE(model().holdingBytes(kNetworkRegister, 28).toHex(' '), networkBlockShown(c()).toHex(' '));
    QCOMPARE(quint8(model().holdingBytes(kNetworkRegister, 1)[0]), quint8(7));

    QCOMPARE(c().position(QStringLiteral("UpDownAdr")), 1);
    m_fx->clearRequests();
    m_fx->boxes.clear();
    m_fx->click(QStringLiteral("ButtonReadNastrRs"));
    QCOMPARE(m_fx->boxes.texts(), QStringList{kDone});
    QCOMPARE(quint8(m_fx->requests().value(0).at(0)), quint8(1));
    QCOMPARE(c().position(QStringLiteral("UpDownRsAdr")), 7);
}

void TestDisplayNetwork::networkBlankRefused_data()
{
    QTest::addColumn<QString>("edit");
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("message");

    // An address group of fewer digits is padded as the field is left.
    QTest::newRow("IP typed without leading zeros, then a blank port")
        << QStringLiteral("EditRsIP") << QStringLiteral("192.168.11.2") << QStringLiteral("192.168.011.002")
        << QStringLiteral("Неверный порт");
    QTest::newRow("mask one digit short, then a blank port")
        << QStringLiteral("EditRsMask") << QStringLiteral("25525500000") << QStringLiteral("255.255.000.000")
        << QStringLiteral("Неверный порт");
    QTest::newRow("IP group past 255") << QStringLiteral("EditRsIP") << QStringLiteral("300168011002")
                                       << QStringLiteral("300.168.011.002") << QStringLiteral("Неверный IP-адрес");
    QTest::newRow("gateway empty") << QStringLiteral("EditRsGate") << QString()
                                   << QStringLiteral("   .   .   .   ") << QStringLiteral("Неверный шлюз");
    QTest::newRow("port of three digits") << QStringLiteral("EditRsPort") << QStringLiteral("502")
                                          << QStringLiteral("502 ") << QStringLiteral("Неверный порт");
}

void TestDisplayNetwork::networkBlankRefused()
{
    // Leaving a field is a focus change, which only an active window sees.
    m_fx->window().activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&m_fx->window()));
    QFETCH(QString, edit);
    QFETCH(QString, keys);
    QFETCH(QString, shown);
    QFETCH(QString, message);

    const char *const edits[] = {"EditRsIP", "EditRsMask", "EditRsGate", "EditRsPort"};
    const char *const good[] = {"192.168.011.002", "255.255.000.000", "192.168.011.001", "5000"};
    for (int i = 0; i < 4; ++i)
        c().setText(QString::fromLatin1(edits[i]), QString::fromLatin1(good[i]));
    typeMasked(this->edit(edit), keys);
    // A blank port as well: the edits are checked in order, the first one
    // reports. Typing there leaves the field typed first.
    if (edit != QLatin1String("EditRsPort"))
        typeMasked(this->edit(QStringLiteral("EditRsPort")), QStringLiteral("1"));
    QCOMPARE(c().text(edit), shown);

    const QByteArray before = model().holdingBytes(kNetworkRegister, 28);
    m_fx->click(QStringLiteral("ButtonWriteNastrRs"));
    QCOMPARE(m_fx->boxes.texts(), QStringList{message});
    QCOMPARE(m_fx->boxes.lastKind(), CapturedBoxes::Error);
    QVERIFY(m_fx->requests().isEmpty());
    QCOMPARE(model().holdingBytes(kNetworkRegister, 28), before);
}

void TestDisplayNetwork::addressGroupsPadded_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("padded");
    QTest::newRow("one digit each") << "1  .2  .3  .4  " << "001.002.003.004";
    QTest::newRow("already whole") << "192.168.011.002" << "192.168.011.002";
    QTest::newRow("an empty group stays") << "10 .   .0  .1  " << "010.   .000.001";
    QTest::newRow("blank inside a group") << "1 2.3  .4  .5  " << "012.003.004.005";
    QTest::newRow("not an address") << "abc" << "abc";
}

void TestDisplayNetwork::addressGroupsPadded()
{
    QFETCH(QString, typed);
    QFETCH(QString, padded);
    QCOMPARE(padAddressGroups(typed), padded);
}

void TestDisplayNetwork::networkRead_data()
{
    QTest::addColumn<QByteArray>("device");
    QTest::addColumn<int>("address");
    QTest::addColumn<QString>("ip");
    QTest::addColumn<QString>("port");
    QTest::addColumn<bool>("writable"); // the page can send what it shows

    QTest::newRow("padded texts")
        << networkBlock(17, 1, 3, "010.000.000.250", "255.255.255.000", "010.000.000.001", "0502") << 17
        << QStringLiteral("010.000.000.250") << QStringLiteral("0502") << true;
    QTest::newRow("IP of 16 characters without a pad byte")
        << networkBlock(2, 0, 4, "192.168.011.0021", "255.255.000.000", "192.168.011.001", "5000") << 2
        << QStringLiteral("192.168.011.0021") << QStringLiteral("5000") << true;
    QTest::newRow("zero byte counts as a character")
        << networkBlock(3, 0, 0, QByteArray("192.168.0\0", 10), "255.255.000.000", "192.168.011.001", "5000")
        << 3 << QString::fromLatin1("192.168.0\0", 10) << QStringLiteral("5000") << true;
    QTest::newRow("address 0 is held at the spinner's minimum")
        << networkBlock(0, 0, 0, "999.999.999.999", "255.255.000.000", "192.168.011.001", "12") << 1
        << QStringLiteral("999.999.999.999") << QStringLiteral("12  ") << false;
}

void TestDisplayNetwork::networkRead()
{
    QFETCH(QByteArray, device);
    QFETCH(int, address);
    QFETCH(QString, ip);
    QFETCH(QString, port);
    QFETCH(bool, writable);

    QCOMPARE(device.size(), 56);
    QVERIFY(model().setHoldingBytes(kNetworkRegister, device));
    m_fx->click(QStringLiteral("ButtonReadNastrRs"));
    QCOMPARE(m_fx->boxes.texts(), QStringList{kDone});
    QCOMPARE(summary(m_fx->requests()), QStringList{request(0x03, kNetworkRegister, 28)});
    QCOMPARE(c().position(QStringLiteral("UpDownRsAdr")), address);
    QCOMPARE(c().itemIndex(QStringLiteral("ComboBoxRsInter")), int(device[1]));
    QCOMPARE(c().itemIndex(QStringLiteral("ComboBoxRsBaud")), int(device[2]));
    QCOMPARE(c().text(QStringLiteral("EditRsIP")), ip);
    QCOMPARE(c().text(QStringLiteral("EditRsPort")), port);

    // Written back, the device gets exactly what the page shows; a text with
    // an unfilled position (a blank) is refused instead and nothing is sent.
    m_fx->boxes.clear();
    m_fx->clearRequests();
    QVERIFY(model().setHoldingBytes(kNetworkRegister, QByteArray(56, '\x55')));
    m_fx->click(QStringLiteral("ButtonWriteNastrRs"));
    if (writable) {
        QCOMPARE(m_fx->boxes.texts(), QStringList{kDone});
        QCOMPARE(model().holdingBytes(kNetworkRegister, 28).toHex(' '), device.toHex(' '));
    } else {
        QCOMPARE(m_fx->boxes.lastKind(), CapturedBoxes::Error);
        QVERIFY(m_fx->requests().isEmpty());
    }
    // Texts that fit get their mask back: typing behaves as for a user again.
    if (ip.size() == 15 && !ip.contains(QChar(0)))
        QCOMPARE(edit(QStringLiteral("EditRsIP"))->inputMask(), QStringLiteral("999.999.999.999;_"));
}

void TestDisplayNetwork::networkReadFailureLeavesPage()
{
    QVERIFY(model().setHoldingBytes(kNetworkRegister,
                                    networkBlock(9, 1, 1, "001.002.003.004", "255.000.000.000",
                                                 "001.002.003.001", "0080")));
    m_fx->click(QStringLiteral("ButtonReadNastrRs"));
    QCOMPARE(c().text(QStringLiteral("EditRsIP")), QStringLiteral("001.002.003.004"));

    FaultRule silent;
    silent.kind = FaultRule::Silent;
    m_fx->sim().faults().add(silent);
    QVERIFY(model().setHoldingBytes(kNetworkRegister, QByteArray(56, '\x31')));
    m_fx->boxes.clear();
    m_fx->click(QStringLiteral("ButtonReadNastrRs"));
    QCOMPARE(m_fx->boxes.firstLines(), QStringList{kNoLink});
    QCOMPARE(c().position(QStringLiteral("UpDownRsAdr")), 9);
    QCOMPARE(c().text(QStringLiteral("EditRsIP")), QStringLiteral("001.002.003.004"));
    QCOMPARE(c().text(QStringLiteral("EditRsPort")), QStringLiteral("0080"));

    m_fx->boxes.clear();
    m_fx->click(QStringLiteral("ButtonWriteNastrRs"));
    QCOMPARE(m_fx->boxes.firstLines(), QStringList{kNoLink});
}

void TestDisplayNetwork::bulkReadFillsPagesAndLabels()
{
    // Device contents unlike anything the pages show now, and no module in channel 2.
    QByteArray recording = QByteArray::fromHex("0106020400000000" "0001000100010001");
    recording.replace(4, 4, QByteArray::fromHex("0000c841")); // 25.0
    QVERIFY(model().setHoldingBytes(728, recording));
    QVERIFY(model().setHoldingBytes(kDisplayRegister, QByteArray::fromHex("0103010203010401c1c2c3c4c5c6c7c8")));
    const QByteArray network =
        networkBlock(42, 1, 1, "172.016.000.009", "255.255.255.000", "172.016.000.001", "0503");
    QVERIFY(model().setHoldingBytes(kNetworkRegister, network));
    model().setModuleMissing(2, true);

    m_fx->click(QStringLiteral("Button11"));
    QCOMPARE(m_fx->boxes.texts(), QStringList());
    QCOMPARE(c().text(QStringLiteral("LabelInfo")), QStringLiteral("Настройки успешно считаны"));
    QCOMPARE(m_fx->window().image().bytes(), model().settingsArea());

    // Recording page.
    QCOMPARE(c().itemIndex(QStringLiteral("ComboBoxRegVkl")), 1);
    QCOMPARE(c().itemIndex(QStringLiteral("ComboBoxRegCan")), 6);
    QCOMPARE(c().itemIndex(QStringLiteral("ComboBoxRegSpeed")), 2);
    QCOMPARE(c().itemIndex(QStringLiteral("ComboBoxRegArhPeriod1")), 4);
    QCOMPARE(c().text(QStringLiteral("EditRegCorr")), QStringLiteral("25,000"));
    QCOMPARE(c().itemIndex(QStringLiteral("ComboBoxRegArhVkl1")), 0);
    QCOMPARE(c().itemIndex(QStringLiteral("ComboBoxRegArhVkl8")), 1);
    // Display page.
    const int mode[6] = {1, 3, 1, 2, 3, 1};
    for (int i = 0; i < 6; ++i)
        QCOMPARE(c().itemIndex(QString::fromLatin1(kModeLists[i])), mode[i]);
    QCOMPARE(c().itemIndex(QStringLiteral("ComboBoxIndCan")), 4);
    QCOMPARE(c().itemIndex(QStringLiteral("ComboBoxIndBarZum")), 1);
    // Network page.
    QCOMPARE(c().position(QStringLiteral("UpDownRsAdr")), 42);
    QCOMPARE(c().itemIndex(QStringLiteral("ComboBoxRsInter")), 1);
    QCOMPARE(c().text(QStringLiteral("EditRsIP")), QStringLiteral("172.016.000.009"));
    QCOMPARE(c().text(QStringLiteral("EditRsGate")), QStringLiteral("172.016.000.001"));
    QCOMPARE(c().text(QStringLiteral("EditRsPort")), QStringLiteral("0503"));

    // Channel names: the missing module is marked on all three pages.
    QCOMPARE(c().itemText(QStringLiteral("ComboBoxRegCan"), 1), QStringLiteral("Канал 2 -нет"));
    QCOMPARE(c().itemText(QStringLiteral("ComboBoxRegCan"), 0), QStringLiteral("Канал 1"));
    QCOMPARE(c().itemText(QStringLiteral("ComboBoxRegCan"), 8), QString());
    QCOMPARE(c().text(QStringLiteral("StaticTextRegArhCan2")), QStringLiteral(" Канал 2 -нет"));
    QCOMPARE(c().text(QStringLiteral("StaticTextRegArhCan3")), QStringLiteral(" Канал 3"));
    QCOMPARE(c().itemText(QStringLiteral("ComboBoxIndCan"), 1), QStringLiteral("Канал 2 -нет"));
    QCOMPARE(c().itemText(QStringLiteral("ComboBoxIndCan"), 4), QStringLiteral("Канал М1"));

    // After the bulk read the display channel write sends registers 740..743
    // as the image holds them, without asking the device first.
    m_fx->clearRequests();
    c().setItemIndex(QStringLiteral("ComboBoxIndCan"), 1);
    m_fx->click(QStringLiteral("ButtonWriteNastrIndStat"));
    QCOMPARE(m_fx->boxes.texts(), QStringList{kDone});
    QCOMPARE(summary(m_fx->requests()), QStringList{request(0x10, 739, 5)});
    QCOMPARE(model().holdingBytes(739, 5).toHex(' '), QByteArray("01 01 c1 c2 c3 c4 c5 c6 c7 c8"));
    model().setModuleMissing(2, false);
}

QTEST_MAIN(TestDisplayNetwork)
#include "tst_display_network.moc"
