// The main window as a user meets it: start-up state from the configuration
// file, navigation, the factory chords, the connection bar against the
// simulated gateway, and closing in the middle of an exchange or a box.
#include "link/af_com_port.h"
#include "link/exchange.h"
#include "shell/ini_file.h"
#include "link/link_activity.h"
#include "link/modbus.h"
#include "link/pumping_delay.h"
#include "link/tcp_client.h"
#include "shell/connection_bar.h"
#include "ui/controls.h"
#include "ui/message_boxes.h"
#include "ui/page_context.h"
#include "ui/widget_controls.h"
#include "tests/support/window_fixture.h"
#include "shell/traffic_monitor.h"
#include "shell/help_window.h"

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QWheelEvent>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QMessageBox>
#include <QTabWidget>
#include <QTableWidget>
#include <QTextBrowser>
#include <QTemporaryDir>
#include <QImage>
#include <QTextDocument>
#include <QShortcut>
#include <QLabel>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

using namespace vexs;
using namespace vexs::test;

namespace {

const QString kStatus = QStringLiteral("StaticTextStatusIP");

QStringList visibleTabs(TformMain &w)
{
    auto *pages = w.findChild<QTabWidget *>(QStringLiteral("PageControl"));
    QStringList names;
    for (int i = 0; i < pages->count(); ++i) {
        if (pages->isTabVisible(i))
            names.append(pages->widget(i)->objectName());
    }
    return names;
}

} // namespace

class tst_main_window : public QObject
{
    Q_OBJECT
private slots:
    void firstRunDefaultsAndFileWrittenAtClose();
    void storedValues_data();
    void storedValues();
    void portsSectionSurvivesClose();
    void unwritableConfigIsReported();
    void startState();
    void treeShowsExactlyOnePage_data();
    void treeShowsExactlyOnePage();
    void chords_data();
    void chords();
    void chordThroughKeyPress();
    void datesAreOnlyPicked();
    void interfaceSwitch();
    void startWithBadPortText_data();
    void startWithBadPortText();
    void connectAndDisconnect();
    void simulatorDropsConnection();
    void refusedConnectionIsReported();
    void gatewayFramingAndLinkOptions();
    void pagesKnowTheirRecorder_data();
    void pagesKnowTheirRecorder();
    void helpShowsTheGuide_data();
    void helpShowsTheGuide();
    void boxesShowTheNormalCursor();
    void requestButtonsDisabledWhileBusy();
    void closeDuringLongExchange();
    void closeWhileMessageBoxOpen();
    void closeWaitsForAWrite();
    void clicksDuringAPollRunInTurn();
    void queuedClickWaitsForAMessageBox();
};

void tst_main_window::firstRunDefaultsAndFileWrittenAtClose()
{
    WindowFixture::Options o;
    o.sim = false;
    QString path;
    {
        WindowFixture fx(o);
        path = fx.configPath();
        QVERIFY(!QFile::exists(path));
        // The fixture picks a fast speed; look at what the file gave first.
        TformMain w({path, &fx.boxes, {}});
        w.show();
        WidgetControls c(&w);
        QCOMPARE(c.position("UpDownAdr"), 1);
        QCOMPARE(c.position("UpDownComPort"), 1);
        QCOMPARE(c.itemText("ComboBoxBaud", c.itemIndex("ComboBoxBaud")), QString("19200   бит/с"));
        QCOMPARE(c.text("EditIP"), QString("192.168.011.002"));
        QCOMPARE(c.text("EditIPPort"), QString("5000"));
        QCOMPARE(c.itemText("ComboBoxInterface", c.itemIndex("ComboBoxInterface")),
                 QString("RS-485"));
        c.setPosition("UpDownAdr", 17);
        w.close();
        QVERIFY(QFile::exists(path));
        IniFile file(path);
        QCOMPARE(file.keys("Vexs"), QStringList({"UpDownAdr", "UpDownComPort", "ComboBoxBaud",
                                                 "EditIP", "EditIPPort"}));
        QCOMPARE(file.readInteger("Vexs", "UpDownAdr", 0), 17);
        QCOMPARE(file.readInteger("Vexs", "ComboBoxBaud", 0), 1);
        QCOMPARE(file.readString("Vexs", "EditIP", ""), QString("192.168.011.002"));
    }
}

void tst_main_window::storedValues_data()
{
    QTest::addColumn<QByteArray>("config");
    QTest::addColumn<int>("address");
    QTest::addColumn<int>("port");
    QTest::addColumn<int>("baud");
    QTest::newRow("baud 4") << QByteArray("[Vexs]\nComboBoxBaud=4\n") << 1 << 1 << 4;
    QTest::newRow("baud 0x3") << QByteArray("[Vexs]\nComboBoxBaud=0x3\n") << 1 << 1 << 3;
    QTest::newRow("baud abc") << QByteArray("[Vexs]\nComboBoxBaud=abc\n") << 1 << 1 << 1;
    QTest::newRow("clamped high") << QByteArray("[Vexs]\nUpDownAdr=300\nUpDownComPort=500\n"
                                                "ComboBoxBaud=9\n")
                                  << 255 << 100 << 4;
    QTest::newRow("clamped low") << QByteArray("[Vexs]\nUpDownAdr=-4\nUpDownComPort=0\n"
                                               "ComboBoxBaud=-1\n")
                                 << 0 << 1 << 0;
}

void tst_main_window::storedValues()
{
    QFETCH(QByteArray, config);
    QFETCH(int, address);
    QFETCH(int, port);
    QFETCH(int, baud);
    WindowFixture::Options o;
    o.sim = false;
    o.config = config;
    WindowFixture fx(o);
    TformMain w({fx.configPath(), &fx.boxes, {}});
    w.show();
    WidgetControls c(&w);
    QCOMPARE(c.position("UpDownAdr"), address);
    QCOMPARE(c.position("UpDownComPort"), port);
    QCOMPARE(c.itemIndex("ComboBoxBaud"), baud);
    QCOMPARE(w.connectionBar().slaveAddress(), quint8(address));
}

void tst_main_window::portsSectionSurvivesClose()
{
    WindowFixture::Options o;
    o.sim = false;
    o.config = "[Ports]\nCOM1=/tmp/ttyDEMO\n\n[Vexs]\nEditIP=10.1.1.1\n";
    WindowFixture fx(o);
    fx.window().close();
    IniFile file(fx.configPath());
    QCOMPARE(file.readString("Ports", "COM1", ""), QString("/tmp/ttyDEMO"));
    QCOMPARE(file.readString("Vexs", "EditIP", ""), QString("10.1.1.1"));
}

void tst_main_window::unwritableConfigIsReported()
{
    WindowFixture::Options o;
    o.sim = false;
    WindowFixture fx(o);
    const QString path = fx.configPath() + "-missing-dir/Vexs.ini";
    TformMain w({path, &fx.boxes, {}});
    w.show();
    w.close();
    QCOMPARE(fx.boxes.lastText(), "Unable to write to " + path);
    QCOMPARE(fx.boxes.lastKind(), CapturedBoxes::Report);
}

void tst_main_window::startState()
{
    WindowFixture::Options o;
    o.sim = false;
    WindowFixture fx(o);
    TformMain &w = fx.window();
    QCOMPARE(w.windowTitle(), QString(" Конфигуратор ВЕКС-310Т2 v1.18"));
    QCOMPARE(w.size(), QSize(1090, 607));
    QCOMPARE(visibleTabs(w), QStringList({"TabSheet0"}));
    QVERIFY(w.tree()->isHidden());
    QCOMPARE(fx.controls().text("LabelInfo"), QString("Считайте настройки прибора"));
    QVERIFY(fx.controls().isShown("PanelInfo"));
    for (const char *name : {"ButtonWriteManuf", "GroupBoxInfo", "PanelCalibr"})
        QVERIFY2(!fx.controls().isShown(name), name);
    // Every list of every page starts at its first item (the speed list
    // takes its value from the configuration file).
    for (QComboBox *combo : w.findChildren<QComboBox *>()) {
        if (combo->objectName() != "ComboBoxBaud" && combo->count() > 0)
            QVERIFY2(combo->currentIndex() == 0, qPrintable(combo->objectName()));
    }
    QCOMPARE(w.tree()->topLevelItemCount(), 1);
    int nodes = 0;
    for (QTreeWidgetItemIterator it(w.tree()); *it; ++it)
        ++nodes;
    QCOMPARE(nodes, TformMain::kPageCount);
}

void tst_main_window::treeShowsExactlyOnePage_data()
{
    QTest::addColumn<int>("node");
    QTest::addColumn<QString>("text");
    const char *texts[] = {"Векс 310", "Работа с FLASH", "Конфигурация", "Каналы измерения",
                           "Каналы математические", "Выходные сигналы", "Сигнализация",
                           "Рег./Арх./Дата/Время", "Индикация", "Сеть", "Измерение", "Архивы",
                           "Сервис"};
    // Visit the root last so a change back to it is covered too.
    for (int i : {9, 3, 12, 1, 2, 4, 5, 6, 7, 8, 10, 11, 0})
        QTest::addRow("%d", i) << i << QString::fromUtf8(texts[i]);
}

void tst_main_window::treeShowsExactlyOnePage()
{
    QFETCH(int, node);
    QFETCH(QString, text);
    static WindowFixture *fx = nullptr;
    if (!fx) {
        WindowFixture::Options o;
        o.sim = false;
        fx = new WindowFixture(o);
        fx->revealEverything();
    }
    TformMain &w = fx->window();
    w.selectNode(node);
    QCOMPARE(w.tree()->currentItem()->text(0), text);
    QCOMPARE(visibleTabs(w), QStringList({QStringLiteral("TabSheet%1").arg(node)}));
    QCOMPARE(w.findChild<QTabWidget *>("PageControl")->currentWidget()->objectName(),
             QStringLiteral("TabSheet%1").arg(node));
    if (node == 0) {
        delete fx;
        fx = nullptr;
    }
}

void tst_main_window::chords_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<bool>("factory");
    QTest::addColumn<bool>("tree");
    const int ca = int(Qt::ControlModifier | Qt::AltModifier);
    QTest::newRow("factory") << int(TformMain::kFactoryKey) << ca << true << false;
    QTest::newRow("tree") << int(TformMain::kTreeKey) << ca << false << true;
    QTest::newRow("factory without alt")
        << int(TformMain::kFactoryKey) << int(Qt::ControlModifier) << false << false;
    QTest::newRow("factory without ctrl")
        << int(TformMain::kFactoryKey) << int(Qt::AltModifier) << false << false;
    QTest::newRow("tree without alt") << int(TformMain::kTreeKey) << int(Qt::ControlModifier)
                                      << false << false;
    QTest::newRow("other digit") << int(Qt::Key_5) << ca << false << false;
    QTest::newRow("with shift too") << int(TformMain::kFactoryKey)
                                    << int(Qt::ControlModifier | Qt::AltModifier
                                           | Qt::ShiftModifier)
                                    << true << false;
}

void tst_main_window::chords()
{
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(bool, factory);
    QFETCH(bool, tree);
    WindowFixture::Options o;
    o.sim = false;
    WindowFixture fx(o);
    fx.window().FormKeyDown(key, Qt::KeyboardModifiers(modifiers));
    for (const char *name : {"ButtonWriteManuf", "GroupBoxInfo", "PanelCalibr"})
        QCOMPARE(fx.controls().isShown(name), factory);
    QCOMPARE(!fx.window().tree()->isHidden(), tree);
    QCOMPARE(fx.controls().isShown("PanelInfo"), !tree);
}

void tst_main_window::chordThroughKeyPress()
{
    WindowFixture::Options o;
    o.sim = false;
    WindowFixture fx(o);
    // The window sees the key even when an edit has the focus.
    QWidget *edit = fx.window().findChild<QWidget *>("EditIPPort");
    QTest::keyClick(edit, Qt::Key_2, Qt::ControlModifier | Qt::AltModifier);
    QVERIFY(!fx.window().tree()->isHidden());
}

void tst_main_window::datesAreOnlyPicked()
{
    WindowFixture::Options o;
    o.sim = false;
    WindowFixture fx(o);
    for (const char *name : {"DateEdit1", "DateEdit2"}) {
        auto *field = fx.window().findChild<QAbstractSpinBox *>(name);
        QVERIFY(field);
        QVERIFY(fx.controls().date(name).isNull());
        // Neither the arrow keys nor the wheel invent a date.
        QTest::keyClick(field, Qt::Key_Up);
        QWheelEvent wheel(QPointF(5, 5), field->mapToGlobal(QPointF(5, 5)), QPoint(),
                          QPoint(0, 120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(field, &wheel);
        QVERIFY2(fx.controls().date(name).isNull(), name);
        QTest::keyClicks(field, "05032009");
        QVERIFY2(fx.controls().date(name).isNull(), name);
    }
}

void tst_main_window::interfaceSwitch()
{
    WindowFixture::Options o;
    o.sim = false;
    WindowFixture fx(o);
    IControls &c = fx.controls();
    const QStringList serial = {"EditComPort", "StaticTextComPort", "UpDownComPort", "ComboBoxBaud"};
    const QStringList ethernet = {"StaticTextIP",       "EditIP",          "StaticTextIPPort",
                                  "EditIPPort",         "StaticTextStatusIP", "ButtonIPConnect",
                                  "ButtonIPDisconnect"};
    for (int index : {0, 1, 0}) {
        c.setItemIndex("ComboBoxInterface", index);
        for (const QString &name : serial)
            QVERIFY2(c.isShown(name) == (index == 0), qPrintable(name));
        for (const QString &name : ethernet)
            QVERIFY2(c.isShown(name) == (index == 1), qPrintable(name));
        for (const char *name : {"EditAdr", "UpDownAdr", "Button11"})
            QVERIFY(c.isShown(name));
    }
}

void tst_main_window::startWithBadPortText_data()
{
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("message");
    QTest::newRow("letters") << "50a0" << "127.0.0.1" << "Неверно введен порт";
    QTest::newRow("empty port") << "" << "127.0.0.1" << "Неверно введен порт";
    QTest::newRow("out of range") << "70000" << "127.0.0.1" << "Неверно введен порт";
    QTest::newRow("port 0") << "0" << "127.0.0.1" << "Неверно введен порт";
    QTest::newRow("address group over 255") << "5000" << "192.168.1.300" << "Неверно введен IP";
    QTest::newRow("empty host") << "5000" << "" << "Неверно введен IP";
    QTest::newRow("impossible host") << "5000" << "a/b" << "Нет соединения с сервером";
}

void tst_main_window::startWithBadPortText()
{
    QFETCH(QString, port);
    QFETCH(QString, host);
    QFETCH(QString, message);
    WindowFixture::Options o;
    o.sim = false;
    WindowFixture fx(o);
    IControls &c = fx.controls();
    c.setItemIndex("ComboBoxInterface", 1);
    c.setText("EditIPPort", port);
    c.setText("EditIP", host);
    fx.click("ButtonIPConnect");
    QCOMPARE(fx.boxes.texts(), QStringList({message}));
    QCOMPARE(fx.boxes.lastKind(), CapturedBoxes::Error);
    QCOMPARE(c.text(kStatus), QString("Ошибка"));
    QVERIFY(fx.button("ButtonIPConnect")->isEnabled());
    QVERIFY(!fx.button("ButtonIPDisconnect")->isEnabled());
    QVERIFY(!fx.window().socket().active());
}

void tst_main_window::connectAndDisconnect()
{
    WindowFixture fx;
    QVERIFY(fx.connectTcp());
    QVERIFY(!fx.button("ButtonIPConnect")->isEnabled());
    QVERIFY(fx.button("ButtonIPDisconnect")->isEnabled());
    QCOMPARE(fx.window().context().modbus.ReadHoldingRegisters(10012, 11, 200).size(), 27);

    fx.click("ButtonIPDisconnect");
    QCOMPARE(fx.controls().text(kStatus), QString("Закрыто"));
    QVERIFY(fx.button("ButtonIPConnect")->isEnabled());
    QVERIFY(!fx.button("ButtonIPDisconnect")->isEnabled());
    fx.clearRequests();
    QCOMPARE(fx.window().context().modbus.ReadHoldingRegisters(10012, 11, 200), QByteArray(" "));
    QCOMPARE(fx.requests().size(), 0);
    QVERIFY(fx.boxes.boxes.isEmpty());

    // Switching the interface neither connects nor disconnects.
    QVERIFY(fx.connectTcp());
    fx.controls().setItemIndex("ComboBoxInterface", 0);
    QVERIFY(fx.window().socket().active());
}

void tst_main_window::simulatorDropsConnection()
{
    WindowFixture fx;
    QVERIFY(fx.connectTcp());
    FaultRule drop;
    drop.kind = FaultRule::DropTcp;
    drop.times = 1;
    fx.sim().faults().add(drop);
    QCOMPARE(fx.window().context().modbus.ReadInputRegisters(0, 48, 200), QByteArray(" "));
    QTRY_COMPARE(fx.controls().text(kStatus), QString("Закрыто"));
    QVERIFY(fx.button("ButtonIPConnect")->isEnabled());
    QVERIFY(!fx.button("ButtonIPDisconnect")->isEnabled());
    // Start again reaches the device.
    QVERIFY(fx.connectTcp());
    QCOMPARE(fx.window().context().modbus.ReadInputRegisters(0, 48, 200).size(), 101);
}

void tst_main_window::gatewayFramingAndLinkOptions()
{
    WindowFixture fx;
    IControls &c = fx.controls();
    ConnectionBar &bar = fx.window().connectionBar();
    c.setItemIndex("ComboBoxInterface", 1);
    c.setText("EditIP", "127.0.0.1");
    c.setText("EditIPPort", QString::number(fx.sim().tcpPort()));
    // The simulator passes RTU frames; the bar was told Modbus TCP.
    c.setItemIndex("ComboBoxFraming", 1);
    fx.click("ButtonFramingProbe");
    QCOMPARE(fx.boxes.lastText(), QString("Прибор ответил в формате «RTU поверх TCP»"));
    QCOMPARE(c.itemIndex("ComboBoxFraming"), 0);
    QCOMPARE(c.text(kStatus), QString("Открыто"));
    // The protocol cannot change under the open connection.
    QVERIFY(!fx.window().findChild<QWidget *>("ComboBoxFraming")->isEnabled());

    bar.editLinkOptions = [](const LinkOptions &now) {
        LinkOptions o = now;
        o.tuning.readRetries = 2;
        o.tuning.extraWaitMs = 100;
        return std::optional(o);
    };
    fx.click("ButtonLinkOptions");
    QCOMPARE(bar.tuning().readRetries, 2);
    // A read that got nothing the first time is asked again, and the
    // monitor says so; its statistics count both requests.
    FaultRule silent;
    silent.times = 1;
    fx.sim().faults().add(silent);
    fx.window().monitor().resetStatistics();
    fx.clearRequests();
    fx.click("ButtonReadNastrRs");
    QVERIFY(fx.boxes.lastText() != QString("Нет связи с прибором"));
    QCOMPARE(fx.requests().size(), 2);
    const TrafficLog &log = fx.window().monitor().log();
    QCOMPARE(traffic::rowTexts(log.row(log.size() - 2)).at(traffic::OutcomeColumn), QString("Повтор"));
    fx.window().monitor().show();
    QTableWidget *stats = fx.window().monitor().statisticsView();
    QTRY_COMPARE(stats->rowCount(), 1);
    QCOMPARE(stats->item(0, 1)->text(), QString("2")); // requests
    QCOMPARE(stats->item(0, 3)->text(), QString("1")); // no reply

    fx.window().close();
    IniFile file(fx.configPath());
    QCOMPARE(file.readInteger("Vexs", "ReadRetries", 0), 2);
    QCOMPARE(file.readInteger("Vexs", "ExtraWaitMs", 0), 100);
    // Back where it was: the key is not written.
    QVERIFY(!file.keys("Vexs").contains("Framing"));
}

void tst_main_window::pagesKnowTheirRecorder_data()
{
    QTest::addColumn<int>("writeTo");
    QTest::addColumn<bool>("answer");
    QTest::addColumn<bool>("asked");
    QTest::addColumn<bool>("sent");
    QTest::newRow("the address read from") << 1 << true << false << true;
    QTest::newRow("another address, cloning on purpose") << 3 << true << true << true;
    QTest::newRow("another address, by mistake") << 3 << false << true << false;
}

void tst_main_window::pagesKnowTheirRecorder()
{
    QFETCH(int, writeTo);
    QFETCH(bool, answer);
    QFETCH(bool, asked);
    QFETCH(bool, sent);
    WindowFixture fx;
    fx.click("Button11");
    const QString serial = QString(fx.sim().model().identification().mid(6, 6));
    // The window and the root page name the recorder.
    QVERIFY2(fx.window().windowTitle().endsWith(" — прибор №" + serial), qPrintable(fx.window().windowTitle()));
    const QString summary = fx.window().findChild<QLabel *>("LabelRecorderSummary")->text();
    QVERIFY2(summary.startsWith("Прибор №" + serial + "\nДата изготовления: "), qPrintable(summary));
    QVERIFY(summary.contains("\nАдрес: 1\nСвязь: RS-485, COM1, "));

    fx.controls().setPosition("UpDownAdr", writeTo);
    fx.boxes.clear();
    fx.boxes.answer = answer;
    fx.clearRequests();
    fx.click("ButtonWriteNastrRs");
    const QString question = QString("Страницы считаны из прибора №%1 (адрес 1). Записать в прибор по адресу 3?").arg(serial);
    QCOMPARE(!fx.boxes.boxes.isEmpty() && fx.boxes.boxes.first().kind == CapturedBoxes::Question, asked);
    if (asked)
        QCOMPARE(fx.boxes.boxes.first().text, question);
    // The simulator is at address 1 alone: a request to 3 is still heard on the line.
    QCOMPARE(!fx.requests().isEmpty(), sent);
}

void tst_main_window::helpShowsTheGuide_data()
{
    QTest::addColumn<bool>("shipped");
    QTest::newRow("the guide shipped with the program") << true;
    QTest::newRow("no guide where it was looked for") << false;
}

void tst_main_window::helpShowsTheGuide()
{
    QFETCH(bool, shipped);
    if (shipped) {
        WindowFixture fx;
        QShortcut *f1 = nullptr;
        for (QShortcut *s : fx.window().findChildren<QShortcut *>())
            if (s->key() == QKeySequence(QKeySequence::HelpContents))
                f1 = s;
        QVERIFY(f1);
        emit f1->activated();
        auto *help = fx.window().findChild<HelpWindow *>();
        QVERIFY(help);
        QCOMPARE(help->windowTitle(), QString("Справка"));
        const QString text = help->browser()->toPlainText();
        for (const char *topic : {"Подключение, чтение и запись", "Файлы конфигурации", "Измерение, тренд и CSV",
                                  "Калибровка и сервис", "Монитор обмена и поиск приборов", "Если связи нет"})
            QVERIFY2(text.contains(QString::fromUtf8(topic)), topic);
        // Its screenshots are found beside it.
        const QVariant picture = help->browser()->document()->resource(
            QTextDocument::ImageResource, QUrl("../screenshots/main-window.png"));
        QVERIFY(!picture.value<QImage>().isNull() || !picture.toByteArray().isEmpty());
        // F1 again shows the same window.
        emit f1->activated();
        QCOMPARE(fx.window().findChildren<HelpWindow *>().size(), 1);
        return;
    }
    QTemporaryDir empty;
    HelpWindow help({empty.path()});
    QVERIFY(help.browser()->toPlainText().startsWith("Руководство не найдено"));
}

void tst_main_window::refusedConnectionIsReported()
{
    WindowFixture fx;
    const quint16 port = fx.sim().tcpPort();
    fx.sim().stop();
    IControls &c = fx.controls();
    c.setItemIndex("ComboBoxInterface", 1);
    c.setText("EditIP", "127.0.0.1");
    c.setText("EditIPPort", QString::number(port));
    fx.click("ButtonIPConnect");
    QTRY_VERIFY(!fx.boxes.boxes.isEmpty());
    QVERIFY(fx.boxes.lastText().startsWith("Asynchronous socket error "));
    // The bar is as a failed Start leaves it, and Start tries again.
    QVERIFY(fx.button("ButtonIPConnect")->isEnabled());
    QVERIFY(!fx.button("ButtonIPDisconnect")->isEnabled());
    QCOMPARE(c.text(kStatus), QString("Ошибка"));
    fx.boxes.boxes.clear();
    QVERIFY2(fx.sim().start(), qPrintable(fx.sim().errorString()));
    c.setText("EditIPPort", QString::number(fx.sim().tcpPort()));
    fx.click("ButtonIPConnect");
    QTRY_COMPARE(c.text(kStatus), QString("Открыто"));
    QVERIFY(fx.boxes.boxes.isEmpty());
}

void tst_main_window::boxesShowTheNormalCursor()
{
    // Real boxes over a busy cursor: the arrow while the box waits for the
    // user, the busy cursor back once it is dismissed.
    QtMessageBoxes boxes;
    QApplication::setOverrideCursor(Qt::BusyCursor);
    Qt::CursorShape during = Qt::BusyCursor;
    QTimer::singleShot(100, [&] {
        during = QApplication::overrideCursor()->shape();
        if (QWidget *box = QApplication::activeModalWidget())
            box->close();
    });
    boxes.error(QStringLiteral("Нет связи с прибором"));
    QCOMPARE(during, Qt::ArrowCursor);
    QCOMPARE(QApplication::overrideCursor()->shape(), Qt::BusyCursor);
    QApplication::restoreOverrideCursor();
}

void tst_main_window::requestButtonsDisabledWhileBusy()
{
    WindowFixture fx;
    // A single exchange (what the poll sends every second) toggles nothing,
    // and a click during its wait is run once, right after it.
    bool enabledDuringExchange = false;
    QTimer::singleShot(100, &fx.window(), [&] {
        enabledDuringExchange = fx.button("Button11")->isEnabled();
        fx.click("Button11");
        fx.click("Button11");
    });
    fx.window().context().modbus.ReadInputRegisters(0, 48, 300);
    QVERIFY(enabledDuringExchange);
    QCOMPARE(fx.sim().requestLog().size(), 1);

    // The bulk read that click started keeps the visible busy state.
    bool disabledDuring = false;
    bool stopEnabledDuring = false;
    QTimer::singleShot(300, &fx.window(), [&] {
        disabledDuring = !fx.button("Button11")->isEnabled();
        stopEnabledDuring = fx.button("ButtonIPDisconnect")->isEnabled()
                            || !isRequestControl(fx.button("ButtonIPDisconnect"));
    });
    QTRY_VERIFY_WITH_TIMEOUT(fx.sim().requestLog().size() >= 2, 2000);
    QTRY_VERIFY_WITH_TIMEOUT(fx.button("Button11")->isEnabled(), 20000);
    QVERIFY(disabledDuring);
    QVERIFY(stopEnabledDuring);
    QTest::qWait(300);
    int identReads = 0;
    for (const QByteArray &frame : fx.sim().requestLog().frames())
        identReads += frame.startsWith(QByteArray::fromHex("0103271C"));
    QCOMPARE(identReads, 1);
}

void tst_main_window::closeDuringLongExchange()
{
    WindowFixture fx;
    FaultRule silent;
    silent.kind = FaultRule::Silent;
    fx.sim().faults().add(silent);
    TformMain &w = fx.window();
    QTimer::singleShot(200, &w, [&w] { w.close(); });
    QElapsedTimer timer;
    timer.start();
    const QByteArray reply =
        w.context().modbus.WriteMultipleRegisters(10001, 3, QByteArray(6, '\0'), 8000);
    QVERIFY2(timer.elapsed() < 3000, "closing must end the wait");
    QCOMPARE(reply, QByteArray(" "));
    QVERIFY(!w.serialPort().Active());
    QVERIFY(QFile::exists(fx.configPath()));
    // Nothing more is sent once the window is closing.
    fx.clearRequests();
    QCOMPARE(w.context().modbus.ReadInputRegisters(0, 48, 100), QByteArray(" "));
    QTest::qWait(50);
    QCOMPARE(fx.requests().size(), 0);
}

void tst_main_window::closeWaitsForAWrite()
{
    WindowFixture fx;
    TformMain &w = fx.window();
    LinkActivity &activity = w.context().activity;
    auto *address = w.findChild<QWidget *>(QStringLiteral("UpDownAdr"));
    {
        // Any action that sends (a math group's five chunks) keeps one recorder.
        LinkActivity::Scope busy(activity);
        QVERIFY(!address->isEnabled());
    }
    QVERIFY(address->isEnabled());

    QVERIFY(!QFile::exists(fx.configPath()));
    {
        LinkActivity::Scope handler(activity); // "Записать файл в прибор", a page's "Записать"
        w.close();
        QTest::qWait(50);
        QVERIFY(!QFile::exists(fx.configPath()));
        QVERIFY(w.windowTitle().endsWith(QStringLiteral("окно закроется по окончании обмена с прибором")));
        w.context().status.beginProgress(QStringLiteral("Запись в прибор"), 3, false);
        w.context().status.endProgress();
        // The read-back that follows at once keeps it open as well.
        w.context().status.beginProgress(QStringLiteral("Проверка записанного"), 25, false);
        QTest::qWait(50);
        QVERIFY(!QFile::exists(fx.configPath())); // not closed yet
        QCOMPARE(w.context().modbus.ReadInputRegisters(0, 48, 200).size(), 101);
        w.context().status.endProgress();
        // So does the summary, whose box runs events until it is read.
        QTest::qWait(50);
        QVERIFY(!QFile::exists(fx.configPath()));
    }
    QTRY_VERIFY(QFile::exists(fx.configPath()));
    QCOMPARE(w.context().modbus.ReadInputRegisters(0, 48, 100), QByteArray(" "));
}

void tst_main_window::closeWhileMessageBoxOpen()
{
    WindowFixture::Options o;
    o.sim = false;
    WindowFixture fx(o);
    // Real modal boxes this time.
    TformMain w({fx.configPath(), nullptr, {}});
    w.show();
    QTimer::singleShot(200, &w, [&w] { w.close(); });
    QElapsedTimer timer;
    timer.start();
    w.boxes().error(QStringLiteral("Нет связи с прибором"));
    QVERIFY(timer.elapsed() < 3000);
    QVERIFY(QFile::exists(fx.configPath()));
    // Later boxes of the unwinding handler do not block either.
    timer.restart();
    w.boxes().info(QStringLiteral("Выполнено"));
    QVERIFY(timer.elapsed() < 1000);
}

void tst_main_window::clicksDuringAPollRunInTurn()
{
    WindowFixture fx;
    {
        // Both start after the poll's wait, the second once the first is over.
        LinkActivity::Exchanging polling(fx.window().context().activity);
        fx.click(QStringLiteral("ButtonReadNastrCan1"));
        fx.click(QStringLiteral("ButtonReadNastrCan2"));
        QVERIFY(fx.boxes.boxes.isEmpty());
    }
    QTRY_COMPARE_WITH_TIMEOUT(fx.boxes.boxes.size(), 2, 5000);
    QCOMPARE(fx.boxes.texts(), QStringList({"Выполнено", "Выполнено"}));

    // Nor inside the file dialog of another action.
    fx.boxes.clear();
    {
        LinkActivity::Dialog fileDialog(fx.window().context().activity);
        fx.click(QStringLiteral("ButtonReadNastrCan1"));
        QTest::qWait(50);
        QVERIFY(fx.boxes.boxes.isEmpty());
    }
    QTRY_COMPARE_WITH_TIMEOUT(fx.boxes.boxes.size(), 1, 5000);
}

void tst_main_window::queuedClickWaitsForAMessageBox()
{
    WindowFixture::Options o;
    o.sim = false;
    WindowFixture fx(o);
    TformMain w({fx.configPath(), nullptr, {}}); // real modal boxes
    w.show();
    QObject owner;
    bool ran = false;
    bool ranInsideTheBox = false;
    QTimer::singleShot(100, &w, [&] {
        runWhenLinkFree(&owner, w.context().activity,
                        std::make_shared<std::function<void()>>([&] { ran = true; }));
        QTimer::singleShot(100, &w, [&] {
            ranInsideTheBox = ran;
            QApplication::activeModalWidget()->close();
        });
    });
    w.boxes().error(QStringLiteral("Нет связи с прибором"));
    QTRY_VERIFY(ran);
    QVERIFY(!ranInsideTheBox);
}

QTEST_MAIN(tst_main_window)
#include "tst_main_window.moc"
