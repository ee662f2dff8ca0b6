#pragma once

// The settings area (holding registers 0..771) described once, as data: every
// block, its records and the control that shows each field. Page reads and
// writes, the bulk read's fill and the tests all work from these tables, so a
// field's offset, kind and control name live in one place.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace vexs {

class IControls;

enum class FieldKind {
    Switch,     // 1 byte, item index of the list "Выкл", "Вкл"
    Selection,  // 1 byte, item index of a list (0xFF: no selection)
    Spinner,    // 1 byte, spinner position
    NibblePair, // 1 byte, first list in the low four bits, second in the high four
    Real,       // 4 bytes, IEEE single, least significant byte first
    Text,       // width bytes, Windows-1251, padded with the field's pad byte
    Reserved,   // no control; written as zeros (or the base record's bytes)
    PointsX,    // 32 reals: grid column 1, rows 1..N of the point count spinner
    PointsY,    // 32 reals: grid column 2, rows 1..N
};

struct RealRange
{
    float min;
    float max;
};

struct Field
{
    int offset = 0;
    int width = 1;
    FieldKind kind = FieldKind::Selection;
    // The control (for the point tables: the grid). In numbered blocks the
    // item number is appended.
    QString prefix;
    // Nibble pair: the list of the high four bits. Point tables: the spinner
    // that holds the number of points.
    QString prefix2;
    char pad = 0; // text fields
    // Messages name the field by the caption of this label, read when the
    // message is built, or, when there is no label, by `caption` below.
    QString label;
    std::optional<RealRange> range; // reals that must lie in a range
    // Lists: the items as the page first shows them, so that a file can name
    // a value by its text. The device's byte is the item index; a page may
    // later relabel a channel's item, the index stays. "%1" stands for the
    // record's item number. Nibble pairs: items2 is the list of the high bits.
    QStringList items;
    QStringList items2;
    // How a configuration file names the field and how a comparison captions
    // it; a nibble pair's high list has key2 and caption2. Empty for reserved
    // octets and the point columns (they go with their count).
    QString key;
    QString caption;
    QString key2;
    QString caption2;
    int min = 0;   // spinners: the range a file may give
    int max = 255;
    // Masked edits: Qt's input mask ('9' a digit, "…;_" the blank shown),
    // and the refusal of a text that does not fill it.
    QString inputMask;
    QString maskMessage;
};

struct BlockLayout
{
    QString name;
    int imageOffset = 0; // byte offset of record 1 in the settings image
    int recordSize = 0;
    int recordCount = 1;
    bool numbered = false; // control names take the item number
    QList<Field> fields;   // in the order the page's write validates them

    // Items are numbered from 1. The register map follows the image: a
    // record's first register is its image offset divided by two.
    int recordOffset(int item) const;
    int firstRegister(int item) const;
    int registerCount() const { return recordSize / 2; }
    QString controlName(const QString &prefix, int item) const;
};

// Byte offsets [begin, end) within a record; fields wholly inside are handled.
struct ByteRange
{
    int begin;
    int end;
};

inline constexpr int kTablePoints = 32;

// The display block is read and written in two groups with ranges of their own.
inline constexpr ByteRange kDisplayModeBytes{0, 6};     // registers 736..738
inline constexpr ByteRange kDisplayChannelBytes{6, 16}; // registers 739..743

const BlockLayout &measurementChannelLayout(); // 4 x 40 bytes from image byte 0
const BlockLayout &mathChannelLayout();        // 4 x 298 bytes from 160
const BlockLayout &outputLayout();             // 4 x 2 bytes from 1352
const BlockLayout &setpointLayout();           // 8 x 12 bytes from 1360
const BlockLayout &recordingLayout();          // 16 bytes from 1456
const BlockLayout &displayLayout();            // 16 bytes from 1472
const BlockLayout &networkLayout();            // 56 bytes from 1488

// All blocks in the order the pages are filled after a bulk read.
const QList<const BlockLayout *> &settingsBlocks();

// The items of list `control` (a field's prefix, or a nibble pair's prefix2)
// of record `item`, from the layout; pages build their lists from here.
// std::invalid_argument when the block has no such list.
QStringList listItems(const BlockLayout &block, const QString &control, int item = 1);

// Labels whose captions name fields in validation messages. The pages create
// them with these names and captions; the captions never change at run time.
namespace label {
inline constexpr const char *CanCorrXC = "StaticTextCanCorrXC";
inline constexpr const char *CanNPI = "StaticTextCanNPI";
inline constexpr const char *CanVPI = "StaticTextCanVPI";
inline constexpr const char *CanPopravka = "StaticTextCanPopravka";
inline constexpr const char *CanEd = "StaticTextCanEd";
inline constexpr const char *CanBarNPI = "StaticTextCanBarNPI";
inline constexpr const char *CanBarVPI = "StaticTextCanBarVPI";
inline constexpr const char *MatCanNPI = "StaticTextMatCanNPI";
inline constexpr const char *MatCanVPI = "StaticTextMatCanVPI";
inline constexpr const char *MatCanEd = "StaticTextMatCanEd";
inline constexpr const char *UstUst = "StaticTextUstUst";
inline constexpr const char *UstZona = "StaticTextUstZona";
inline constexpr const char *RegCorr = "StaticTextRegCorr";
} // namespace label

struct LabelCaption
{
    const char *name;
    const char *caption; // UTF-8
};
const QList<LabelCaption> &messageLabels();

// Sets the controls of item `item` from its record (indexed by record
// offsets; it must cover the fields handled). Lists take the byte as their
// item index unchecked, so an index past the end leaves no selection. The
// point tables fill rows 1..N, N read back from the spinner after it was set.
// Reals are shown rounded, with the exact value kept behind the text.
// A record too short or an item out of range is a programming fault and
// throws std::invalid_argument.
void decodeRecord(IControls &controls, const BlockLayout &block, int item,
                  const QByteArray &record, std::optional<ByteRange> range = std::nullopt);

struct EncodeResult
{
    QByteArray bytes; // the whole record, when ok
    QString error;    // the first validation message, else empty
    bool ok() const { return error.isEmpty(); }
};

// Builds item `item`'s record from the controls, validating fields in layout
// order and stopping at the first bad one. The record starts as `base` (zeros
// when empty); fields outside `range` and reserved fields keep the base's
// bytes. Messages start with messagePrefix ("Канал 2: ", or empty). A real
// is checked as its text reads; one still showing the text it was decoded
// with goes out as the exact value behind it.
EncodeResult encodeRecord(const IControls &controls, const BlockLayout &block, int item,
                          const QString &messagePrefix, QByteArray base = QByteArray(),
                          std::optional<ByteRange> range = std::nullopt);

} // namespace vexs
