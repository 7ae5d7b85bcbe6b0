#include "host/ListDialogs.h"

#include "host/Dialogs.h"
#include "platform/data/Exceptions.h"
#include "platform/data/Guard.h"
#include "platform/data/KeyList.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QSet>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>

namespace zel {

namespace {

const QString kCheck = QString(QChar(0x2714));

QString displayText(TDataSet* ds, TField* f, int row)
{
    TDataSet::ActiveRowScope scope(ds, row);
    return f->DisplayText();
}

bool isMarkedValue(const Variant& v)
{
    return !v.isNull() && v.toString().trimmed().compare(QLatin1String("S"), Qt::CaseInsensitive) == 0;
}

} // namespace

// ---- model ------------------------------------------------------------------

TDataSetListModel::TDataSetListModel(TDataSet* ds, const QString& markField, bool checkColumn, QObject* parent)
    : QAbstractTableModel(parent), ds_(ds), check_(checkColumn)
{
    for (int i = 0; i < ds->FieldCount(); ++i) {
        TField* f = ds->Field(i);
        if (f->Visible() && f->FieldName().compare(markField, Qt::CaseInsensitive) != 0) fields_.push_back(f);
    }
    marks_.assign(std::size_t(std::max(0, ds->RecordCount())), false);
}

int TDataSetListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(marks_.size());
}

int TDataSetListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(fields_.size()) + (check_ ? 1 : 0);
}

TField* TDataSetListModel::FieldAt(int column) const
{
    if (check_) {
        if (column == 0) return nullptr;
        --column;
    }
    return column >= 0 && column < int(fields_.size()) ? fields_[std::size_t(column)] : nullptr;
}

QVariant TDataSetListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid()) return {};
    const int row = index.row();
    if (check_ && index.column() == 0) {
        if (role == Qt::DisplayRole) return marks_[std::size_t(row)] ? kCheck : QString();
        if (role == Qt::TextAlignmentRole) return int(Qt::AlignCenter);
        return {};
    }
    TField* f = FieldAt(index.column());
    if (!f) return {};
    if (role == Qt::DisplayRole) return displayText(ds_, f, row);
    if (role == Qt::TextAlignmentRole &&
        (f->DataType() == TFieldType::ftFloat || f->DataType() == TFieldType::ftInteger))
        return int(Qt::AlignRight | Qt::AlignVCenter);
    return {};
}

QVariant TDataSetListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole) return {};
    if (orientation == Qt::Vertical) return section + 1;
    if (check_ && section == 0) return kCheck;
    TField* f = FieldAt(section);
    return f ? f->DisplayLabel() : QVariant();
}

void TDataSetListModel::setMarked(int row, bool marked)
{
    if (row < 0 || row >= int(marks_.size()) || marks_[std::size_t(row)] == marked) return;
    marks_[std::size_t(row)] = marked;
    if (check_) emit dataChanged(index(row, 0), index(row, 0));
}

void TDataSetListModel::setAllMarked(bool marked)
{
    std::fill(marks_.begin(), marks_.end(), marked);
    if (check_ && !marks_.empty()) emit dataChanged(index(0, 0), index(int(marks_.size()) - 1, 0));
}

int TDataSetListModel::MarkedCount() const
{
    return int(std::count(marks_.begin(), marks_.end(), true));
}

// ---- pick list dialog -------------------------------------------------------------

TfrmPesquisaLista::TfrmPesquisaLista(TDataSet* ds, const QString& markField, const QString& caption, bool multiPick,
                                     QWidget* parent)
    : QDialog(parent ? parent : QApplication::activeWindow()), multi_(multiPick)
{
    setObjectName(QStringLiteral("frmPesquisaLista"));
    setWindowTitle(caption);
    resize(420, 460);
    model_ = new TDataSetListModel(ds, markField, multiPick, this);

    edtLocalizar = new QLineEdit(this);
    edtLocalizar->setObjectName(QStringLiteral("edtLocalizar"));
    edtLocalizar->setPlaceholderText(QStringLiteral("Localizar"));
    grdLista = new QTableView(this);
    grdLista->setObjectName(QStringLiteral("grdLista"));
    grdLista->setModel(model_);
    grdLista->setSelectionBehavior(QAbstractItemView::SelectRows);
    grdLista->setSelectionMode(QAbstractItemView::SingleSelection);
    grdLista->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grdLista->verticalHeader()->setDefaultSectionSize(20);
    grdLista->verticalHeader()->hide();
    grdLista->horizontalHeader()->setStretchLastSection(true);
    if (multiPick) grdLista->setColumnWidth(0, 28);
    grdLista->installEventFilter(this);
    edtLocalizar->installEventFilter(this);

    btnMarcarTodos = new QPushButton(QStringLiteral("&Marcar todos"), this);
    btnMarcarTodos->setObjectName(QStringLiteral("btnMarcarTodos"));
    btnDesmarcarTodos = new QPushButton(QStringLiteral("&Desmarcar todos"), this);
    btnDesmarcarTodos->setObjectName(QStringLiteral("btnDesmarcarTodos"));
    btnMarcarTodos->setVisible(multiPick);
    btnDesmarcarTodos->setVisible(multiPick);
    btnOK = new QPushButton(QStringLiteral("OK"), this);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnOK->setAutoDefault(false);
    btnCancelar = new QPushButton(QStringLiteral("Cancelar"), this);
    btnCancelar->setObjectName(QStringLiteral("btnCancelar"));
    btnCancelar->setAutoDefault(false);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(btnMarcarTodos);
    buttons->addWidget(btnDesmarcarTodos);
    buttons->addStretch();
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCancelar);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(edtLocalizar);
    layout->addWidget(grdLista);
    layout->addLayout(buttons);

    connect(btnMarcarTodos, &QPushButton::clicked, this, [this] { Guarded([this] { model_->setAllMarked(true); }); });
    connect(btnDesmarcarTodos, &QPushButton::clicked, this,
            [this] { Guarded([this] { model_->setAllMarked(false); }); });
    connect(btnOK, &QPushButton::clicked, this, [this] { Guarded([this] { accept(); }); });
    connect(btnCancelar, &QPushButton::clicked, this, [this] { Guarded([this] { reject(); }); });
    connect(grdLista, &QTableView::pressed, this, [this](const QModelIndex& i) {
        Guarded([&] {
            if (multi_ && i.column() == 0) model_->setMarked(i.row(), !model_->Marked(i.row()));
        });
    });
    connect(grdLista, &QTableView::doubleClicked, this, [this](const QModelIndex& i) {
        Guarded([&] {
            if (!multi_)
                accept();
            else if (i.column() != 0)
                model_->setMarked(i.row(), !model_->Marked(i.row()));
        });
    });
    connect(edtLocalizar, &QLineEdit::textEdited, this, [this](const QString& t) { Guarded([&] { locate(t); }); });
    grdLista->setFocus();
}

int TfrmPesquisaLista::CurrentRow() const
{
    const QModelIndex i = grdLista->currentIndex();
    return i.isValid() ? i.row() : -1;
}

void TfrmPesquisaLista::setCurrentRow(int row)
{
    if (row < 0 || row >= model_->rowCount()) return;
    const int column = model_->HasCheckColumn() && model_->columnCount() > 1 ? 1 : 0;
    grdLista->setCurrentIndex(model_->index(row, column));
    grdLista->scrollTo(grdLista->currentIndex());
}

void TfrmPesquisaLista::ToggleCurrent()
{
    const int row = CurrentRow();
    if (row >= 0) model_->setMarked(row, !model_->Marked(row));
}

void TfrmPesquisaLista::locate(const QString& text)
{
    const int column = model_->HasCheckColumn() ? 1 : 0;
    if (text.isEmpty() || column >= model_->columnCount()) return;
    for (int row = 0; row < model_->rowCount(); ++row)
        if (model_->data(model_->index(row, column), Qt::DisplayRole)
                .toString()
                .startsWith(text, Qt::CaseInsensitive)) {
            setCurrentRow(row);
            return;
        }
}

bool TfrmPesquisaLista::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::KeyPress) return QDialog::eventFilter(watched, event);
    auto* k = static_cast<QKeyEvent*>(event);
    if (k->key() == Qt::Key_Return || k->key() == Qt::Key_Enter) {
        Guarded([this] { accept(); });
        return true;
    }
    if (watched == grdLista && k->key() == Qt::Key_Space && multi_) {
        Guarded([this] { ToggleCurrent(); });
        return true;
    }
    if (watched == edtLocalizar && (k->key() == Qt::Key_Down || k->key() == Qt::Key_Up)) {
        grdLista->setFocus();
        QApplication::sendEvent(grdLista, event);
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

bool PesquisaLista(TDataSource* dataSource, const QString& keyField, const QString& caption, bool singlePick,
                   QString& result, const QString& markField)
{
    TDataSet* ds = dataSource ? dataSource->DataSet() : nullptr;
    if (!ds || !ds->Active()) DatabaseError(QStringLiteral("A lista de pesquisa não tem dados abertos."));
    TField* key = ds->FieldByName(keyField);
    TField* mark = ds->FindField(markField);

    TfrmPesquisaLista dialog(ds, markField, caption, !singlePick);
    TDataSetListModel* model = dialog.Model();
    const int rows = model->rowCount();
    const auto incoming = KeyList::Parse(result.trimmed(), std::max(1, key->Size() > 0 ? key->Size() : 1 << 20));
    if (incoming) {
        const QSet<QString> wanted(incoming->begin(), incoming->end());
        for (int r = 0; r < rows; ++r)
            model->setMarked(r, wanted.contains(ds->ValueAt(r, key->Index()).toString()));
    } else if (mark) {
        for (int r = 0; r < rows; ++r)
            model->setMarked(r, isMarkedValue(ds->ValueAt(r, mark->Index())));
    }
    dialog.setCurrentRow(std::max(0, ds->CurrentRow()));
    if (dialog.exec() != QDialog::Accepted) return false;

    if (singlePick) {
        const int row = dialog.CurrentRow();
        if (row < 0) return false;
        result = ds->ValueAt(row, key->Index()).toString();
        return true;
    }

    QStringList picked;
    for (int r = 0; r < rows; ++r)
        if (model->Marked(r)) picked << ds->ValueAt(r, key->Index()).toString();
    result = picked.isEmpty() ? QStringLiteral(" ") : KeyList::Join(picked);

    // The marks stay in the dataset for the next picking.
    if (mark) {
        const bool wasClean = ds->ChangeCount() == 0;
        const bool readOnly = mark->ReadOnly();
        const TBookmark at = ds->GetBookmark();
        ds->DisableControls();
        mark->setReadOnly(false);
        try {
            for (int r = 0; r < rows; ++r) {
                const bool now = model->Marked(r);
                if (isMarkedValue(ds->ValueAt(r, mark->Index())) == now) continue;
                ds->setRecNo(r + 1);
                ds->Edit();
                mark->setAsString(now ? QStringLiteral("S") : QStringLiteral("N"));
                ds->Post();
            }
        } catch (...) {
            if (ds->IsEditing()) ds->Cancel();
            mark->setReadOnly(readOnly);
            ds->EnableControls();
            throw;
        }
        mark->setReadOnly(readOnly);
        if (wasClean) ds->MergeChangeLog();
        if (ds->BookmarkValid(at)) ds->GotoBookmark(at);
        ds->EnableControls();
    }
    return true;
}

// ---- find dialog ----------------------------------------------------------------------

TfrmProcura::TfrmProcura(TDataSet* ds, QWidget* parent)
    : QDialog(parent ? parent : QApplication::activeWindow()), ds_(ds)
{
    setObjectName(QStringLiteral("frmProcura"));
    setWindowTitle(QStringLiteral("Procurar"));
    cbxCampo = new QComboBox(this);
    cbxCampo->setObjectName(QStringLiteral("cbxCampo"));
    for (int i = 0; i < ds->FieldCount(); ++i) {
        TField* f = ds->Field(i);
        if (!f->Visible()) continue;
        fields_.push_back(f);
        cbxCampo->addItem(f->DisplayLabel());
    }
    edtTexto = new QLineEdit(this);
    edtTexto->setObjectName(QStringLiteral("edtTexto"));
    chkParcial = new QCheckBox(QStringLiteral("Qualquer parte do campo"), this);
    chkParcial->setObjectName(QStringLiteral("chkParcial"));
    btnProcurar = new QPushButton(QStringLiteral("&Procurar"), this);
    btnProcurar->setObjectName(QStringLiteral("btnProcurar"));
    btnProcurar->setDefault(true);
    btnFechar = new QPushButton(QStringLiteral("&Fechar"), this);
    btnFechar->setObjectName(QStringLiteral("btnFechar"));

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("&Campo:"), cbxCampo);
    form->addRow(QStringLiteral("&Texto:"), edtTexto);
    form->addRow(QString(), chkParcial);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnProcurar);
    buttons->addWidget(btnFechar);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);
    edtTexto->setFocus();

    connect(btnFechar, &QPushButton::clicked, this, [this] { Guarded([this] { reject(); }); });
    connect(btnProcurar, &QPushButton::clicked, this, [this] {
        Guarded([this] {
            found_ = Find();
            if (found_ >= 0)
                accept();
            else
                MessageDlg(QStringLiteral("Nenhum registro encontrado com \"%1\".").arg(edtTexto->text()),
                           TMsgDlgType::mtInformation, mbOK);
        });
    });
}

int TfrmProcura::Find() const
{
    const int column = cbxCampo->currentIndex();
    const QString text = edtTexto->text();
    if (column < 0 || column >= int(fields_.size()) || text.isEmpty() || !ds_->Active()) return -1;
    TField* f = fields_[std::size_t(column)];
    const int rows = ds_->RecordCount();
    const int start = ds_->CurrentRow();
    const bool partial = chkParcial->isChecked();
    for (int step = 1; step <= rows; ++step) {
        const int row = (start + step) % rows;
        const QString value = displayText(ds_, f, row);
        if (partial ? value.contains(text, Qt::CaseInsensitive) : value.startsWith(text, Qt::CaseInsensitive))
            return row;
    }
    return -1;
}

bool Procura(TDataSet* dataSet)
{
    if (!dataSet || !dataSet->Active()) return false;
    int found = -1;
    {
        TfrmProcura dialog(dataSet);
        if (dialog.exec() == QDialog::Accepted) found = dialog.FoundRow();
    }
    if (found < 0) return false;
    dataSet->setRecNo(found + 1);
    return true;
}

} // namespace zel
