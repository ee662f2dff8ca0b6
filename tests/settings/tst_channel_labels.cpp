// Channel names on every page that shows them, after the bulk read learnt
// which modules are missing and which channels are switched on.
#include "settings/image_fill.h"
#include "settings/record_layout.h"
#include "settings/settings_image.h"
#include "tests/support/window_fixture.h"
#include "ui/controls.h"
#include "ui/page_context.h"

#include <QTest>

using namespace vexs;
using namespace vexs::test;

namespace {

// A control's caption ("name") or list item ("name#index") and its text.
struct Labelled
{
    QString name;
    QString expected;
};
} // namespace

Q_DECLARE_METATYPE(Labelled)

class tst_channel_labels : public QObject
{
    Q_OBJECT
private slots:
    void channelLabels_data();
    void channelLabels();
};

void tst_channel_labels::channelLabels_data()
{
    QTest::addColumn<QList<bool>>("absent");
    QTest::addColumn<QList<bool>>("measurementOn");
    QTest::addColumn<QList<bool>>("mathOn");
    QTest::addColumn<QList<Labelled>>("labels");

    const QList<bool> allOn{true, true, true, true};
    const QList<bool> none{false, false, false, false};
    QTest::newRow("channel 2 absent though switched on")
        << QList<bool>{false, true, false, false} << allOn << allOn
        << QList<Labelled>{
               {"StaticTextCan2", " Канал 2 -нет"},
               {"StaticTextCan1", " Канал 1"},
               {"StaticTextCanIzm2", " Канал 2 -нет"},
               {"StaticTextOutCan2", " Канал 2 -нет"},
               {"StaticTextRegArhCan2", " Канал 2 -нет"},
               {"StaticTextCalibrCan2", "нет"},
               {"StaticTextCalibrCan3", ""},
               {"ComboBoxOutCan2#0", "Канал 2 -нет"},
               {"ComboBoxOutCan3#0", "Канал 3"},
               {"ComboBoxRegCan#1", "Канал 2 -нет"},
               {"ComboBoxIndCan#1", "Канал 2 -нет"},
               {"ComboBoxIndCan#0", "Канал 1"},
               {"ComboBoxMatCanZnA1#1", "A=Канал 2 -нет"},
               {"ComboBoxMatCanZnD4#1", "D=Канал 2 -нет"},
               {"ComboBoxMatCanZnC3#2", "C=Канал 3"},
               {"ComboBoxUstCan1#1", "Канал 2 -нет"},
               {"ComboBoxUstCan8#1", "Канал 2 -нет"},
               {"ComboBoxUstCan8#0", "Канал 1"},
               {"ComboBoxUstCan8#4", "Канал М1"},
           };
    QTest::newRow("channel 3 and math 4 switched off")
        << none << QList<bool>{true, true, false, true} << QList<bool>{true, true, true, false}
        << QList<Labelled>{
               {"StaticTextCan3", " Канал 3"},
               {"StaticTextCalibrCan3", ""},
               {"ComboBoxRegCan#2", "Канал 3"},
               {"ComboBoxMatCanZnB2#2", "B=Канал 3"},
               {"ComboBoxUstCan1#2", "Канал 3 -выкл"},
               {"ComboBoxUstCan5#2", "Канал 3 -выкл"},
               {"ComboBoxUstCan5#3", "Канал 4"},
               {"ComboBoxUstCan5#7", "Канал М4 -выкл"},
               {"ComboBoxUstCan5#6", "Канал М3"},
           };
    QTest::newRow("absent wins over switched off")
        << QList<bool>{true, false, false, false} << none << none
        << QList<Labelled>{
               {"ComboBoxUstCan2#0", "Канал 1 -нет"},
               {"ComboBoxUstCan2#1", "Канал 2 -выкл"},
               {"ComboBoxUstCan2#4", "Канал М1 -выкл"},
           };
}

void tst_channel_labels::channelLabels()
{
    QFETCH(QList<bool>, absent);
    QFETCH(QList<bool>, measurementOn);
    QFETCH(QList<bool>, mathOn);
    QFETCH(QList<Labelled>, labels);

    WindowFixture::Options o;
    o.sim = false;
    WindowFixture fx(o);
    IControls &fc = fx.controls();
    QByteArray area(SettingsImage::Size, '\0');
    for (int k = 1; k <= 4; ++k) {
        // Only the switch byte counts, not just any non-zero byte nearby.
        area[measurementChannelLayout().recordOffset(k) + 1] = 1;
        area[measurementChannelLayout().recordOffset(k)] = measurementOn[k - 1] ? 1 : 0;
        area[mathChannelLayout().recordOffset(k)] = mathOn[k - 1] ? char(0x80) : 0;
    }
    SettingsImage image;
    image.replaceAll(area);
    std::array<bool, 4> gone{};
    std::copy(absent.begin(), absent.end(), gone.begin());
    fx.window().context().relabelChannels(channelPresence(gone, image));

    for (const Labelled &l : labels) {
        const auto parts = l.name.split(QLatin1Char('#'));
        const QString got = parts.size() == 2 ? fc.itemText(parts[0], parts[1].toInt()) : fc.text(l.name);
        QVERIFY2(got == l.expected, qPrintable(l.name + ": \"" + got + "\" != \"" + l.expected + "\""));
    }
    // The lists were relabelled, not reselected or resized.
    QCOMPARE(fc.itemText(QStringLiteral("ComboBoxOutCan1"), 1), QStringLiteral("Канал М1"));
}

QTEST_MAIN(tst_channel_labels)
#include "tst_channel_labels.moc"
