// The settings blocks: a record is decoded onto its page's controls, encoded
// back, and the result must survive another decode and encode unchanged.
//
// Octet 0 picks the block and the item. The rest is the record, or, when it
// is a whole settings image, the image the record is cut from.
#include "fuzz/fuzz_check.h"
#include "settings/record_layout.h"
#include "settings/settings_image.h"
#include "settings/value_controls.h"

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

// Decodes onto the controls, held as the window holds them, and encodes
// again. The controls are made once: a decode sets every one of the item
// that the encode reads.
EncodeResult roundTrip(const Item &it, const QByteArray &record)
{
    static ValueControls pages(ValueControls::Holding::AsTheWindow);
    decodeRecord(pages, *it.block, it.item, record);
    return encodeRecord(pages, *it.block, it.item, QString(), record);
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
