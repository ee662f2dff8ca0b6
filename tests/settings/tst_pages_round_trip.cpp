// Random settings images filled onto the real pages and encoded back from
// them give the same bytes: every control that the layouts name exists with
// the kind, list length and range the bytes need. Bytes a control cannot
// hold come back as the pages must write them (0xFF for a list without a
// selection).
#include "settings/encodings.h"
#include "settings/image_fill.h"
#include "settings/record_layout.h"
#include "settings/settings_image.h"
#include "ui/controls.h"
#include "ui/page_context.h"
#include "tests/support/window_fixture.h"

#include <QRandomGenerator>
#include <QTest>

#include <cmath>
#include <cstring>

using namespace vexs;
using namespace vexs::test;

namespace {

// A record the controls can hold exactly: list bytes inside their lists,
// spinners inside their ranges, texts ending at their pad byte. Reals have
// at most three decimals, or with `fine` any number of digits (edits show
// them rounded, and must still write back what came).
QByteArray randomRecord(IControls &c, const BlockLayout &block, int item, QRandomGenerator &rng,
                        bool fine)
{
    // Any digits, at magnitudes from 1e-4 to 1e8.
    auto fineReal = [&rng] {
        return float((rng.generateDouble() - 0.5) * std::pow(10.0, int(rng.bounded(13)) - 4));
    };
    QByteArray r(block.recordSize, '\0');
    auto listByte = [&](const QString &prefix) {
        return char(rng.bounded(c.itemCount(block.controlName(prefix, item))));
    };
    int points = 1;
    for (const Field &f : block.fields) {
        switch (f.kind) {
        case FieldKind::Switch:
        case FieldKind::Selection:
            r[f.offset] = listByte(f.prefix);
            break;
        case FieldKind::NibblePair:
            r[f.offset] = char(quint8(listByte(f.prefix)) + 16 * quint8(listByte(f.prefix2)));
            break;
        case FieldKind::Spinner: {
            const bool count = f.prefix.startsWith(QLatin1String("UpDownMatCanKolCoeff"));
            const int v = count ? 1 + int(rng.bounded(32)) : 1 + int(rng.bounded(255));
            if (count)
                points = v;
            r[f.offset] = char(v);
            break;
        }
        case FieldKind::Real:
            if (fine && f.range)
                writeFloat(r, f.offset, float(f.range->min + rng.generateDouble() * (f.range->max - f.range->min)));
            else if (fine)
                writeFloat(r, f.offset, fineReal());
            else if (f.range) // eighths inside the range
                writeFloat(r, f.offset,
                           f.range->min + float(rng.bounded(int(8 * (f.range->max - f.range->min)) + 1)) / 8.0f);
            else
                writeFloat(r, f.offset, float(int(rng.bounded(15999)) - 7999) / 8.0f); // 6 digits
            break;
        case FieldKind::PointsX:
        case FieldKind::PointsY:
            for (int i = 0; i < points; ++i)
                writeFloat(r, f.offset + 4 * i,
                           fine ? fineReal() : float(int(rng.bounded(20001)) - 10000) / 4.0f);
            break;
        case FieldKind::Text: {
            // Network texts as their masked edits hold them: four groups of
            // three digits, or four digits for the port.
            const bool network = f.pad == 0x13;
            const int len = network ? (f.width == 16 ? 15 : 4) : int(rng.bounded(f.width + 1));
            for (int i = 0; i < f.width; ++i) {
                if (i < len && network)
                    r[f.offset + i] = i % 4 == 3 && f.width == 16 ? '.' : char('0' + rng.bounded(10));
                else if (i < len)
                    r[f.offset + i] = char(0x21 + rng.bounded(0xDE)); // 0x21..0xFE
                else
                    r[f.offset + i] = f.pad;
            }
            if (QByteArray(1, r[f.offset + std::min(len, f.width - 1)]) == "\x98")
                r[f.offset + std::min(len, f.width - 1)] = 'x';
            break;
        }
        case FieldKind::Reserved:
            break;
        }
    }
    return r;
}

} // namespace

class tst_pages_round_trip : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia)); }
    void randomImages_data();
    void randomImages();
    void valuesOutsideLists();
};

void tst_pages_round_trip::randomImages_data()
{
    QTest::addColumn<quint32>("seed");
    QTest::addColumn<bool>("fine");
    for (quint32 seed : {1u, 2u, 3u, 42u, 1950u})
        QTest::addRow("seed %u", seed) << seed << false;
    for (quint32 seed : {7u, 8u})
        QTest::addRow("fine reals, seed %u", seed) << seed << true;
}

void tst_pages_round_trip::randomImages()
{
    QFETCH(quint32, seed);
    QFETCH(bool, fine);
    WindowFixture::Options o;
    o.sim = false;
    WindowFixture fx(o);
    IControls &c = fx.controls();
    QRandomGenerator rng(seed);

    QByteArray bytes(SettingsImage::Size, '\0');
    for (const BlockLayout *block : settingsBlocks()) {
        for (int item = 1; item <= block->recordCount; ++item) {
            const QByteArray record = randomRecord(c, *block, item, rng, fine);
            bytes.replace(block->imageOffset + (item - 1) * block->recordSize, record.size(), record);
        }
    }
    SettingsImage image;
    image.replaceAll(bytes);
    FillPagesFromImage(c, image);

    for (const BlockLayout *block : settingsBlocks()) {
        for (int item = 1; item <= block->recordCount; ++item) {
            const int at = block->imageOffset + (item - 1) * block->recordSize;
            QByteArray expected = bytes.mid(at, block->recordSize);
            // Texts come back padded after their end; nothing else changes.
            const EncodeResult got = encodeRecord(c, *block, item, QString());
            QVERIFY2(got.ok(), qPrintable(got.error));
            QVERIFY2(got.bytes == expected,
                     qPrintable(QStringLiteral("%1 %2:\n%3\n%4")
                                    .arg(block->name)
                                    .arg(item)
                                    .arg(QString::fromLatin1(expected.toHex(' ')))
                                    .arg(QString::fromLatin1(got.bytes.toHex(' ')))));
        }
    }

    // A text set again, even unchanged, is the value it shows.
    const QString edit = composedName(QStringLiteral("EditCanNPI"), 1);
    c.setText(edit, c.text(edit));
    const EncodeResult again = encodeRecord(c, measurementChannelLayout(), 1, QString());
    QCOMPARE(readFloat(again.bytes, 10), *parseReal(c.text(edit)));
}

void tst_pages_round_trip::valuesOutsideLists()
{
    WindowFixture::Options o;
    o.sim = false;
    WindowFixture fx(o);
    IControls &c = fx.controls();
    // Every list byte 0xFE: no list has that many items, so each comes back
    // as "no selection", 0xFF; spinners keep their nearest bound.
    QByteArray bytes(SettingsImage::Size, '\0');
    for (const BlockLayout *block : settingsBlocks()) {
        for (int item = 1; item <= block->recordCount; ++item) {
            const int at = block->imageOffset + (item - 1) * block->recordSize;
            for (const Field &f : block->fields) {
                if (f.kind == FieldKind::Switch || f.kind == FieldKind::Selection
                    || f.kind == FieldKind::NibblePair)
                    bytes[at + f.offset] = char(0xFE);
                if (f.kind == FieldKind::Spinner)
                    bytes[at + f.offset] = char(0);
            }
        }
    }
    SettingsImage image;
    image.replaceAll(bytes);
    FillPagesFromImage(c, image);
    for (const BlockLayout *block : settingsBlocks()) {
        for (int item = 1; item <= block->recordCount; ++item) {
            const EncodeResult got = encodeRecord(c, *block, item, QString());
            QVERIFY2(got.ok(), qPrintable(block->name + ": " + got.error));
            for (const Field &f : block->fields) {
                const quint8 b = quint8(got.bytes[f.offset]);
                if (f.kind == FieldKind::Switch || f.kind == FieldKind::Selection)
                    QCOMPARE(b, quint8(0xFF));
                if (f.kind == FieldKind::NibblePair) // 0xFF + 16 x 0xFF, low 8 bits
                    QCOMPARE(b, quint8(0xEF));
                if (f.kind == FieldKind::Spinner)
                    QCOMPARE(b, quint8(1));
            }
        }
    }
}

QTEST_MAIN(tst_pages_round_trip)
#include "tst_pages_round_trip.moc"
