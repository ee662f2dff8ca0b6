// The write journal's files: records through a line and back, rotation that
// keeps every line in order, damaged lines skipped with a note and nothing
// else lost, the window's and vexs-cli's filter, the CSV, and a folder that
// cannot take a record refusing before anything is sent.

#include "settings/journal_store.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace vexs;

Q_DECLARE_METATYPE(vexs::JournalRecord)
Q_DECLARE_METATYPE(vexs::JournalFilter)

namespace {

QDateTime moscow(int day, int hour, int minute = 0, int second = 0)
{
    return QDateTime(QDate(2025, 3, day), QTime(hour, minute, second), Qt::OffsetFromUTC, 3 * 3600);
}

JournalRecord rec(const QString &what, const QString &serial = QStringLiteral("001234"),
                  const QDateTime &at = moscow(1, 10))
{
    JournalRecord r;
    r.at = at;
    r.user = QStringLiteral("ivan");
    r.link = QStringLiteral("RS-485, /dev/ttyUSB0, 115200 бит/с");
    r.address = 1;
    r.serial = serial;
    r.what = what;
    r.ok = true;
    r.outcome = QStringLiteral("записано и проверено");
    return r;
}

QStringList whats(const QList<JournalRecord> &records)
{
    QStringList out;
    for (const JournalRecord &r : records)
        out << r.what;
    return out;
}

QByteArray good(const QString &what)
{
    return journalLine(rec(what)) + '\n';
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace

class tst_journal_store : public QObject
{
    Q_OBJECT
private slots:
    void lineRoundTrip_data();
    void lineRoundTrip();
    void rotationKeepsEveryLineInOrder_data();
    void rotationKeepsEveryLineInOrder();
    void damagedLinesSkippedWithANote_data();
    void damagedLinesSkippedWithANote();
    void filter_data();
    void filter();
    void dates_data();
    void dates();
    void csvForASpreadsheet_data();
    void csvForASpreadsheet();
    void unwritableFolderRefusesFirst_data();
    void unwritableFolderRefusesFirst();
    void journalStampsWhatTheCallerLeft_data();
    void journalStampsWhatTheCallerLeft();
};

void tst_journal_store::lineRoundTrip_data()
{
    QTest::addColumn<JournalRecord>("record");
    JournalRecord change = rec(QStringLiteral("Канал измерения 1"));
    change.changes = {{QStringLiteral("Канал измерения 1 / ВПИ"), QStringLiteral("100.000"), QStringLiteral("250.000")},
                      {QStringLiteral("Канал измерения 1 / Ед. изм."), QString(), QStringLiteral("°C")}};
    QTest::newRow("changes, one without its old value") << change;
    JournalRecord odd = rec(QStringLiteral("Перо: \"Вверх\"; \\ вторая\nстрока\tи \x01 😀"), QStringLiteral("A-7;\""),
                            QDateTime(QDate(2024, 12, 31), QTime(23, 59, 59), Qt::OffsetFromUTC, -(5 * 3600 + 1800)));
    odd.changes = {{QStringLiteral("Текст"), QStringLiteral("a\r\nb"), QStringLiteral("\"\"")}};
    odd.link = QStringLiteral("Ethernet, [::1]:502, Modbus TCP");
    QTest::newRow("quotes, line breaks, control characters, a negative offset") << odd;
    JournalRecord failed = rec(QStringLiteral("Сеть"), QString());
    failed.ok = false;
    failed.address = 255;
    failed.outcome = QStringLiteral("Нет связи с прибором: нет ответа");
    QTest::newRow("failed, serial not known, last address") << failed;
}

void tst_journal_store::lineRoundTrip()
{
    QFETCH(JournalRecord, record);
    const QByteArray line = journalLine(record);
    QVERIFY2(!line.contains('\n') && !line.contains('\r'), line.constData());
    // Readable as it is: the Russian texts are not escaped.
    QVERIFY(line.contains(record.what.left(4).toUtf8()));
    QString why;
    const std::optional<JournalRecord> back = parseJournalLine(line + "\r\n", &why);
    QVERIFY2(back, qPrintable(why));
    QCOMPARE(back->at, record.at);
    QCOMPARE(back->at.offsetFromUtc(), record.at.offsetFromUtc());
    QCOMPARE(QStringList({back->user, back->link, back->serial, back->what, back->outcome}),
             QStringList({record.user, record.link, record.serial, record.what, record.outcome}));
    QCOMPARE(back->address, record.address);
    QCOMPARE(back->ok, record.ok);
    QCOMPARE(back->changes.size(), record.changes.size());
    for (int i = 0; i < record.changes.size(); ++i) {
        QCOMPARE(back->changes[i].caption, record.changes[i].caption);
        QCOMPARE(back->changes[i].before, record.changes[i].before);
        QCOMPARE(back->changes[i].after, record.changes[i].after);
    }
}

void tst_journal_store::rotationKeepsEveryLineInOrder_data()
{
    QTest::addColumn<qint64>("limit");
    QTest::addColumn<int>("records");
    QTest::addColumn<int>("files"); // at least
    // More files than fit a second: names taken get -2..-13, which sort as
    // numbers, not as text.
    QTest::newRow("one line a file, each longer than the limit") << qint64(1) << 14 << 14;
    QTest::newRow("a few lines a file") << qint64(1000) << 25 << 5;
    QTest::newRow("never reached") << JournalStore::kDefaultLimit << 25 << 1;
}

void tst_journal_store::rotationKeepsEveryLineInOrder()
{
    QFETCH(qint64, limit);
    QFETCH(int, records);
    QFETCH(int, files);
    QTemporaryDir dir;
    JournalStore store(dir.filePath(QStringLiteral("journal")), limit);
    QStringList written;
    for (int i = 0; i < records; ++i) {
        written << QStringLiteral("Запись %1").arg(i);
        QString error;
        QVERIFY2(store.append(rec(written.last()), &error), qPrintable(error));
    }
    const QStringList paths = store.files();
    QVERIFY(paths.size() >= files);
    QVERIFY(paths.last().endsWith(QStringLiteral("/journal.jsonl")));
    QList<QByteArray> contents;
    for (const QString &path : paths) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        contents << file.readAll();
    }
    for (int i = 0; i < contents.size(); ++i) {
        QVERIFY2(contents[i].size() <= limit || contents[i].count('\n') == 1, qPrintable(paths[i]));
        // Closed only when the next line would have passed the limit.
        if (i + 1 < contents.size())
            QVERIFY2(contents[i].size() + contents[i + 1].indexOf('\n') + 1 > limit, qPrintable(paths[i]));
    }
    const JournalRead read = store.read();
    QCOMPARE(read.notes, QStringList());
    QCOMPARE(whats(read.records), written);
}

void tst_journal_store::damagedLinesSkippedWithANote_data()
{
    QTest::addColumn<QString>("file");     // where the damaged content goes
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("appended"); // a record appended after it; empty for none
    QTest::addColumn<QStringList>("kept");
    QTest::addColumn<QStringList>("notes");
    const QString current = QStringLiteral("journal.jsonl");
    const QStringList ac{"A", "C"};
    const QByteArray a = good("A");
    const QByteArray c = good("C");
    QTest::newRow("JSON cut in the middle") << current << a + R"({"at":"2025-03-01T10:00:00+03:00","what":"B")" "\n" + c
                                            << "" << ac << QStringList{"journal.jsonl, строка 2: не JSON"};
    QTest::newRow("no time") << current << a + R"({"what":"B"})" "\n" + c << "" << ac
                             << QStringList{"journal.jsonl, строка 2: нет времени записи"};
    QTest::newRow("a time that is none") << current << a + R"({"at":"вчера","what":"B"})" "\n" + c << "" << ac
                                         << QStringList{"строка 2: нет времени записи"};
    QTest::newRow("address of another type")
        << current << a + R"({"at":"2025-03-01T10:00:00+03:00","address":"1"})" "\n" + c << "" << ac
        << QStringList{"строка 2: адрес не число"};
    QTest::newRow("a change that is no object")
        << current << a + R"({"at":"2025-03-01T10:00:00+03:00","changes":[1]})" "\n" + c << "" << ac
        << QStringList{"строка 2: изменение не объект"};
    QTest::newRow("binary") << current << a + QByteArray("\xff\xfe\0x", 4) + "\n" + c << "" << ac
                            << QStringList{"строка 2: не JSON"};
    QTest::newRow("blank lines are no damage") << current << a + "\n\r\n" + c << "" << ac << QStringList();
    QTest::newRow("last line cut") << current << a + c + good("D").left(30) << "" << ac
                                   << QStringList{"journal.jsonl, строка 3: строка не дописана"};
    // The power went during a write: the next record starts a line of its own.
    QTest::newRow("record appended after a cut line")
        << current << a + c + good("D").left(30) << "E" << QStringList{"A", "C", "E"}
        << QStringList{"journal.jsonl, строка 3: не JSON"};
    QTest::newRow("in a closed file, read before the current one")
        << "journal-20250301-070000.jsonl" << a + "{\n" + c << "E" << QStringList{"A", "C", "E"}
        << QStringList{"journal-20250301-070000.jsonl, строка 2: не JSON"};
}

void tst_journal_store::damagedLinesSkippedWithANote()
{
    QFETCH(QString, file);
    QFETCH(QByteArray, content);
    QFETCH(QString, appended);
    QFETCH(QStringList, kept);
    QFETCH(QStringList, notes);
    QTemporaryDir dir;
    QVERIFY(writeFile(dir.filePath(file), content));
    JournalStore store(dir.path());
    if (!appended.isEmpty())
        QVERIFY(store.append(rec(appended)));
    const JournalRead read = store.read();
    QCOMPARE(whats(read.records), kept);
    QCOMPARE(read.notes.size(), notes.size());
    for (int i = 0; i < notes.size(); ++i)
        QVERIFY2(read.notes[i].contains(notes[i]) && read.notes[i].endsWith(QStringLiteral("строка пропущена")),
                 qPrintable(read.notes[i]));
    // Nothing was rewritten.
    QFile again(dir.filePath(file));
    QVERIFY(again.open(QIODevice::ReadOnly));
    QVERIFY(again.readAll().startsWith(content));
}

void tst_journal_store::filter_data()
{
    QTest::addColumn<JournalFilter>("filter");
    QTest::addColumn<QStringList>("shown");
    const QStringList all{"Канал измерения 1", "Перо: Вверх", "Сеть"};
    QTest::newRow("nothing asked") << JournalFilter{} << all;
    QTest::newRow("serial") << JournalFilter{"001234", {}, {}, {}} << QStringList{all[0]};
    QTest::newRow("serial with spaces") << JournalFilter{" 001234 ", {}, {}, {}} << QStringList{all[0]};
    QTest::newRow("part of a serial is none") << JournalFilter{"1234", {}, {}, {}} << QStringList();
    QTest::newRow("since, inclusive") << JournalFilter{{}, QDate(2025, 3, 2), {}, {}} << all.mid(1);
    // 23:59:59 and 00:00:00 at +03:00 are both on 1 March in UTC.
    QTest::newRow("until, inclusive, by the record's own clock")
        << JournalFilter{{}, {}, QDate(2025, 3, 1), {}} << QStringList{all[0]};
    QTest::newRow("since and until") << JournalFilter{{}, QDate(2025, 3, 2), QDate(2025, 3, 4), {}}
                                     << QStringList{all[1]};
    QTest::newRow("text in a change, case ignored") << JournalFilter{{}, {}, {}, "впи"} << QStringList{all[0]};
    QTest::newRow("text in the outcome") << JournalFilter{{}, {}, {}, "НЕТ ОТВЕТА"} << QStringList{all[1]};
    QTest::newRow("text in the link") << JournalFilter{{}, {}, {}, "10.0.0.5"} << QStringList{all[1]};
    QTest::newRow("text in the user") << JournalFilter{{}, {}, {}, "ivan"} << QStringList{all[0], all[2]};
    QTest::newRow("text in the serial") << JournalFilter{{}, {}, {}, "777"} << QStringList{all[1]};
    QTest::newRow("serial and text") << JournalFilter{"001234", {}, {}, "перо"} << QStringList();
}

void tst_journal_store::filter()
{
    QFETCH(JournalFilter, filter);
    QFETCH(QStringList, shown);
    JournalRecord a = rec(QStringLiteral("Канал измерения 1"), QStringLiteral("001234"), moscow(1, 23, 59, 59));
    a.changes = {{QStringLiteral("Канал измерения 1 / ВПИ"), QStringLiteral("100.000"), QStringLiteral("250.000")}};
    JournalRecord b = rec(QStringLiteral("Перо: Вверх"), QStringLiteral("000777"), moscow(2, 0));
    b.user = QStringLiteral("petr");
    b.link = QStringLiteral("Ethernet, 10.0.0.5:502, Modbus TCP");
    b.outcome = QStringLiteral("Нет связи с прибором: нет ответа");
    const JournalRecord c = rec(QStringLiteral("Сеть"), QString(), moscow(5, 12));
    QCOMPARE(whats(filtered({a, b, c}, filter)), shown);
}

void tst_journal_store::dates_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QDate>("date");
    QTest::newRow("dd.MM.yyyy") << "01.03.2025" << true << QDate(2025, 3, 1);
    QTest::newRow("without zeros") << " 1.3.2025 " << true << QDate(2025, 3, 1);
    QTest::newRow("ISO") << "2025-03-01" << true << QDate(2025, 3, 1);
    QTest::newRow("empty: no limit") << "" << true << QDate();
    QTest::newRow("month 13") << "2025-13-01" << false << QDate();
    QTest::newRow("31 February") << "31.02.2025" << false << QDate();
    QTest::newRow("a word") << "вчера" << false << QDate();
}

void tst_journal_store::dates()
{
    QFETCH(QString, text);
    QFETCH(bool, accepted);
    QFETCH(QDate, date);
    QDate got(2000, 1, 1);
    QCOMPARE(parseJournalDate(text, &got), accepted);
    QCOMPARE(got, date);
}

void tst_journal_store::csvForASpreadsheet_data()
{
    QTest::addColumn<JournalRecord>("record");
    QTest::addColumn<QByteArray>("row");
    JournalRecord plain = rec(QStringLiteral("Сеть"));
    plain.changes = {{QStringLiteral("Сеть / Адрес"), QString(), QStringLiteral("7")}};
    QTest::newRow("plain") << plain
                           << QByteArray("01.03.2025 10:00:00;ivan;RS-485, /dev/ttyUSB0, 115200 бит/с;1;001234;Сеть;"
                                         "Сеть / Адрес: 7;записано и проверено\r\n");
    JournalRecord two = rec(QStringLiteral("Канал 1"), QString());
    two.address = 0;
    two.changes = {{QStringLiteral("ВПИ"), QStringLiteral("1"), QStringLiteral("2")},
                   {QStringLiteral("НПИ"), QStringLiteral("0"), QStringLiteral("-1")}};
    QTest::newRow("changes joined by ';', no address, no serial")
        << two << QByteArray("01.03.2025 10:00:00;ivan;RS-485, /dev/ttyUSB0, 115200 бит/с;;;Канал 1;"
                             "\"ВПИ: 1 -> 2; НПИ: 0 -> -1\";записано и проверено\r\n");
    JournalRecord quoted = rec(QStringLiteral("Перо: \"Вверх\"\nещё"));
    quoted.outcome = QStringLiteral("нет\rответа");
    QTest::newRow("quotes and line breaks") << quoted
                                            << QByteArray("01.03.2025 10:00:00;ivan;RS-485, /dev/ttyUSB0, 115200 бит/с;1;"
                                                          "001234;\"Перо: \"\"Вверх\"\"\nещё\";;\"нет\rответа\"\r\n");
}

void tst_journal_store::csvForASpreadsheet()
{
    QFETCH(JournalRecord, record);
    QFETCH(QByteArray, row);
    const QByteArray header("\xEF\xBB\xBF"
                            "Время;Пользователь;Связь;Адрес;Заводской номер;Что записано;Изменения;Итог\r\n");
    QCOMPARE(journalCsv({record}), header + row);
    QCOMPARE(journalCsv({record, record}), header + row + row);
}

void tst_journal_store::unwritableFolderRefusesFirst_data()
{
    QTest::addColumn<QString>("folder"); // relative: in the test's own folder
    QTest::addColumn<QString>("message");
    // None of these depends on permissions, which do not stop root.
    QTest::newRow("a file where the folder goes") << "blocker/journal" << "папка не создана";
    QTest::newRow("a system folder") << "/proc/vexs-journal" << "папка не создана";
    QTest::newRow("a folder where the file goes") << "taken" << "";
    QTest::newRow("no folder at all") << "" << "Нет папки для журнала записи";
}

void tst_journal_store::unwritableFolderRefusesFirst()
{
    QFETCH(QString, folder);
    QFETCH(QString, message);
    QTemporaryDir dir;
    QVERIFY(writeFile(dir.filePath(QStringLiteral("blocker")), "x"));
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("taken/journal.jsonl")));
    if (!folder.isEmpty() && !folder.startsWith(QLatin1Char('/')))
        folder = dir.filePath(folder);
    FileWriteJournal journal(folder);
    QString error;
    QVERIFY(!journal.ready(&error));
    if (!folder.isEmpty())
        QVERIFY2(error.startsWith(QStringLiteral("В папку журнала записи «%1» нельзя записать: ")
                                      .arg(QDir::toNativeSeparators(folder))),
                 qPrintable(error));
    QVERIFY2(error.contains(message), qPrintable(error));
    QString appendError;
    QVERIFY(!journal.record(rec(QStringLiteral("Сеть")), &appendError));
    QVERIFY(appendError.startsWith(QStringLiteral("Запись не внесена в журнал")));
}

void tst_journal_store::journalStampsWhatTheCallerLeft_data()
{
    QTest::addColumn<QString>("serial"); // the caller's
    QTest::addColumn<int>("address");
    QTest::addColumn<QString>("keptSerial");
    QTest::addColumn<int>("keptAddress");
    QTest::newRow("all from the stamp") << "" << 0 << "000777" << 5;
    QTest::newRow("the caller's serial wins") << "001234" << 0 << "001234" << 5;
    QTest::newRow("the caller's address wins") << "" << 9 << "000777" << 9;
}

void tst_journal_store::journalStampsWhatTheCallerLeft()
{
    QFETCH(QString, serial);
    QFETCH(int, address);
    QFETCH(QString, keptSerial);
    QFETCH(int, keptAddress);
    QTemporaryDir dir;
    FileWriteJournal journal(dir.path(), [] {
        JournalRecord s;
        s.link = QStringLiteral("Ethernet, 10.0.0.5:502, Modbus TCP");
        s.address = 5;
        s.serial = QStringLiteral("000777");
        return s;
    });
    JournalRecord entry;
    entry.serial = serial;
    entry.address = address;
    entry.what = QStringLiteral("Перо: Вверх");
    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    QVERIFY(journal.ready(nullptr));
    QVERIFY(journal.record(entry));
    const JournalRead read = JournalStore(dir.path()).read();
    QCOMPARE(read.records.size(), 1);
    const JournalRecord &kept = read.records[0];
    QCOMPARE(kept.serial, keptSerial);
    QCOMPARE(kept.address, keptAddress);
    QCOMPARE(kept.link, QStringLiteral("Ethernet, 10.0.0.5:502, Modbus TCP"));
    QCOMPARE(kept.user, currentLogin());
    QVERIFY(!kept.user.isEmpty());
    QVERIFY(kept.at >= before && kept.at <= QDateTime::currentDateTime().addSecs(1));
    QCOMPARE(kept.at.offsetFromUtc(), QDateTime::currentDateTime().offsetFromUtc());
}

QTEST_GUILESS_MAIN(tst_journal_store)
#include "tst_journal_store.moc"
