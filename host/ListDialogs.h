#pragma once

#include "platform/data/DataSet.h"
#include "platform/data/DataSource.h"

#include <QAbstractTableModel>
#include <QDialog>
#include <QString>

#include <vector>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QTableView;

namespace zel {

// The rows of a dataset for the host's list dialogs: one column per visible
// field (less the mark field), optionally preceded by a check column. Rows
// are read when shown, without moving the dataset.
class TDataSetListModel : public QAbstractTableModel {
public:
    TDataSetListModel(TDataSet* dataSet, const QString& markField, bool checkColumn, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    bool Marked(int row) const { return marks_.at(std::size_t(row)); }
    void setMarked(int row, bool marked);
    void setAllMarked(bool marked);
    int MarkedCount() const;
    TField* FieldAt(int column) const; // nullptr for the check column
    bool HasCheckColumn() const { return check_; }

private:
    TDataSet* ds_;
    std::vector<TField*> fields_;
    std::vector<bool> marks_;
    bool check_;
};

// The modal list of PesquisaLista (many rows are picked: Space, a click on
// the check column or a double click toggle a row; Enter confirms) and of
// the look-up button (one row is picked: Enter or a double click).
class TfrmPesquisaLista : public QDialog {
public:
    TfrmPesquisaLista(TDataSet* dataSet, const QString& markField, const QString& caption, bool multiPick,
                      QWidget* parent = nullptr);

    TDataSetListModel* Model() const { return model_; }
    // The row under the cursor; -1 when the list is empty.
    int CurrentRow() const;
    void setCurrentRow(int row);
    void ToggleCurrent();

    QTableView* grdLista;
    QLineEdit* edtLocalizar; // typing moves to the first row whose first column starts with the text
    QPushButton* btnMarcarTodos;
    QPushButton* btnDesmarcarTodos;
    QPushButton* btnOK;
    QPushButton* btnCancelar;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void locate(const QString& text);
    TDataSetListModel* model_;
    bool multi_;
};

// Modal pick list over a dataset. The rows that are marked when it opens are
// those whose key is in the incoming result (a list in the KeyList format),
// or, when it holds none, those whose mark field holds "S". On confirmation
// the marks are written to the mark field ("S"/"N", also when the field is
// read-only) and result receives the picked keys, in the dataset's order,
// joined with KeyList::Join; a blank " " when none is picked. With singlePick
// the current row alone is picked. Cancelling changes nothing and returns
// false. Raises EDatabaseError when the key field does not exist.
bool PesquisaLista(TDataSource* dataSource, const QString& keyField, const QString& caption, bool singlePick,
                   QString& result, const QString& markField = QStringLiteral("IDMARCADO"));

// The modal find dialog over a dataset's visible fields.
class TfrmProcura : public QDialog {
public:
    explicit TfrmProcura(TDataSet* dataSet, QWidget* parent = nullptr);

    // Searches from the row after the current one, wrapping around; the
    // found row index, -1 when none. Compares the field's display text with
    // the text, ignoring case: its start, or any part with chkParcial.
    int Find() const;
    int FoundRow() const { return found_; }

    QComboBox* cbxCampo;
    QLineEdit* edtTexto;
    QCheckBox* chkParcial;
    QPushButton* btnProcurar;
    QPushButton* btnFechar;

private:
    TDataSet* ds_;
    std::vector<TField*> fields_;
    int found_ = -1;
};

// Opens the find dialog over a dataset and moves the dataset to the row
// found (AfterScroll runs after the dialog has closed). True when a row was found.
bool Procura(TDataSet* dataSet);

} // namespace zel
