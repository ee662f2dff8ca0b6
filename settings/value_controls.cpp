#include "settings/value_controls.h"

#include "settings/identification.h"
#include "settings/record_layout.h"

#include <algorithm>
#include <stdexcept>

namespace vexs {

namespace {

constexpr int kGridColumns = 3;
constexpr int kGridRows = kTablePoints + 1;

} // namespace

ValueControls::ValueControls(Holding holding) : m_holding(holding)
{
    for (const BlockLayout *block : settingsBlocks()) {
        for (int item = 1; item <= block->recordCount; ++item) {
            for (const Field &f : block->fields) {
                const QString name = block->controlName(f.prefix, item);
                switch (f.kind) {
                case FieldKind::Switch:
                case FieldKind::Selection:
                    m_lists.insert(name, List{listItems(*block, f.prefix, item), 0});
                    break;
                case FieldKind::NibblePair:
                    m_lists.insert(name, List{listItems(*block, f.prefix, item), 0});
                    m_lists.insert(block->controlName(f.prefix2, item),
                                   List{listItems(*block, f.prefix2, item), 0});
                    break;
                case FieldKind::Spinner:
                    m_spinners.insert(name, holding == Holding::AsTheWindow
                                                ? Spinner{f.min, f.max, f.min}
                                                : Spinner{0, 255, 0});
                    break;
                case FieldKind::Real:
                case FieldKind::Text:
                    m_texts.insert(name, QString());
                    break;
                case FieldKind::PointsX:
                case FieldKind::PointsY:
                    m_grids.insert(name, Cells());
                    break;
                case FieldKind::Reserved:
                    break;
                }
            }
        }
    }
    for (const LabelCaption &l : messageLabels())
        m_texts.insert(QString::fromLatin1(l.name), QString::fromUtf8(l.caption));
    // The identification page's, for its decoder.
    m_dates.insert(QString::fromLatin1(ident::DateEdit), QDate());
    m_texts.insert(QString::fromLatin1(ident::SerialEdit), QString());
    for (const char *version : {ident::VerProc, ident::VerInd, ident::VerDac})
        m_texts.insert(QString::fromLatin1(version), QString());
    for (int i = 0; i < ident::kKitOptions; ++i)
        m_lists.insert(QString::fromLatin1(ident::KitList) + QString::number(i + 1),
                       List{ident::kitItems(i), 0});
}

void ValueControls::missing(const QString &name)
{
    throw MissingControl(name);
}

void ValueControls::requireKnown(const QString &name) const
{
    if (!m_lists.contains(name) && !m_texts.contains(name) && !m_spinners.contains(name)
        && !m_grids.contains(name) && !m_dates.contains(name))
        missing(name);
}

const ValueControls::List &ValueControls::list(const QString &name) const
{
    const auto it = m_lists.constFind(name);
    if (it == m_lists.constEnd())
        missing(name);
    return *it;
}

int ValueControls::itemIndex(const QString &name) const
{
    return list(name).index;
}

void ValueControls::setItemIndex(const QString &name, int index)
{
    const auto it = m_lists.find(name);
    if (it == m_lists.end())
        missing(name);
    List &l = *it;
    const bool shown = index >= 0 && index < l.items.size();
    l.index = m_holding == Holding::AsTheWindow && !shown ? -1 : index;
}

int ValueControls::itemCount(const QString &name) const
{
    return int(list(name).items.size());
}

QString ValueControls::itemText(const QString &name, int index) const
{
    const List &l = list(name);
    if (index < 0 || index >= l.items.size())
        throw std::out_of_range(("no item " + QString::number(index) + " in " + name).toStdString());
    return l.items.at(index);
}

void ValueControls::setItemText(const QString &name, int index, const QString &text)
{
    itemText(name, index);
    m_lists[name].items[index] = text;
}

QString ValueControls::text(const QString &name) const
{
    const auto it = m_texts.constFind(name);
    if (it == m_texts.constEnd())
        missing(name);
    return *it;
}

void ValueControls::setText(const QString &name, const QString &text)
{
    auto it = m_texts.find(name);
    if (it == m_texts.end())
        missing(name);
    *it = text;
}

int ValueControls::position(const QString &name) const
{
    const auto it = m_spinners.constFind(name);
    if (it == m_spinners.constEnd())
        missing(name);
    return it->position;
}

void ValueControls::setPosition(const QString &name, int position)
{
    auto it = m_spinners.find(name);
    if (it == m_spinners.end())
        missing(name);
    it->position = std::clamp(position, it->min, it->max);
}

int ValueControls::cellKey(const QString &grid, int column, int row)
{
    if (column < 0 || column >= kGridColumns || row < 0 || row >= kGridRows) {
        throw std::out_of_range(("no cell (" + QString::number(column) + ", " + QString::number(row)
                                 + ") in " + grid)
                                    .toStdString());
    }
    return row * kGridColumns + column;
}

QString ValueControls::cell(const QString &grid, int column, int row) const
{
    const auto it = m_grids.constFind(grid);
    if (it == m_grids.constEnd())
        missing(grid);
    return it->value(cellKey(grid, column, row));
}

void ValueControls::setCell(const QString &grid, int column, int row, const QString &text)
{
    auto it = m_grids.find(grid);
    if (it == m_grids.end())
        missing(grid);
    it->insert(cellKey(grid, column, row), text);
}

int ValueControls::rowCount(const QString &grid) const
{
    if (!m_grids.contains(grid))
        missing(grid);
    return kGridRows;
}

QDate ValueControls::date(const QString &name) const
{
    const auto it = m_dates.constFind(name);
    if (it == m_dates.constEnd())
        missing(name);
    return *it;
}

void ValueControls::setDate(const QString &name, const QDate &date)
{
    auto it = m_dates.find(name);
    if (it == m_dates.end())
        missing(name);
    *it = date;
}

bool ValueControls::isShown(const QString &name) const
{
    requireKnown(name);
    return true;
}

void ValueControls::setShown(const QString &name, bool)
{
    requireKnown(name);
}

void ValueControls::setHint(const QString &name, const QString &)
{
    requireKnown(name);
}

QString ValueControls::hint(const QString &name) const
{
    requireKnown(name);
    return QString();
}

void ValueControls::setBackground(const QString &name, const QColor &)
{
    requireKnown(name);
}

QColor ValueControls::background(const QString &name) const
{
    requireKnown(name);
    return QColor();
}

} // namespace vexs
