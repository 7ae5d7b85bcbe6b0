#include "platform/widgets/DBGrid.h"

#include "platform/data/Exceptions.h"
#include "platform/data/Guard.h"
#include "platform/widgets/Accessibility.h"
#include "platform/widgets/DBGridModel.h"
#include "platform/widgets/FormFocus.h"

#include <QApplication>
#include <QFontMetrics>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QValidator>

#include <algorithm>

namespace zel {

// ------------------------------------------------------------- columns

QString TColumnTitle::Caption() const
{
    if (hasCaption_) return caption_;
    if (column_)
        if (TField* f = column_->Field()) return f->DisplayLabel();
    return column_ ? column_->FieldName() : QString();
}

void TColumnTitle::setCaption(const QString& c)
{
    caption_ = c;
    hasCaption_ = true;
    if (column_ && column_->Grid()) column_->Grid()->LayoutChanged();
}

TColumn::TColumn(TDBGrid* grid, const QString& fieldName) : grid_(grid), fieldName_(fieldName)
{
    Title.column_ = this;
    Title.Font = grid->TitleFont;
}

int TColumn::Index() const
{
    for (int i = 0; i < grid_->ColumnCount(); ++i)
        if (grid_->Columns(i) == this) return i;
    return -1;
}

TField* TColumn::Field() const
{
    TDataSet* ds = grid_->DataSet();
    return ds ? ds->FindField(fieldName_) : nullptr;
}

int TColumn::Width() const
{
    if (width_ > 0) return width_;
    // The field's display width in digits of the column's font, and at least
    // the title when titles are shown.
    const QFontMetrics fm(Font.toQFont());
    int chars = 10;
    if (TField* f = Field()) chars = std::max(1, f->DisplayWidth());
    int w = chars * fm.horizontalAdvance(QLatin1Char('0')) + 4;
    if (grid_->Options() & dgTitles)
        w = std::max(w, QFontMetrics(Title.Font.toQFont()).horizontalAdvance(Title.Font.MapText(Title.Caption())) + 4);
    return w;
}

void TColumn::setWidth(int w)
{
    width_ = w;
    const int mc = grid_->ModelColumnOf(this);
    if (mc >= 0) grid_->horizontalHeader()->resizeSection(mc, Width());
}

void TColumn::setVisible(bool v)
{
    visible_ = v;
    grid_->LayoutChanged();
}

// ---------------------------------------------------------------- link

class TDBGrid::Link : public TDataLink {
public:
    explicit Link(TDBGrid* g) : g_(g) {}
    void ActiveChanged() override
    {
        g_->drawFailureReported_ = false; // new data: a failure is worth telling again
        g_->rebuildColumns();
        g_->syncToDataSet();
    }
    void DataSetChanged() override
    {
        g_->refreshRows();
        g_->syncToDataSet();
    }
    void DataSetScrolled() override { g_->syncToDataSet(); }
    void RecordChanged(TField*) override
    {
        if (TDataSet* ds = DataSet()) g_->model_->RowChanged(ds->CurrentRow());
    }
    void EditingChanged() override
    {
        g_->refreshRows();
        g_->syncToDataSet();
    }
    void UpdateData() override { g_->handInEditor(); }

private:
    TDBGrid* g_;
};

// ------------------------------------------------------------ delegate

namespace {

// Refuses typing past a text field's size, counted in characters.
class FieldSizeValidator : public QValidator {
public:
    FieldSizeValidator(int size, QObject* parent) : QValidator(parent), size_(size) {}
    State validate(QString& input, int&) const override
    {
        return CharacterCount(input) <= size_ ? Acceptable : Invalid;
    }

private:
    int size_;
};

class GridDelegate : public QStyledItemDelegate {
public:
    explicit GridDelegate(TDBGrid* grid) : QStyledItemDelegate(grid), grid_(grid) {}

    void paint(QPainter* p, const QStyleOptionViewItem& opt, const QModelIndex& index) const override
    {
        grid_->PaintCell(p, opt.rect, index.row(), index.column());
    }

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&, const QModelIndex& index) const override
    {
        auto* e = new QLineEdit(parent);
        e->setFrame(false);
        e->setObjectName(QStringLiteral("cellEditor"));
        if (TColumn* c = grid_->ShownColumn(index.column())) {
            e->setFont(c->Font.toQFont());
            if (TField* f = c->Field();
                f && f->Size() > 0 &&
                (f->DataType() == TFieldType::ftString || f->DataType() == TFieldType::ftFixedChar))
                e->setValidator(new FieldSizeValidator(f->Size(), e));
        }
        grid_->CellEditorOpened(e, index.column());
        return e;
    }

    void setEditorData(QWidget* editor, const QModelIndex& index) const override
    {
        // Loaded once: later repaints of the row must not overwrite what is typed.
        auto* e = static_cast<QLineEdit*>(editor);
        if (e->property("zelLoaded").toBool()) return;
        e->setProperty("zelLoaded", true);
        e->setText(index.data(Qt::EditRole).toString());
    }

    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override
    {
        model->setData(index, static_cast<QLineEdit*>(editor)->text(), Qt::EditRole);
    }

private:
    TDBGrid* grid_;
};

} // namespace

// ---------------------------------------------------------------- grid

TDBGrid::TDBGrid(QWidget* parent, const QString& name)
    : QTableView(parent), link_(std::make_unique<Link>(this)), model_(new TDBGridModel(this))
{
    setObjectName(name);
    MarkControl(this);
    MarkComposite(this);
    KeepEmptyTablesQuiet();
    InstallFocusTracker();
    setModel(model_);
    setItemDelegate(new GridDelegate(this));
    setWordWrap(false);
    setCornerButtonEnabled(false);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setSectionsClickable(true);
    horizontalHeader()->setMinimumSectionSize(4);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    verticalHeader()->setMinimumSectionSize(4);
    verticalHeader()->setFixedWidth(12);
    verticalHeader()->setDefaultAlignment(Qt::AlignCenter);
    verticalHeader()->setHighlightSections(false);
    // The current row stays marked while another control has the focus only
    // with dgAlwaysShowSelection; the painting decides, not the palette.
    // A title click is the title's event only: it neither selects the column
    // nor makes it the current one.
    disconnect(horizontalHeader(), &QHeaderView::sectionPressed, this, nullptr);
    disconnect(horizontalHeader(), &QHeaderView::sectionEntered, this, nullptr);
    connect(horizontalHeader(), &QHeaderView::sectionClicked, this, [this](int section) {
        TColumn* c = ShownColumn(section);
        if (c && OnTitleClick) Guarded([&] { OnTitleClick(c); });
    });
    connect(horizontalHeader(), &QHeaderView::sectionResized, this, [this](int section, int, int size) {
        if (syncing_) return;
        if (TColumn* c = ShownColumn(section)) c->width_ = size;
    });
    applyOptions();
}

TDBGrid::~TDBGrid()
{
    link_->setDataSource(nullptr);
    link_.reset();
}

TDataSource* TDBGrid::DataSource() const
{
    return link_->DataSource();
}

TDataSet* TDBGrid::DataSet() const
{
    return link_->DataSet();
}

void TDBGrid::setDataSource(TDataSource* ds)
{
    link_->setDataSource(ds);
    rebuildColumns();
    syncToDataSet();
}

void TDBGrid::setOptions(TDBGridOptions o)
{
    const bool editingRemoved = (options_ & dgEditing) && !(o & dgEditing);
    options_ = o;
    if (editingRemoved && editor_) closeEditor(editor_, QAbstractItemDelegate::RevertModelCache);
    applyOptions();
}

void TDBGrid::setReadOnly(bool r)
{
    readOnly_ = r;
    if (r && editor_) closeEditor(editor_, QAbstractItemDelegate::RevertModelCache);
    applyOptions();
}

void TDBGrid::applyOptions()
{
    horizontalHeader()->setVisible(options_ & dgTitles);
    verticalHeader()->setVisible(options_ & dgIndicator);
    horizontalHeader()->setSectionResizeMode((options_ & dgColumnResize) ? QHeaderView::Interactive
                                                                         : QHeaderView::Fixed);
    setShowGrid(false); // the cell painting draws the column and row lines
    setTabKeyNavigation(options_ & dgTabs);
    setSelectionBehavior((options_ & dgRowSelect) ? SelectRows : SelectItems);
    setSelectionMode((options_ & dgMultiSelect) ? ExtendedSelection : SingleSelection);
    EditTriggers t = NoEditTriggers;
    if ((options_ & dgEditing) && !readOnly_) {
        t = AnyKeyPressed | DoubleClicked | EditKeyPressed;
        if (options_ & dgAlwaysShowEditor) t |= CurrentChanged | SelectedClicked;
    }
    setEditTriggers(t);
    viewport()->update();
}

TColumn* TDBGrid::AddColumn(const QString& fieldName)
{
    if (!custom_) {
        columns_.clear();
        custom_ = true;
    }
    columns_.push_back(std::make_unique<TColumn>(this, fieldName));
    TColumn* c = columns_.back().get();
    LayoutChanged();
    return c;
}

void TDBGrid::ClearColumns()
{
    columns_.clear();
    custom_ = false;
    LayoutChanged();
}

TColumn* TDBGrid::ShownColumn(int modelColumn) const
{
    return modelColumn >= 0 && modelColumn < int(shown_.size()) ? shown_[size_t(modelColumn)] : nullptr;
}

int TDBGrid::ModelColumnOf(const TColumn* c) const
{
    const auto it = std::find(shown_.begin(), shown_.end(), c);
    return it == shown_.end() ? -1 : int(it - shown_.begin());
}

void TDBGrid::LayoutChanged()
{
    rebuildColumns();
    syncToDataSet();
}

void TDBGrid::rebuildColumns()
{
    TDataSet* ds = DataSet();
    if (!custom_) {
        // One column per visible field, rebuilt whenever the fields may differ.
        columns_.clear();
        if (ds)
            for (int i = 0; i < ds->FieldCount(); ++i)
                if (ds->Field(i)->Visible())
                    columns_.push_back(std::make_unique<TColumn>(this, ds->Field(i)->FieldName()));
    }
    shown_.clear();
    for (auto& c : columns_) {
        TField* f = c->Field();
        if (c->Visible() && (!f || f->Visible())) shown_.push_back(c.get());
    }
    syncing_ = true;
    model_->Refresh(true);
    for (int i = 0; i < int(shown_.size()); ++i)
        horizontalHeader()->resizeSection(i, shown_[size_t(i)]->Width());
    syncing_ = false;
    if (lastColumn_ >= int(shown_.size())) lastColumn_ = shown_.empty() ? -1 : 0;
}

void TDBGrid::refreshRows()
{
    // A field made visible or hidden changes the columns.
    std::vector<TColumn*> shown;
    for (auto& c : columns_) {
        TField* f = c->Field();
        if (c->Visible() && (!f || f->Visible())) shown.push_back(c.get());
    }
    if (shown != shown_ || (!custom_ && DataSet() && int(columns_.size()) == 0 && DataSet()->FieldCount() > 0)) {
        rebuildColumns();
        return;
    }
    model_->Refresh();
}

int TDBGrid::CurrentRow() const
{
    TDataSet* ds = DataSet();
    return ds && ds->Active() ? ds->CurrentRow() : -1;
}

void TDBGrid::syncToDataSet()
{
    TDataSet* ds = DataSet();
    const int rows = ds && ds->Active() && !shown_.empty() ? ds->RecordCount() : 0;
    if (rows != model_->rowCount()) model_->Refresh();
    const int row = CurrentRow();
    const QModelIndex old = currentIndex();
    int col = old.isValid() ? old.column() : lastColumn_;
    if (col < 0 || col >= model_->columnCount()) col = model_->columnCount() > 0 ? 0 : -1;
    syncing_ = true;
    if (row >= 0 && row < model_->rowCount() && col >= 0) {
        const QModelIndex idx = model_->index(row, col);
        if (idx != old) {
            selectionModel()->setCurrentIndex(
                idx, QItemSelectionModel::ClearAndSelect |
                         ((options_ & dgRowSelect) ? QItemSelectionModel::Rows : QItemSelectionModel::NoUpdate));
        }
        scrollTo(idx);
    }
    syncing_ = false;
    if (col >= 0) lastColumn_ = col;
    model_->CurrentRowChanged(old.isValid() ? old.row() : -1, row);
    viewport()->update();
}

void TDBGrid::currentChanged(const QModelIndex& current, const QModelIndex& previous)
{
    QTableView::currentChanged(current, previous);
    if (syncing_ || !current.isValid()) return;
    const int previousColumn = lastColumn_;
    TDataSet* ds = DataSet();
    if (ds && ds->Active() && current.row() != ds->CurrentRow()) {
        // The dataset's own navigation, so that its scroll events run; where
        // it ends up (a refused post keeps it) is where the grid goes. The
        // target is taken by identity before the move: leaving a blank
        // inserted row cancels it and the rows below move up by one.
        const TBookmark target = ds->BookmarkAt(current.row());
        const int distance = current.row() - ds->CurrentRow();
        Guarded([&] {
            ds->CheckBrowseMode();
            if (ds->BookmarkValid(target))
                ds->GotoBookmark(target);
            else
                ds->MoveBy(distance); // the rows were replaced meanwhile
        });
        syncToDataSet();
    }
    if (currentIndex().isValid() && currentIndex().column() != previousColumn) {
        lastColumn_ = currentIndex().column();
        colEntered();
    }
}

void TDBGrid::colEntered()
{
    if (OnColEnter) Guarded([this] { OnColEnter(this); });
}

int TDBGrid::SelectedIndex() const
{
    const QModelIndex idx = currentIndex();
    const int mc = idx.isValid() ? idx.column() : lastColumn_;
    TColumn* c = ShownColumn(mc >= 0 ? mc : 0);
    return c ? c->Index() : -1;
}

void TDBGrid::setSelectedIndex(int index)
{
    if (index < 0 || index >= ColumnCount()) return;
    const int mc = ModelColumnOf(Columns(index));
    if (mc < 0) return;
    const int row = CurrentRow();
    if (row >= 0 && row < model_->rowCount()) {
        setCurrentIndex(model_->index(row, mc));
    } else if (mc != lastColumn_) {
        lastColumn_ = mc;
        colEntered();
    }
}

TField* TDBGrid::SelectedField() const
{
    const int i = SelectedIndex();
    return i >= 0 ? Columns(i)->Field() : nullptr;
}

bool TDBGrid::CanEditCell(int modelColumn) const
{
    TDataSet* ds = DataSet();
    TColumn* c = ShownColumn(modelColumn);
    if (!(options_ & dgEditing) || readOnly_ || !c || c->ReadOnly() || !ds || !ds->Active()) return false;
    TField* f = c->Field();
    return f && !f->ReadOnly();
}

void TDBGrid::PaintCell(QPainter* p, const QRect& rect, int row, int modelColumn)
{
    TColumn* col = ShownColumn(modelColumn);
    TDataSet* ds = DataSet();
    if (!col || !ds) return;
    const bool focused = hasFocus() || (editor_ && editor_->hasFocus());
    const bool current = row == ds->CurrentRow();
    const int curCol = currentColumn();
    const bool showSelection = focused || (options_ & dgAlwaysShowSelection);
    bool selected = current && showSelection && ((options_ & dgRowSelect) || modelColumn == curCol);
    if ((options_ & dgMultiSelect) && selectionModel()->isRowSelected(row, QModelIndex())) selected = true;
    TGridDrawState state = 0;
    if (selected) state |= gdSelected;
    if (current && focused && modelColumn == curCol) state |= gdFocused;

    QRect r = rect;
    if (options_ & dgColLines) r.adjust(0, 0, -1, 0);
    if (options_ & dgRowLines) r.adjust(0, 0, 0, -1);
    const QColor bg = selected ? palette().color(QPalette::Active, QPalette::Highlight)
                               : (col->Color.isValid() ? col->Color : palette().color(QPalette::Base));
    TFont font = col->Font;
    if (selected) font.Color = palette().color(QPalette::Active, QPalette::HighlightedText);

    p->save();
    p->fillRect(r, bg);
    p->setFont(font.toQFont());
    p->setPen(font.Color);
    const QString text = font.MapText(model_->CellText(row, modelColumn, true));
    TField* f = col->Field();
    const bool numeric = f && (f->DataType() == TFieldType::ftFloat || f->DataType() == TFieldType::ftInteger);
    p->setClipRect(r);
    p->drawText(r.adjusted(2, 0, -2, 0), int((numeric ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter), text);
    p->setClipping(false);
    const QColor line(0xC0, 0xC0, 0xC0);
    p->setPen(line);
    if (options_ & dgColLines) p->drawLine(rect.topRight(), rect.bottomRight());
    if (options_ & dgRowLines) p->drawLine(rect.bottomLeft(), rect.bottomRight());
    p->restore();

    if (OnDrawColumnCell) {
        TCanvas canvas(p);
        canvas.Brush.Color = bg;
        canvas.Font = font;
        p->save();
        p->setClipRect(r);
        canvas_ = &canvas;
        try {
            TDataSet::ActiveRowScope scope(ds, row);
            OnDrawColumnCell(this, r, col->Index(), col, state);
        } catch (const EAbort&) {
        } catch (...) {
            ReportDrawFailure(std::current_exception());
        }
        canvas_ = nullptr;
        p->restore();
    }
}

void TDBGrid::ReportDrawFailure(std::exception_ptr failure)
{
    // Shown once the paint is over: a dialog opened inside a paint would
    // paint the grid again, and fail again.
    if (drawFailureReported_) return;
    drawFailureReported_ = true;
    QTimer::singleShot(0, this, [failure] { Guarded([failure] { std::rethrow_exception(failure); }); });
}

int TDBGrid::currentColumn() const
{
    return currentIndex().isValid() ? currentIndex().column() : lastColumn_;
}

bool TDBGrid::canAddRow() const
{
    return CanEditCell(currentColumn());
}

bool TDBGrid::BeginCellEdit()
{
    TDataSet* ds = DataSet();
    if (!ds || !ds->Active()) return false;
    if (ds->IsEditing()) return true;
    bool ok = false;
    Guarded([&] { ok = link_->Edit(); });
    return ok;
}

void TDBGrid::CellEditorOpened(QLineEdit* editor, int modelColumn)
{
    Q_UNUSED(modelColumn);
    editor_ = editor;
    editorModified_ = false;
    connect(editor, &QLineEdit::textEdited, this, [this, editor] {
        if (editor != editor_ || editorModified_) return;
        if (!BeginCellEdit()) {
            // Refused (an empty dataset that takes no rows): the text goes back.
            editor->setText(model_->CellText(CurrentRow(), currentIndex().column(), false));
            closeEditor(editor, QAbstractItemDelegate::RevertModelCache);
            return;
        }
        editorModified_ = true;
        editorSession_ = DataSet()->EditSession();
    });
}

bool TDBGrid::editorHoldsTypedText() const
{
    // Typed during the dataset's current edit: an edit ended since (cancelled
    // while the controls were disabled, say) leaves the text to no row.
    const TDataSet* ds = DataSet();
    return editor_ && editorModified_ && ds && ds->IsEditing() && ds->EditSession() == editorSession_;
}

void TDBGrid::handInText(TField* field, const QString& text)
{
    // Text that reads as the field already does is no change: a null cell
    // typed in and erased again stays null.
    if (text != field->Text()) field->setAsString(text);
}

bool TDBGrid::WriteCell(int row, int modelColumn, const QString& text)
{
    TDataSet* ds = DataSet();
    TColumn* c = ShownColumn(modelColumn);
    if (!editorHoldsTypedText() || !c || row != ds->CurrentRow()) return false;
    TField* f = c->Field();
    if (!f) return false;
    const bool ok = Guarded([&] { handInText(f, text); });
    if (ok) editorModified_ = false;
    return ok;
}

void TDBGrid::handInEditor()
{
    // The dataset is posting: the pending text goes to its field; a value the
    // field refuses fails the post.
    if (!editorHoldsTypedText()) return;
    TColumn* c = ShownColumn(currentIndex().column());
    TField* f = c ? c->Field() : nullptr;
    if (!f) return;
    const QString text = editor_->text();
    editorModified_ = false;
    handInText(f, text);
}

void TDBGrid::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint)
{
    if (editor == editor_) {
        editor_ = nullptr;
        editorModified_ = false;
    }
    QTableView::closeEditor(editor, hint);
}

void TDBGrid::keyPressEvent(QKeyEvent* e)
{
    int key = e->key();
    const Qt::KeyboardModifiers mods = e->modifiers();
    if (OnKeyDown) {
        if (!Guarded([&] { OnKeyDown(this, key, mods); }) || key == 0) {
            e->accept();
            return;
        }
    }
    TDataSet* ds = DataSet();
    if (key == Qt::Key_Insert && !(mods & (Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier))) {
        if (canAddRow()) Guarded([&] { ds->Insert(); });
        e->accept();
        return;
    }
    if (key == Qt::Key_Down && !(mods & (Qt::ControlModifier | Qt::ShiftModifier)) && canAddRow() &&
        ds->CurrentRow() == ds->RecordCount() - 1 && ds->State() != TDataSetState::dsInsert) {
        Guarded([&] { ds->Append(); });
        e->accept();
        return;
    }
    if (key == Qt::Key_Escape && ds && state() != EditingState && ds->IsEditing()) {
        Guarded([&] { ds->Cancel(); });
        e->accept();
        return;
    }

    QString text = key == e->key() ? e->text() : QString();
    if (!text.isEmpty() && OnKeyPress) {
        QChar ch = text.at(0);
        if (!Guarded([&] { OnKeyPress(this, ch); }) || ch.isNull()) {
            e->accept();
            return;
        }
        if (ch != text.at(0)) {
            // Qt's key codes of printable Latin-1 characters are their upper-case codes.
            QKeyEvent changed(e->type(), int(ch.toUpper().unicode()), mods, QString(ch), e->isAutoRepeat());
            QTableView::keyPressEvent(&changed);
            e->setAccepted(changed.isAccepted());
            return;
        }
    }
    if (key != e->key()) {
        QKeyEvent changed(e->type(), key, mods, QString(), e->isAutoRepeat());
        QTableView::keyPressEvent(&changed);
        e->setAccepted(changed.isAccepted());
        return;
    }
    QTableView::keyPressEvent(e);
}

void TDBGrid::mousePressEvent(QMouseEvent* e)
{
    pressed_ = indexAt(e->position().toPoint());
    QTableView::mousePressEvent(e);
}

void TDBGrid::mouseReleaseEvent(QMouseEvent* e)
{
    QTableView::mouseReleaseEvent(e);
    const QModelIndex idx = indexAt(e->position().toPoint());
    if (e->button() == Qt::LeftButton && idx.isValid() && idx == QModelIndex(pressed_) && OnCellClick)
        if (TColumn* c = ShownColumn(idx.column())) Guarded([&] { OnCellClick(c); });
    pressed_ = QPersistentModelIndex();
}

void TDBGrid::focusOutEvent(QFocusEvent* e)
{
    QTableView::focusOutEvent(e);
    QWidget* now = QApplication::focusWidget();
    if (e->reason() == Qt::ActiveWindowFocusReason || e->reason() == Qt::PopupFocusReason || (now && isAncestorOf(now)))
        return;
    // Leaving the grid drops a row that was inserted and never filled.
    TDataSet* ds = DataSet();
    if ((options_ & dgCancelOnExit) && ds && ds->State() == TDataSetState::dsInsert && !ds->Modified())
        Guarded([&] { ds->Cancel(); });
    viewport()->update();
}

} // namespace zel
