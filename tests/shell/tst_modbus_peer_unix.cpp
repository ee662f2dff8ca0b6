// The window against an independent Modbus RTU slave (libmodbus) on a pair
// of pseudo-terminals: the same clicks send the same frames, byte for byte,
// as they send to our own simulator, and the peer's answers fill the pages
// alike.
#include "tests/support/modbus_peer.h"
#include "tests/support/window_fixture.h"
#include "ui/controls.h"

#include <QTest>

using namespace vexs;
using namespace vexs::test;

namespace {

// One Read and one Write of every configuration page.
const char *const kClicks[] = {
    "ButtonReadNastrCan1",    "ButtonWriteNastrCan1",    "ButtonReadNastrMatCan1",
    "ButtonWriteNastrMatCan1", "ButtonReadNastrOut1",    "ButtonWriteNastrOut1",
    "ButtonReadNastrUst1",    "ButtonWriteNastrUst1",    "ButtonReadNastrReg",
    "ButtonWriteNastrReg",    "ButtonReadNastrInd",      "ButtonWriteNastrInd",
    "ButtonReadNastrIndStat", "ButtonWriteNastrIndStat", "ButtonReadNastrRs",
    "ButtonWriteNastrRs",
};

struct Run
{
    QList<QByteArray> frames;
    QStringList boxes;
    QStringList texts;
};

// The same session on any peer: bulk read, every page's read and write.
Run drive(WindowFixture &fx, const std::function<QList<QByteArray>()> &frames)
{
    Run run;
    fx.click(QStringLiteral("Button11"));
    for (const char *name : kClicks)
        fx.click(QString::fromLatin1(name));
    QTest::qWait(50);
    run.frames = frames();
    for (const auto &box : fx.boxes.boxes)
        run.boxes << box.text;
    for (const char *name : {"MaskEditManufSN", "EditUstUst1", "EditUstZona1"})
        run.texts << fx.controls().text(QString::fromLatin1(name));
    run.texts << QString::number(fx.controls().itemIndex(QStringLiteral("ComboBoxCanVkl1")));
    return run;
}

} // namespace

class tst_modbus_peer : public QObject
{
    Q_OBJECT
private slots:
    void sameFramesAndPagesAsTheSimulator();
    void livePollAtOneHertz();
};

void tst_modbus_peer::sameFramesAndPagesAsTheSimulator()
{
    Run ours;
    QByteArray settings, ident, live;
    {
        WindowFixture fx;
        settings = fx.sim().model().settingsArea();
        ident = fx.sim().model().holdingBytes(10012, 11);
        fx.sim().model().freezeLiveRecord();
        live = fx.sim().model().liveRecord();
        ours = drive(fx, [&] { return fx.requests(); });
    }
    ModbusPeer peer;
    QVERIFY(peer.isRunning());
    peer.setHolding(0, settings);
    peer.setHolding(10012, ident);
    peer.setInput(0, live);
    WindowFixture::Options o;
    o.sim = false;
    o.port = peer.portPath();
    WindowFixture fx(o);
    const Run theirs = drive(fx, [&] { return peer.requests(); });

    QCOMPARE(theirs.frames.size(), ours.frames.size());
    QCOMPARE(theirs.frames.mid(0, 28), ours.frames.mid(0, 28)); // the bulk read
    QCOMPARE(theirs.frames, ours.frames);
    QCOMPARE(theirs.boxes, ours.boxes);
    QCOMPARE(theirs.texts, ours.texts);
    // What the pages wrote back is what the peer held.
    QCOMPARE(peer.holding(0, 772), settings);
}

void tst_modbus_peer::livePollAtOneHertz()
{
    ModbusPeer peer;
    QVERIFY(peer.isRunning());
    WindowFixture::Options o;
    o.sim = false;
    o.port = peer.portPath();
    WindowFixture fx(o);
    fx.click(QStringLiteral("Button3"));
    QTest::qWait(3300);
    fx.click(QStringLiteral("Button12"));
    const QList<QByteArray> polls = peer.requests();
    QVERIFY2(polls.size() >= 3 && polls.size() <= 4, qPrintable(QString::number(polls.size())));
    for (const QByteArray &frame : polls)
        QCOMPARE(frame, QByteArray::fromHex("01040000" "0030f01e"));
    QCOMPARE(fx.controls().text(QStringLiteral("StaticTextOpros")), QStringLiteral("Есть связь"));
    peer.setSilent(true);
    fx.click(QStringLiteral("Button3"));
    QTest::qWait(1500);
    fx.click(QStringLiteral("Button12"));
    QCOMPARE(fx.controls().text(QStringLiteral("StaticTextOpros")), QStringLiteral("Нет связи"));
}

QTEST_MAIN(tst_modbus_peer)
#include "tst_modbus_peer_unix.moc"
