#pragma once

// The settings pages' controls as plain values, for code that runs the
// record encoders and decoders without a window (configuration files, the
// command-line tool, tests). Every control the record layouts name exists,
// and the identification page's, with the lists' items from the layouts and
// the labels' captions that validation messages quote; any other name is a
// fault and throws MissingControl, as the window would.

#include "ui/controls.h"

#include <QHash>
#include <QStringList>

namespace vexs {

class ValueControls : public IControls
{
public:
    // How the controls hold what a record gives them.
    enum class Holding {
        // Unlike a drop-down, a list keeps an index outside its items (any
        // byte), so a record decoded and encoded again comes back unchanged;
        // spinners hold 0..255, the range of their byte. For files.
        EveryByte,
        // As the window's controls: a list given an index outside its items
        // shows none (reads back -1), a spinner clamps into its field's
        // range. For checking the encoders as the pages drive them.
        AsTheWindow,
    };

    // Lists at item 0, spinners at their least, texts and cells empty.
    explicit ValueControls(Holding holding = Holding::EveryByte);

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
        int index = 0;
    };
    // Columns 0..2 (number, X, Y), rows 0..32 (header and points).
    using Cells = QHash<int, QString>;
    struct Spinner
    {
        int min = 0;
        int max = 255;
        int position = 0;
    };

    const List &list(const QString &name) const;
    static int cellKey(const QString &grid, int column, int row);
    [[noreturn]] static void missing(const QString &name);
    void requireKnown(const QString &name) const;

    QHash<QString, List> m_lists;
    QHash<QString, QString> m_texts;
    QHash<QString, Spinner> m_spinners;
    Holding m_holding;
    QHash<QString, Cells> m_grids;
    QHash<QString, QDate> m_dates;
};

} // namespace vexs
