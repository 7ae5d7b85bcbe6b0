#include "platform/widgets/DBGridModel.h"

#include "platform/data/DataSet.h"
#include "platform/data/Exceptions.h"
#include "platform/widgets/DBGrid.h"

#include <QBrush>

namespace zel {

TDBGridModel::TDBGridModel(TDBGrid* grid) : QAbstractTableModel(grid), grid_(grid) {}

bool TDBGridModel::valid(const QModelIndex& index) const
{
    return index.isValid() && index.model() == this && index.row() < rows_ && index.column() < columns_;
}

int TDBGridModel::countRows() const
{
    TDataSet* ds = grid_->DataSet();
    if (!ds || !ds->Active() || grid_->ShownColumnCount() == 0) return 0;
    return ds->RecordCount();
}

int TDBGridModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : rows_;
}

int TDBGridModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : columns_;
}

void TDBGridModel::Refresh(bool forceReset)
{
    const int rows = countRows();
    const int columns = grid_->ShownColumnCount();
    if (forceReset || rows != rows_ || columns != columns_) {
        beginResetModel();
        rows_ = rows;
        columns_ = columns;
        endResetModel();
        return;
    }
    if (rows_ > 0 && columns_ > 0) {
        // The view repaints what it shows; only the current row's indicator
        // can have changed in the header.
        emit dataChanged(index(0, 0), index(rows_ - 1, columns_ - 1));
        if (TDataSet* ds = grid_->DataSet(); ds && ds->CurrentRow() >= 0 && ds->CurrentRow() < rows_)
            emit headerDataChanged(Qt::Vertical, ds->CurrentRow(), ds->CurrentRow());
    }
}

void TDBGridModel::RowChanged(int row)
{
    if (row >= 0 && row < rows_ && columns_ > 0) emit dataChanged(index(row, 0), index(row, columns_ - 1));
}

void TDBGridModel::CurrentRowChanged(int oldRow, int newRow)
{
    if (oldRow >= 0 && oldRow < rows_) emit headerDataChanged(Qt::Vertical, oldRow, oldRow);
    if (newRow >= 0 && newRow < rows_) emit headerDataChanged(Qt::Vertical, newRow, newRow);
}

QString TDBGridModel::CellText(int row, int column, bool display) const
{
    TDataSet* ds = grid_->DataSet();
    TColumn* col = grid_->ShownColumn(column);
    if (!ds || !col || row < 0 || row >= rows_) return {};
    TField* f = col->Field();
    if (!f) return {};
    // A failing text handler must not break painting: the cell stays empty
    // and the grid reports the failure once the paint is over.
    try {
        TDataSet::ActiveRowScope scope(ds, row);
        return f->GetText(display);
    } catch (const EAbort&) {
        return {};
    } catch (...) {
        grid_->ReportDrawFailure(std::current_exception());
        return {};
    }
}

QVariant TDBGridModel::data(const QModelIndex& index, int role) const
{
    if (!valid(index)) return {};
    TColumn* col = grid_->ShownColumn(index.column());
    if (!col) return {};
    switch (role) {
    case Qt::DisplayRole:
        return col->Font.MapText(CellText(index.row(), index.column(), true));
    case Qt::EditRole:
        return CellText(index.row(), index.column(), false);
    case Qt::FontRole:
        return col->Font.toQFont();
    case Qt::ForegroundRole:
        return QBrush(col->Font.Color);
    case Qt::BackgroundRole:
        return col->Color.isValid() ? QVariant(QBrush(col->Color)) : QVariant();
    case Qt::TextAlignmentRole: {
        TField* f = col->Field();
        const bool numeric = f && (f->DataType() == TFieldType::ftFloat || f->DataType() == TFieldType::ftInteger);
        return int((numeric ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
    }
    default:
        return {};
    }
}

QVariant TDBGridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal) {
        TColumn* col = grid_->ShownColumn(section);
        if (!col || section >= columns_) return {};
        switch (role) {
        case Qt::DisplayRole:
            return col->Title.Font.MapText(col->Title.Caption());
        case Qt::FontRole:
            return col->Title.Font.toQFont();
        case Qt::ForegroundRole:
            return QBrush(col->Title.Font.Color);
        default:
            return {};
        }
    }
    if (section < 0 || section >= rows_) return {};
    if (role == Qt::DisplayRole) {
        // The indicator: the current row, marked by the dataset's state.
        TDataSet* ds = grid_->DataSet();
        if (!ds || section != ds->CurrentRow()) return QString();
        switch (ds->State()) {
        case TDataSetState::dsInsert:
            return QStringLiteral("*");
        case TDataSetState::dsEdit:
            return QStringLiteral("I");
        default:
            return QString(QChar(0x25B8));
        }
    }
    return {};
}

Qt::ItemFlags TDBGridModel::flags(const QModelIndex& index) const
{
    if (!valid(index)) return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    if (grid_->CanEditCell(index.column())) f |= Qt::ItemIsEditable;
    return f;
}

bool TDBGridModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role != Qt::EditRole || !valid(index)) return false;
    if (!grid_->WriteCell(index.row(), index.column(), value.toString())) return false;
    emit dataChanged(index, index);
    return true;
}

} // namespace zel
