#pragma once

#include <QAbstractTableModel>

namespace zel {

class TDBGrid;

// The rows of a grid's dataset as a table model. Nothing is copied: every
// cell is read from the dataset when the view asks for it, with the row made
// the dataset's active record so that OnGetText and display formats apply.
// The row and column counts change only through resets and the row signals.
class TDBGridModel : public QAbstractTableModel {
public:
    explicit TDBGridModel(TDBGrid* grid);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

    // Re-reads the counts: a reset when they changed, else a repaint of every cell.
    void Refresh(bool forceReset = false);
    void RowChanged(int row);
    void CurrentRowChanged(int oldRow, int newRow);
    // The text of a cell as shown, and as edited.
    QString CellText(int row, int column, bool display) const;

private:
    int countRows() const;
    bool valid(const QModelIndex& index) const;
    TDBGrid* grid_;
    int rows_ = 0;
    int columns_ = 0;
};

} // namespace zel
