// The settings blocks: a record is decoded onto its page's controls, encoded
// back, and the result must survive another decode and encode unchanged.
//
// Octet 0 picks the block and the item. The rest is the record, or, when it
// is a whole settings image, the image the record is cut from.
#include "fuzz/fuzz_check.h"
#include "settings/record_layout.h"
#include "settings/settings_image.h"
#include "tests/support/fake_controls.h"

#include <map>
#include <memory>
#include <stdexcept>

using namespace vexs;
using vexs::fuzz::check;

namespace {

struct Item
{
    const BlockLayout *block;
    int item;
};

QList<Item> allItems()
{
    QList<Item> items;
    for (const BlockLayout *block : settingsBlocks())
        for (int item = 1; item <= block->recordCount; ++item)
            items.append({block, item});
    return items;
}

// The plain controls, with the point tables kept as arrays: the tables are
// most of what a math channel's decode writes, and hashing every cell would
// make this target several times slower than it needs to be.
class PageControls : public FakeControls
{
public:
    void addTable(const QString &name, int columns, int rows)
    {
        m_tables.insert(name, {columns, rows, QList<QString>(columns * rows)});
    }
    bool hasTable(const QString &name) const { return m_tables.contains(name); }

    QString cell(const QString &grid, int column, int row) const override
    {
        const Table &t = table(grid, column, row);
        return t.cells[row * t.columns + column];
    }
    void setCell(const QString &grid, int column, int row, const QString &text) override
    {
        Table &t = const_cast<Table &>(table(grid, column, row));
        t.cells[row * t.columns + column] = text;
    }
    int rowCount(const QString &grid) const override { return table(grid, 0, 0).rows; }

private:
    struct Table
    {
        int columns = 0;
        int rows = 0;
        QList<QString> cells;
    };
    const Table &table(const QString &grid, int column, int row) const
    {
        // A decode writes one table row after row: look the name up once.
        if (!m_last || grid != m_lastName) {
            const auto it = m_tables.constFind(grid);
            if (it == m_tables.constEnd())
                throw MissingControl(grid);
            m_last = &*it;
            m_lastName = grid;
        }
        if (column < 0 || column >= m_last->columns || row < 0 || row >= m_last->rows)
            throw std::out_of_range("cell outside the table");
        return *m_last;
    }
    QHash<QString, Table> m_tables; // not changed after the first cell is used
    mutable const Table *m_last = nullptr;
    mutable QString m_lastName;
};

// The page's controls of one item, shaped as the pages build them.
void declare(PageControls &fc, const BlockLayout &b, int item)
{
    for (const Field &f : b.fields) {
        const QString name = b.controlName(f.prefix, item);
        switch (f.kind) {
        case FieldKind::Switch:
            fc.addList(name, 2);
            break;
        case FieldKind::Selection:
            fc.addList(name, 16);
            break;
        case FieldKind::NibblePair:
            fc.addList(name, 16);
            fc.addList(b.controlName(f.prefix2, item), 16);
            break;
        case FieldKind::Spinner:
            if (f.prefix == QLatin1String("UpDownMatCanKolCoeff"))
                fc.addSpinner(name, 1, kTablePoints, 1);
            else if (f.prefix == QLatin1String("UpDownRsAdr"))
                fc.addSpinner(name, 1, 255, 1);
            else
                fc.addSpinner(name, 0, 255, 0);
            break;
        case FieldKind::Real:
        case FieldKind::Text:
            fc.addText(name);
            break;
        case FieldKind::Reserved:
            break;
        case FieldKind::PointsX:
        case FieldKind::PointsY:
            if (!fc.hasTable(name))
                fc.addTable(name, 3, kTablePoints + 1);
            break;
        }
    }
    for (const LabelCaption &l : messageLabels()) {
        if (!fc.contains(QString::fromLatin1(l.name)))
            fc.addText(QString::fromLatin1(l.name), QString::fromUtf8(l.caption));
    }
}

// Decodes onto the item's controls and encodes again. The controls are made
// once per item: a decode sets every one that the encode reads.
EncodeResult roundTrip(const Item &it, const QByteArray &record)
{
    static std::map<std::pair<const BlockLayout *, int>, std::unique_ptr<PageControls>> pages;
    std::unique_ptr<PageControls> &page = pages[{it.block, it.item}];
    if (!page) {
        page = std::make_unique<PageControls>();
        declare(*page, *it.block, it.item);
    }
    decodeRecord(*page, *it.block, it.item, record);
    return encodeRecord(*page, *it.block, it.item, QString(), record);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    vexs::fuzz::useRussianNumbers();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *raw, size_t size)
{
    static const QList<Item> items = allItems();
    if (size < 1)
        return 0;
    const Item it = items[raw[0] % items.size()];
    const QByteArray rest = vexs::fuzz::bytesOf(raw + 1, size - 1);
    QByteArray record;
    if (rest.size() >= SettingsImage::Size) {
        SettingsImage image;
        image.replaceAll(rest.left(SettingsImage::Size));
        record = image.record(*it.block, it.item);
    } else {
        record = vexs::fuzz::fitted(rest, it.block->recordSize);
    }
    const EncodeResult first = roundTrip(it, record);
    if (!first.ok())
        return 0; // the page refuses to write what it shows; nothing to compare
    check(first.bytes.size() == it.block->recordSize);
    if (first.bytes == record)
        return 0; // already as the page writes it: another round gives the same
    const EncodeResult second = roundTrip(it, first.bytes);
    check(second.ok());
    check(second.bytes == first.bytes);
    return 0;
}
