#include "settings/record_layout.h"

#include "settings/encodings.h"
#include "ui/controls.h"
#include "ui/texts.h"

#include <algorithm>
#include <initializer_list>
#include <stdexcept>

namespace vexs {

namespace {

bool inRange(const Field &f, const std::optional<ByteRange> &range)
{
    if (!range)
        return true;
    const int end = f.offset + f.width;
    if (f.offset >= range->begin && end <= range->end)
        return true;
    if (end <= range->begin || f.offset >= range->end)
        return false;
    throw std::invalid_argument("byte range cuts a field");
}

void checkItem(const BlockLayout &block, int item)
{
    if (item < 1 || item > block.recordCount)
        throw std::invalid_argument("item number outside the block");
}

int requiredSize(const BlockLayout &block, const std::optional<ByteRange> &range)
{
    if (!range)
        return block.recordSize;
    if (range->begin < 0 || range->begin > range->end || range->end > block.recordSize)
        throw std::invalid_argument("byte range outside the record");
    return range->end;
}

int pointCount(const IControls &controls, const QString &spinnerName)
{
    return std::clamp(controls.position(spinnerName), 0, kTablePoints);
}

int gridColumn(FieldKind kind)
{
    return kind == FieldKind::PointsX ? 1 : 2;
}

quint8 byteAt(const QByteArray &record, int offset)
{
    return static_cast<quint8>(record.at(offset));
}

QString fieldName(const IControls &controls, const Field &f)
{
    return f.label.isEmpty() ? f.caption : controls.text(f.label);
}

QString invalidValueMessage(const IControls &controls, const Field &f, const QString &prefix)
{
    // Captions run straight into ".Неверное значение"; fixed names take a blank.
    if (f.label.isEmpty())
        return prefix + f.caption + QStringLiteral(" Неверное значение");
    return prefix + controls.text(f.label) + QStringLiteral(".Неверное значение");
}

QString signedNumber(float v)
{
    const QString digits = QString::number(static_cast<double>(v));
    return v > 0 ? QLatin1Char('+') + digits : digits;
}

} // namespace

int BlockLayout::recordOffset(int item) const
{
    return imageOffset + recordSize * (item - 1);
}

int BlockLayout::firstRegister(int item) const
{
    return recordOffset(item) / 2;
}

QString BlockLayout::controlName(const QString &prefix, int item) const
{
    return numbered ? composedName(prefix, item) : prefix;
}




void decodeRecord(IControls &controls, const BlockLayout &block, int item, const QByteArray &record,
                  std::optional<ByteRange> range)
{
    checkItem(block, item);
    if (record.size() < requiredSize(block, range))
        throw std::invalid_argument("record shorter than its layout");

    for (const Field &f : block.fields) {
        if (!inRange(f, range))
            continue;
        const QString name = block.controlName(f.prefix, item);
        switch (f.kind) {
        case FieldKind::Switch:
        case FieldKind::Selection:
            controls.setItemIndex(name, byteAt(record, f.offset));
            break;
        case FieldKind::NibblePair: {
            const quint8 b = byteAt(record, f.offset);
            controls.setItemIndex(name, b & 0x0F);
            controls.setItemIndex(block.controlName(f.prefix2, item), b >> 4);
            break;
        }
        case FieldKind::Spinner:
            controls.setPosition(name, byteAt(record, f.offset));
            break;
        case FieldKind::Real: {
            const float v = readFloat(record, f.offset);
            controls.setRealText(name, formatReal(v), v);
            break;
        }
        case FieldKind::Text:
            controls.setText(name, decodeTextField(record.mid(f.offset, f.width), f.width, f.pad));
            break;
        case FieldKind::Reserved:
            break;
        case FieldKind::PointsX:
        case FieldKind::PointsY: {
            // The spinner keeps its own range; the table shows what it reports.
            const int n = pointCount(controls, block.controlName(f.prefix2, item));
            for (int row = 1; row <= n; ++row) {
                const float v = readFloat(record, f.offset + 4 * (row - 1));
                controls.setRealCell(name, gridColumn(f.kind), row, formatReal(v), v);
            }
            break;
        }
        }
    }
}

EncodeResult encodeRecord(const IControls &controls, const BlockLayout &block, int item,
                          const QString &messagePrefix, QByteArray base,
                          std::optional<ByteRange> range)
{
    checkItem(block, item);
    requiredSize(block, range);
    if (base.isEmpty())
        base = QByteArray(block.recordSize, '\0');
    else if (base.size() != block.recordSize)
        throw std::invalid_argument("base record of the wrong size");

    QByteArray &record = base;
    auto fail = [](QString message) { return EncodeResult{QByteArray(), std::move(message)}; };

    for (const Field &f : block.fields) {
        if (!inRange(f, range))
            continue;
        const QString name = block.controlName(f.prefix, item);
        switch (f.kind) {
        case FieldKind::Switch:
        case FieldKind::Selection:
            // No selection (-1) goes out as 0xFF.
            record[f.offset] = static_cast<char>(controls.itemIndex(name) & 0xFF);
            break;
        case FieldKind::NibblePair: {
            const int low = controls.itemIndex(name);
            const int high = controls.itemIndex(block.controlName(f.prefix2, item));
            // low + 16 x high, low 8 bits. With only one half unselected
            // (-1) that sum would borrow from the other half and change a
            // colour the page shows, so each half then keeps to its bits.
            const bool oneMissing = (low < 0) != (high < 0);
            record[f.offset] = static_cast<char>(oneMissing ? (low & 0x0F) | ((high & 0x0F) << 4)
                                                            : (low + 16 * high) & 0xFF);
            break;
        }
        case FieldKind::Spinner:
            record[f.offset] = static_cast<char>(controls.position(name) & 0xFF);
            break;
        case FieldKind::Real: {
            const auto value = parseReal(controls.text(name));
            if (!value)
                return fail(invalidValueMessage(controls, f, messagePrefix));
            if (f.range && (*value < f.range->min || *value > f.range->max)) {
                return fail(messagePrefix + fieldName(controls, f)
                            + QStringLiteral(". Значение должно быть от ") + signedNumber(f.range->min)
                            + QStringLiteral(" до ") + signedNumber(f.range->max));
            }
            // Checked as shown; an unedited value goes back as the device sent it.
            writeFloat(record, f.offset, controls.exactReal(name).value_or(*value));
            break;
        }
        case FieldKind::Text: {
            const QString value = controls.text(name);
            const auto bytes = encodeTextField(value, f.width, f.pad);
            if (!bytes) {
                return fail(messagePrefix + fieldName(controls, f) + QStringLiteral(": символ «")
                            + firstCharacterNotInCp1251(value)
                            + QStringLiteral("» нельзя передать в прибор"));
            }
            record.replace(f.offset, f.width, *bytes);
            break;
        }
        case FieldKind::Reserved:
            break;
        case FieldKind::PointsX:
        case FieldKind::PointsY: {
            // Points past the count go out as 0.0 whatever the grid still holds.
            const int n = pointCount(controls, block.controlName(f.prefix2, item));
            const QString axis = f.kind == FieldKind::PointsX ? QStringLiteral("X") : QStringLiteral("Y");
            for (int row = 1; row <= kTablePoints; ++row) {
                float v = 0.0f;
                if (row <= n) {
                    const int column = gridColumn(f.kind);
                    const auto parsed = parseReal(controls.cell(name, column, row));
                    if (!parsed) {
                        return fail(messagePrefix + QStringLiteral("Неверное значение ") + axis
                                    + QStringLiteral(" в строке ") + QString::number(row));
                    }
                    v = controls.exactCell(name, column, row).value_or(*parsed);
                }
                writeFloat(record, f.offset + 4 * (row - 1), v);
            }
            break;
        }
        }
    }
    return EncodeResult{record, QString()};
}

} // namespace vexs
