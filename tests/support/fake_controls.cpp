#include "tests/support/fake_controls.h"

#include <algorithm>
#include <stdexcept>

namespace vexs {

void FakeControls::declare(const QString &name)
{
    if (m_common.contains(name))
        throw std::logic_error(("control declared twice: " + name).toStdString());
    m_common.insert(name, Common{});
}

void FakeControls::addList(const QString &name, int count, int index)
{
    QStringList items;
    for (int i = 0; i < count; ++i)
        items << QString::number(i);
    addList(name, items, index);
}

void FakeControls::addList(const QString &name, const QStringList &items, int index)
{
    declare(name);
    m_lists.insert(name, List{items, -1});
    setItemIndex(name, index);
}

void FakeControls::addText(const QString &name, const QString &text)
{
    declare(name);
    m_texts.insert(name, text);
}

void FakeControls::addSpinner(const QString &name, int minimum, int maximum, int position)
{
    declare(name);
    m_spinners.insert(name, Spinner{minimum, maximum, minimum});
    setPosition(name, position);
}

void FakeControls::addGrid(const QString &name, int columns, int rows)
{
    declare(name);
    m_grids.insert(name, Grid{columns, rows, {}});
}

void FakeControls::addDate(const QString &name, const QDate &date)
{
    declare(name);
    m_dates.insert(name, date);
}

QStringList FakeControls::items(const QString &name) const
{
    return find(m_lists, name).items;
}

int FakeControls::itemIndex(const QString &name) const
{
    return find(m_lists, name).index;
}

void FakeControls::setItemIndex(const QString &name, int index)
{
    List &list = find(m_lists, name);
    list.index = index >= 0 && index < list.items.size() ? index : -1;
}

int FakeControls::itemCount(const QString &name) const
{
    return int(find(m_lists, name).items.size());
}

QString FakeControls::itemText(const QString &name, int index) const
{
    const List &list = find(m_lists, name);
    if (index < 0 || index >= list.items.size())
        throw std::out_of_range(("no item " + QString::number(index) + " in " + name).toStdString());
    return list.items.at(index);
}

void FakeControls::setItemText(const QString &name, int index, const QString &text)
{
    List &list = find(m_lists, name);
    if (index < 0 || index >= list.items.size())
        throw std::out_of_range(("no item " + QString::number(index) + " in " + name).toStdString());
    list.items[index] = text;
}

QString FakeControls::text(const QString &name) const
{
    return find(m_texts, name);
}

void FakeControls::setText(const QString &name, const QString &text)
{
    find(m_texts, name) = text;
}

int FakeControls::position(const QString &name) const
{
    return find(m_spinners, name).position;
}

void FakeControls::setPosition(const QString &name, int position)
{
    Spinner &s = find(m_spinners, name);
    s.position = std::clamp(position, s.minimum, s.maximum);
}

const FakeControls::Grid &FakeControls::gridCell(const QString &grid, int column, int row) const
{
    const Grid &g = find(m_grids, grid);
    if (column < 0 || column >= g.columns || row < 0 || row >= g.rows) {
        throw std::out_of_range(("no cell (" + QString::number(column) + ", " + QString::number(row)
                                 + ") in " + grid)
                                    .toStdString());
    }
    return g;
}

QString FakeControls::cell(const QString &grid, int column, int row) const
{
    return gridCell(grid, column, row).cells.value({column, row});
}

void FakeControls::setCell(const QString &grid, int column, int row, const QString &text)
{
    gridCell(grid, column, row);
    m_grids[grid].cells.insert({column, row}, text);
}

int FakeControls::rowCount(const QString &grid) const
{
    return find(m_grids, grid).rows;
}

QDate FakeControls::date(const QString &name) const
{
    return find(m_dates, name);
}

void FakeControls::setDate(const QString &name, const QDate &date)
{
    find(m_dates, name) = date;
}

bool FakeControls::isShown(const QString &name) const
{
    return find(m_common, name).shown;
}

void FakeControls::setShown(const QString &name, bool shown)
{
    find(m_common, name).shown = shown;
}

void FakeControls::setHint(const QString &name, const QString &hint)
{
    find(m_common, name).hint = hint;
}

QString FakeControls::hint(const QString &name) const
{
    return find(m_common, name).hint;
}

void FakeControls::setBackground(const QString &name, const QColor &colour)
{
    find(m_common, name).background = colour;
}

QColor FakeControls::background(const QString &name) const
{
    return find(m_common, name).background;
}

} // namespace vexs
