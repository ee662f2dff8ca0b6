#pragma once

#include "ui/controls.h"

#include <QHash>
#include <QStringList>

namespace vexs {

// IControls over plain maps, for tests without widgets. Every control is
// declared first with its kind and shape; any other name, or a name used as
// the wrong kind, throws MissingControl. Lists behave like drop-down lists
// (an index outside the list leaves no selection, read back as -1),
// spinners clamp into their range, grid cells outside the declared shape
// throw std::out_of_range.
class FakeControls : public IControls
{
public:
    // A list of `count` items named "0", "1", ...
    void addList(const QString &name, int count, int index = 0);
    void addList(const QString &name, const QStringList &items, int index = 0);
    // Edits, masked edits and labels.
    void addText(const QString &name, const QString &text = QString());
    void addSpinner(const QString &name, int minimum, int maximum, int position);
    // rows includes the header row 0.
    void addGrid(const QString &name, int columns, int rows);
    void addDate(const QString &name, const QDate &date = QDate());

    bool contains(const QString &name) const { return m_common.contains(name); }
    QStringList items(const QString &name) const;

    int itemIndex(const QString &name) const override;
    void setItemIndex(const QString &name, int index) override;
    int itemCount(const QString &name) const override;
    QString itemText(const QString &name, int index) const override;
    void setItemText(const QString &name, int index, const QString &text) override;
    QString text(const QString &name) const override;
    void setText(const QString &name, const QString &text) override;
    int position(const QString &name) const override;
    void setPosition(const QString &name, int position) override;
    QString cell(const QString &grid, int column, int row) const override;
    void setCell(const QString &grid, int column, int row, const QString &text) override;
    int rowCount(const QString &grid) const override;
    QDate date(const QString &name) const override;
    void setDate(const QString &name, const QDate &date) override;
    bool isShown(const QString &name) const override;
    void setShown(const QString &name, bool shown) override;
    void setHint(const QString &name, const QString &hint) override;
    QString hint(const QString &name) const override;
    void setBackground(const QString &name, const QColor &colour) override;
    QColor background(const QString &name) const override;

private:
    struct List
    {
        QStringList items;
        int index = -1;
    };
    struct Spinner
    {
        int minimum = 0;
        int maximum = 0;
        int position = 0;
    };
    struct Grid
    {
        int columns = 0;
        int rows = 0;
        QHash<QPair<int, int>, QString> cells;
    };
    struct Common
    {
        bool shown = true;
        QString hint;
        QColor background;
    };

    void declare(const QString &name);
    template <typename Map>
    static auto &find(Map &map, const QString &name)
    {
        auto it = map.find(name);
        if (it == map.end())
            throw MissingControl(name);
        return *it;
    }
    const Grid &gridCell(const QString &grid, int column, int row) const;

    QHash<QString, List> m_lists;
    QHash<QString, QString> m_texts;
    QHash<QString, Spinner> m_spinners;
    QHash<QString, Grid> m_grids;
    QHash<QString, QDate> m_dates;
    QHash<QString, Common> m_common;
};

} // namespace vexs
