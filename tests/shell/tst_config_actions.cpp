// The window's configuration files against the simulator: save, open into
// the pages, compare, and the write with its backup and verifying read.
#include "settings/config_file.h"
#include "settings/config_groups.h"
#include "settings/encodings.h"
#include "settings/journal_store.h"
#include "settings/record_layout.h"
#include "shell/config_actions.h"
#include "shell/connection_bar.h"
#include "tests/support/window_fixture.h"
#include "ui/controls.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

using namespace vexs;
using namespace vexs::test;

namespace {

struct Shown
{
    int calls = 0;
    QList<ConfigDifference> groups;
    QList<ConfigDifference> notes;
};

int at(GroupFamily family, int item, int offset)
{
    return configGroup(family, item).layout->recordOffset(item) + offset;
}

} // namespace

class tst_config_actions : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void pageListsAreTheFileLists();
    void saveOpenAndComparePages();
    void compareDeviceWithFile();
    void writeKeepsBackupAndVerifies();
    void badFileWritesNothing();
    void failureMidWayNamesGroupsAndBackup();
    void groupCutShortOrRefused_data();
    void groupCutShortOrRefused();
    void pagesSavedAndWrittenOffline();
    void journalKeepsEachWrite();
    void unwritableJournalStopsEveryWrite_data();
    void unwritableJournalStopsEveryWrite();

private:
    ConfigActions::Hooks &hooks() { return m_fx->window().configActions().hooks(); }
    QString path(const QString &name) const { return m_dir.filePath(name); }
    QString writeFile(const QString &name, const QByteArray &image);

    std::unique_ptr<WindowFixture> m_fx;
    QTemporaryDir m_dir;
    Shown m_shown;
    QStringList m_questions;
    QList<ConfigDifference> m_preview;
    bool m_write = true; // the answer to the preview
    QString m_open;
};

void tst_config_actions::init()
{
    m_fx = std::make_unique<WindowFixture>();
    // Each write reads the device three times (preview, backup, read-back):
    // with fast exchange a read ends with its last reply, not its waits.
    m_fx->window().connectionBar().setFastExchange(true);
    m_shown = Shown();
    m_questions.clear();
    hooks().openFileName = [this](const QString &) { return m_open; };
    hooks().saveFileName = [this](const QString &, const QString &) { return path("saved.json"); };
    hooks().confirm = [this](const QString &q) {
        m_questions << q;
        return true;
    };
    m_write = true;
    hooks().previewWrite = [this](const QString &q, const QList<ConfigDifference> &changes) {
        m_questions << q;
        m_preview = changes;
        return m_write;
    };
    hooks().showDifferences = [this](const QString &, const QString &, const QString &,
                                     const QList<ConfigDifference> &groups,
                                     const QList<ConfigDifference> &notes) {
        ++m_shown.calls;
        m_shown.groups = groups;
        m_shown.notes = notes;
    };
    hooks().backupFolder = path("backups");
}

void tst_config_actions::cleanup()
{
    m_fx.reset();
    QDir(path("backups")).removeRecursively();
}

QString tst_config_actions::writeFile(const QString &name, const QByteArray &image)
{
    DeviceConfig c;
    c.image = image;
    QString error;
    if (!writeConfigFile(path(name), c, &error))
        qFatal("%s", qPrintable(error));
    return path(name);
}

void tst_config_actions::pageListsAreTheFileLists()
{
    // A file names list values by the texts the pages show.
    IControls &controls = m_fx->controls();
    for (const ConfigGroup &g : configGroups()) {
        for (const Field &f : g.layout->fields) {
            QStringList lists;
            if (f.kind == FieldKind::Switch || f.kind == FieldKind::Selection || f.kind == FieldKind::NibblePair)
                lists << f.prefix;
            if (f.kind == FieldKind::NibblePair)
                lists << f.prefix2;
            for (const QString &prefix : lists) {
                const QString name = g.layout->controlName(prefix, g.item);
                QStringList shown;
                for (int i = 0; i < controls.itemCount(name); ++i)
                    shown << controls.itemText(name, i);
                QCOMPARE(shown, listItems(*g.layout, prefix, g.item));
            }
        }
    }
}

void tst_config_actions::saveOpenAndComparePages()
{
    m_fx->click(QStringLiteral("ButtonConfigSave"));
    QCOMPARE(m_fx->boxes.lastText(), QStringLiteral("Конфигурация сохранена: ") + path("saved.json"));
    QString error;
    std::optional<DeviceConfig> saved = readConfigFile(path("saved.json"), &error);
    QVERIFY2(saved, qPrintable(error));
    QCOMPARE(saved->image, m_fx->sim().model().settingsArea());
    QCOMPARE(saved->serial(), QStringLiteral("001234"));

    // Opened into the pages, nothing sent. A point past the count is no
    // field of the pages, so it is no difference either.
    writeFloat(saved->image, at(GroupFamily::Measurement, 1, 14), 260.5f);
    writeFloat(saved->image, at(GroupFamily::Math, 1, 26 + 4 * 20), 7.0f);
    m_open = writeFile(QStringLiteral("edited.json"), saved->image);
    m_fx->clearRequests();
    m_fx->window().activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&m_fx->window()));
    QTest::keyClick(&m_fx->window(), Qt::Key_O, Qt::ControlModifier);
    QVERIFY(m_fx->requests().isEmpty());
    QCOMPARE(m_fx->boxes.lastKind(), CapturedBoxes::Info);
    QCOMPARE(parseReal(m_fx->controls().text(QStringLiteral("EditCanVPI1"))), 260.5f);
    QVERIFY(m_fx->window().tree()->isVisible());

    m_fx->click(QStringLiteral("ButtonConfigComparePages"));
    QCOMPARE(m_fx->boxes.lastText(), QStringLiteral("Различий нет"));
    QCOMPARE(m_shown.calls, 0);
    m_fx->controls().setText(QStringLiteral("EditCanVPI1"), QStringLiteral("270"));
    m_fx->click(QStringLiteral("ButtonConfigComparePages"));
    QCOMPARE(m_shown.calls, 1);
    QCOMPARE(m_shown.groups.size(), 1);
    QCOMPARE(differenceLine(m_shown.groups.first()),
             QStringLiteral("measurement.1 / rangeHigh: 270.000 -> 260.500"));
    QVERIFY(m_fx->requests().isEmpty());
}

void tst_config_actions::compareDeviceWithFile()
{
    QByteArray area = m_fx->sim().model().settingsArea();
    m_open = writeFile(QStringLiteral("file.json"), area);
    area[at(GroupFamily::Output, 3, 1)] = 2;
    m_fx->sim().model().setSettingsArea(area);
    m_fx->click(QStringLiteral("ButtonConfigCompareDevice"));
    QCOMPARE(m_shown.calls, 1);
    QCOMPARE(m_shown.groups.size(), 1);
    QCOMPARE(differenceLine(m_shown.groups.first()), QStringLiteral("output.3 / channel: Канал М2 -> Канал 3"));
    // The file has no identification: every field of it is a note.
    QVERIFY(!m_shown.notes.isEmpty());
}

void tst_config_actions::writeKeepsBackupAndVerifies()
{
    const QByteArray before = m_fx->sim().model().settingsArea();
    QByteArray wanted = before;
    wanted[at(GroupFamily::Measurement, 4, 0)] = 0;
    writeFloat(wanted, at(GroupFamily::Math, 2, 12), -5.0f);
    wanted[at(GroupFamily::Recording, 1, 2)] = 3;
    wanted[at(GroupFamily::Network, 1, 0)] = 9;
    m_open = writeFile(QStringLiteral("wanted.json"), wanted);

    // The preview shows each field that changes, from the device to the
    // file; declined, nothing is written.
    m_write = false;
    m_fx->clearRequests();
    m_fx->click(QStringLiteral("ButtonConfigWrite"));
    QCOMPARE(m_questions.size(), 1);
    QVERIFY(m_questions[0].contains(QStringLiteral("задают прибору адрес 9, связь идёт по адресу 1")));
    QStringList shown;
    for (const ConfigDifference &d : m_preview)
        shown << d.group + QLatin1Char('/') + d.field;
    QCOMPARE(shown.join(QLatin1Char(' ')), QStringLiteral("math.2/barLow recording/chartSpeed network/address"));
    QCOMPARE(m_preview[2].a, QStringLiteral("1"));
    QCOMPARE(m_preview[2].b, QStringLiteral("9"));
    QVERIFY(!m_fx->requests().isEmpty());
    for (const QByteArray &request : m_fx->requests())
        QCOMPARE(int(quint8(request.at(1))), 0x03);
    QCOMPARE(m_fx->sim().model().settingsArea(), before);

    m_write = true;
    m_fx->click(QStringLiteral("ButtonConfigWrite"));
    QCOMPARE(m_fx->boxes.lastKind(), CapturedBoxes::Info);
    QVERIFY2(m_fx->boxes.lastText().startsWith(QStringLiteral("Записано и проверено групп: 24 из 24")),
             qPrintable(m_fx->boxes.lastText()));
    QCOMPARE(m_fx->sim().model().settingsArea().toHex(), wanted.toHex());

    const QStringList backups = QDir(path("backups")).entryList({QStringLiteral("001234-*.json")});
    QCOMPARE(backups.size(), 1);
    QVERIFY(m_fx->boxes.lastText().endsWith(QStringLiteral("Резервная копия: ") + path("backups/") + backups[0]));
    QString error;
    const auto backup = readConfigFile(path("backups/") + backups[0], &error);
    QVERIFY2(backup, qPrintable(error));
    QCOMPARE(backup->image.toHex(), before.toHex());
    // The pages show what the device now holds.
    QCOMPARE(m_fx->controls().position(QStringLiteral("UpDownRsAdr")), 9);
}

void tst_config_actions::badFileWritesNothing()
{
    QByteArray text = configToJson(DeviceConfig{QString(), QDateTime(), QByteArray(),
                                                m_fx->sim().model().settingsArea()});
    text.replace("\"units\": \"кПа\"", "\"units\": \"k✓\"");
    QFile file(path("bad.json"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(text);
    file.close();
    m_open = path("bad.json");
    m_fx->clearRequests();
    m_fx->click(QStringLiteral("ButtonConfigWrite"));
    QCOMPARE(m_fx->boxes.lastKind(), CapturedBoxes::Error);
    QCOMPARE(m_fx->boxes.lastText(),
             QStringLiteral("Файл «%1», группа measurement.1 («Канал измерения 1»), поле «units»: "
                            "Канал 1: Ед. измерения: символ «✓» нельзя передать в прибор")
                 .arg(path("bad.json")));
    QVERIFY(m_questions.isEmpty());
    QVERIFY(m_fx->requests().isEmpty());
}

void tst_config_actions::failureMidWayNamesGroupsAndBackup()
{
    // The file changes measurement.2 and its write is lost on the way: the
    // device keeps its own value, so the group's state is unknown, with the
    // octets read back.
    QByteArray image = m_fx->sim().model().settingsArea();
    const char held = image[at(GroupFamily::Measurement, 2, 1)];
    image[at(GroupFamily::Measurement, 2, 1)] = 13;
    m_open = writeFile(QStringLiteral("file.json"), image);
    FaultRule silent;
    silent.function = 0x10;
    silent.firstRegister = configGroup(GroupFamily::Measurement, 2).recordFirstRegister();
    m_fx->sim().faults().add(silent);
    m_fx->click(QStringLiteral("ButtonConfigWrite"));
    QCOMPARE(m_fx->boxes.lastKind(), CapturedBoxes::Error);
    const QStringList lines = m_fx->boxes.lastText().split(QLatin1Char('\n'));
    QCOMPARE(lines.value(0), QStringLiteral("Нет связи с прибором: запись группы measurement.2 («Канал измерения 2») "
                                            "не подтверждена, запись остановлена"));
    QCOMPARE(lines.value(1), QStringLiteral("Записаны и проверены: measurement.1"));
    QCOMPARE(lines.value(2), QStringLiteral("Состояние неизвестно: measurement.2"));
    QVERIFY(lines.value(3).startsWith(QStringLiteral("Не записывались: measurement.3, measurement.4, math.1")));
    QCOMPARE(lines.value(4), QStringLiteral("measurement.2: октеты 1..1 записи: прочитано %1, в файле 0d")
                                 .arg(QString::fromLatin1(QByteArray(1, held).toHex())));
    QVERIFY(lines.value(5).startsWith(QStringLiteral("Резервная копия: ") + path("backups/001234-")));
}

void tst_config_actions::groupCutShortOrRefused_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("firstRegister");
    QTest::addColumn<QString>("headline");
    QTest::addColumn<QString>("stateLine");
    const ConfigGroup &math = configGroup(GroupFamily::Math, 1);
    const int output = configGroup(GroupFamily::Output, 1).recordFirstRegister();
    const QString outputLost = QStringLiteral("Нет связи с прибором: запись группы output.1 («Выходной сигнал 1») не подтверждена, "
                                              "запись остановлена");
    const QString outputHeld = QStringLiteral("Записаны и проверены: measurement.1, measurement.2, measurement.3, "
                                              "measurement.4, math.1, math.2, math.3, math.4, output.1");
    // The file changes output.1 and math.1, so only a device that carried
    // the request out holds them as the file has them.
    QTest::newRow("acknowledgement with a bad CRC") << int(FaultRule::BadCrc) << output << outputLost << outputHeld;
    QTest::newRow("acknowledgement too late") << int(FaultRule::Late) << output << outputLost << outputHeld;
    QTest::newRow("third of five requests lost")
        << int(FaultRule::Silent) << int(math.writeSpans[2].first)
        << "Нет связи с прибором: запись группы math.1 («Математический канал М1») не подтверждена "
           "(подтверждено запросов 2 из 5), запись остановлена"
        << "Состояние неизвестно: math.1";
    // The simulator carries a refused request out: the device holds it.
    QTest::newRow("refused, yet carried out")
        << int(FaultRule::Refuse) << int(configGroup(GroupFamily::Measurement, 2).recordFirstRegister())
        << "Прибор отказал в записи (код исключения 3): группа measurement.2 («Канал измерения 2»), "
           "запись остановлена"
        << "Записаны и проверены: measurement.1, measurement.2";
}

void tst_config_actions::groupCutShortOrRefused()
{
    QFETCH(int, kind);
    QFETCH(int, firstRegister);
    QFETCH(QString, headline);
    QFETCH(QString, stateLine);
    QByteArray image = m_fx->sim().model().settingsArea();
    char &channel = image[at(GroupFamily::Output, 1, 1)];
    channel = channel == 2 ? 3 : 2;
    writeFloat(image, at(GroupFamily::Math, 1, 282), 2.0f);
    m_open = writeFile(QStringLiteral("file.json"), image);
    FaultRule rule{FaultRule::Kind(kind)};
    rule.amount = kind == FaultRule::Late ? 1500 : 3;
    rule.function = 0x10;
    rule.firstRegister = firstRegister;
    rule.times = 1;
    m_fx->sim().faults().add(rule);
    m_fx->click(QStringLiteral("ButtonConfigWrite"));
    QCOMPARE(m_fx->boxes.lastKind(), CapturedBoxes::Error);
    const QStringList lines = m_fx->boxes.lastText().split(QLatin1Char('\n'));
    QCOMPARE(lines.value(0), headline);
    QVERIFY2(lines.contains(stateLine), qPrintable(lines.join(QLatin1Char('|'))));
}

void tst_config_actions::pagesSavedAndWrittenOffline()
{
    // A file opened with no bulk read: the pages' edits and the file's
    // octets that no field shows go into a file saved from them, and
    // nothing is sent.
    QByteArray image = m_fx->sim().model().settingsArea();
    image[at(GroupFamily::Math, 1, 8)] = 0x5a; // a reserved octet
    m_open = writeFile(QStringLiteral("opened.json"), image);
    m_fx->clearRequests();
    m_fx->click(QStringLiteral("ButtonConfigOpen"));
    m_fx->controls().setText(QStringLiteral("EditCanVPI2"), QStringLiteral("321.500"));
    m_fx->click(QStringLiteral("ButtonPagesSave"));
    QCOMPARE(m_fx->boxes.lastKind(), CapturedBoxes::Info);
    QVERIFY(m_fx->requests().isEmpty());
    QString error;
    const std::optional<DeviceConfig> saved = readConfigFile(path("saved.json"), &error);
    QVERIFY2(saved, qPrintable(error));
    QByteArray expected = image;
    writeFloat(expected, at(GroupFamily::Measurement, 2, 14), 321.5f);
    QCOMPARE(saved->image.toHex(), expected.toHex());

    // Written as a file is: preview, backup, verified.
    m_fx->click(QStringLiteral("ButtonPagesWrite"));
    QCOMPARE(m_preview.size(), 2);
    QCOMPARE(m_preview[0].caption + QLatin1Char(' ') + m_preview[0].b, QStringLiteral("ВПИ 321.500"));
    QCOMPARE(m_fx->boxes.lastKind(), CapturedBoxes::Info);
    QCOMPARE(m_fx->sim().model().settingsArea().toHex(), expected.toHex());
    QCOMPARE(QDir(path("backups")).entryList({QStringLiteral("*.json")}).size(), 1);
}

void tst_config_actions::journalKeepsEachWrite()
{
    m_fx->click(QStringLiteral("Button11"));
    const auto write = [&](const QString &value) {
        m_fx->controls().setText(QStringLiteral("EditCanVPI1"), value);
        m_fx->click(QStringLiteral("ButtonWriteNastrCan1"));
    };
    write(QStringLiteral("111.000"));
    write(QStringLiteral("222.000"));
    // A configuration write: one record per group it changed.
    QByteArray image = m_fx->sim().model().settingsArea();
    image[at(GroupFamily::Output, 3, 1)] = 2;
    m_open = writeFile(QStringLiteral("file.json"), image);
    m_fx->click(QStringLiteral("ButtonConfigWrite"));

    const JournalRead read = JournalStore(m_fx->journalFolder()).read();
    QVERIFY(read.notes.isEmpty());
    QCOMPARE(read.records.size(), 2 + 24);
    // The second page write's before is what the first wrote, not the bulk read's.
    const JournalRecord &second = read.records[1];
    QCOMPARE(second.what, QStringLiteral("Канал измерения 1"));
    QCOMPARE(journal::changesText(second.changes), QStringLiteral("ВПИ: 111.000 -> 222.000"));
    QCOMPARE(second.serial, QStringLiteral("001234"));
    QCOMPARE(second.address, 1);
    QVERIFY(second.link.startsWith(QStringLiteral("RS-485, COM1")));
    QVERIFY(second.ok);
    QCOMPARE(second.user, currentLogin());
    const auto output = std::find_if(read.records.begin(), read.records.end(),
                                     [](const JournalRecord &r) { return r.what == QStringLiteral("Выходной сигнал 3"); });
    QVERIFY(output != read.records.end());
    QCOMPARE(output->changes.size(), 1);
    QCOMPARE(output->changes[0].after, QStringLiteral("Канал М2"));
    QCOMPARE(output->outcome, QStringLiteral("записана и проверена"));
}

void tst_config_actions::unwritableJournalStopsEveryWrite_data()
{
    QTest::addColumn<QString>("button");
    QTest::newRow("page write") << "ButtonWriteNastrCan1";
    QTest::newRow("file write") << "ButtonConfigWrite";
    QTest::newRow("pages write") << "ButtonPagesWrite";
}

void tst_config_actions::unwritableJournalStopsEveryWrite()
{
    QFETCH(QString, button);
    m_fx->click(QStringLiteral("Button11"));
    m_open = writeFile(QStringLiteral("file.json"), m_fx->sim().model().settingsArea());
    // A file where the journal's folder should be.
    QFile blocker(m_fx->journalFolder());
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    m_fx->clearRequests();
    m_fx->click(button);
    QCOMPARE(m_fx->boxes.lastKind(), CapturedBoxes::Error);
    QVERIFY2(m_fx->boxes.lastText().contains(QStringLiteral("журнал")), qPrintable(m_fx->boxes.lastText()));
    QVERIFY(m_fx->requests().isEmpty());
    QFile::remove(m_fx->journalFolder());
}

QTEST_MAIN(tst_config_actions)
#include "tst_config_actions.moc"
