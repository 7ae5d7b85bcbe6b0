#pragma once

#include "platform/data/DataSource.h"
#include "platform/widgets/Canvas.h"
#include "platform/widgets/Controls.h"

#include <QPointer>
#include <QTableView>

#include <exception>
#include <memory>
#include <vector>

class QLineEdit;

namespace zel {

class TDBGrid;
class TDBGridModel;

enum TDBGridOption : unsigned {
    dgEditing = 1u << 0,
    dgAlwaysShowEditor = 1u << 1,
    dgTitles = 1u << 2,
    dgIndicator = 1u << 3,
    dgColumnResize = 1u << 4,
    dgColLines = 1u << 5,
    dgRowLines = 1u << 6,
    dgTabs = 1u << 7,
    dgRowSelect = 1u << 8,
    dgAlwaysShowSelection = 1u << 9,
    dgConfirmDelete = 1u << 10,
    dgCancelOnExit = 1u << 11,
    dgMultiSelect = 1u << 12,
};
using TDBGridOptions = unsigned;
constexpr TDBGridOptions kDefaultDBGridOptions = dgEditing | dgTitles | dgIndicator | dgColumnResize | dgColLines |
                                                 dgRowLines | dgTabs | dgConfirmDelete | dgCancelOnExit;

enum TGridDrawStateFlag : unsigned { gdSelected = 1, gdFocused = 2, gdFixed = 4 };
using TGridDrawState = unsigned;

// The title of a column: its own caption, or the field's display label.
class TColumnTitle {
public:
    QString Caption() const;
    void setCaption(const QString& c);
    bool HasCaption() const { return hasCaption_; }
    TFont Font;

private:
    friend class TColumn;
    class TColumn* column_ = nullptr;
    QString caption_;
    bool hasCaption_ = false;
};

// A column of a grid, bound to a field by name.
class TColumn {
public:
    TColumn(TDBGrid* grid, const QString& fieldName);

    TDBGrid* Grid() const { return grid_; }
    int Index() const;
    const QString& FieldName() const { return fieldName_; }
    // The field of the grid's dataset with that name; nullptr when none.
    TField* Field() const;

    TColumnTitle Title;
    TFont Font;
    QColor Color; // invalid: the grid's colour

    // Width in pixels; without its own, the field's display width.
    int Width() const;
    void setWidth(int w);
    bool HasWidth() const { return width_ > 0; }
    bool ReadOnly() const { return readOnly_; }
    void setReadOnly(bool r) { readOnly_ = r; }
    // Hidden when false, and also while its field is not visible.
    bool Visible() const { return visible_; }
    void setVisible(bool v);

private:
    friend class TDBGrid;
    TDBGrid* grid_;
    QString fieldName_;
    int width_ = 0;
    bool readOnly_ = false;
    bool visible_ = true;
};

// A data grid over a data source. The current row follows the dataset and
// the dataset follows the grid (a click or a key moves it with its own
// navigation, so AfterScroll runs); a move lands on the row clicked or
// stepped to, also when leaving a blank inserted row removes that row. Cells
// show the fields' display text; rows are read only when painted, so a
// dataset of a million rows scrolls as smoothly as one of ten.
//
// Rows are added from the keyboard (Insert, Down on the last row) only where
// the current cell takes typing (CanEditCell): the new row is there to be
// typed into. A read-only grid, a grid without dgEditing, and a read-only
// column add none.
//
// Events (each runs under the guard): OnDrawColumnCell after the grid drew a
// cell, with a canvas on it and the drawn row as the dataset's active record;
// OnCellClick, OnTitleClick, OnColEnter; OnKeyDown and OnKeyPress, whose key
// the handler may change (0 or a null character drops it). OnEnter/OnExit
// follow the form-level focus (SetOnEnter/SetOnExit).
class TDBGrid : public QTableView {
public:
    explicit TDBGrid(QWidget* parent = nullptr, const QString& name = {});
    ~TDBGrid() override;

    TDataSource* DataSource() const;
    void setDataSource(TDataSource* ds);
    TDataSet* DataSet() const;

    TDBGridOptions Options() const { return options_; }
    void setOptions(TDBGridOptions o);
    bool ReadOnly() const { return readOnly_; }
    void setReadOnly(bool r);

    // Columns. Without any added, the grid shows one per visible field.
    TColumn* AddColumn(const QString& fieldName);
    int ColumnCount() const { return int(columns_.size()); }
    TColumn* Columns(int index) const { return columns_.at(size_t(index)).get(); }
    void ClearColumns();
    bool CustomColumns() const { return custom_; }
    TFont TitleFont;

    // The current column (index into Columns) and its field.
    int SelectedIndex() const;
    void setSelectedIndex(int index);
    TField* SelectedField() const;
    // The row shown at a model row; -1 when none.
    int CurrentRow() const;

    // True while a cell editor is open.
    bool EditorMode() const { return state() == EditingState; }

    // The canvas of the cell being drawn; only valid inside OnDrawColumnCell.
    TCanvas* Canvas() const { return canvas_; }

    // Shown columns and their model columns.
    int ShownColumnCount() const { return int(shown_.size()); }
    TColumn* ShownColumn(int modelColumn) const;
    int ModelColumnOf(const TColumn* c) const;
    TDBGridModel* Model() const { return model_; }

    std::function<void(QObject* sender, const QRect& rect, int dataCol, TColumn* column, TGridDrawState state)>
        OnDrawColumnCell;
    std::function<void(TColumn* column)> OnCellClick;
    std::function<void(TColumn* column)> OnTitleClick;
    TNotifyEvent OnColEnter;
    std::function<void(QObject* sender, QChar& key)> OnKeyPress;
    std::function<void(QObject* sender, int& key, Qt::KeyboardModifiers modifiers)> OnKeyDown;

    // Rebuilds the shown columns and the rows (after changes to fields or columns).
    void LayoutChanged();

    // Used by the grid's delegate and model.
    bool CanEditCell(int modelColumn) const;
    void PaintCell(QPainter* p, const QRect& rect, int row, int modelColumn);
    bool BeginCellEdit();
    void CellEditorOpened(QLineEdit* editor, int modelColumn);
    bool WriteCell(int row, int modelColumn, const QString& text);
    // A failure of a handler run while painting (OnGetText, OnDrawColumnCell)
    // goes to the guard's report once the paint is over. Painting repeats
    // (a dialog over the grid repaints it), so it is reported once until the
    // dataset is opened or reloaded again.
    void ReportDrawFailure(std::exception_ptr failure);

protected:
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void keyPressEvent(QKeyEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
    void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;
    // Typing never jumps to a row by its text: keys are the handlers' and the editor's.
    void keyboardSearch(const QString&) override {}

private:
    class Link;
    friend class Link;
    void rebuildColumns();
    void syncToDataSet();
    void refreshRows();
    void applyOptions();
    void handInEditor();
    bool editorHoldsTypedText() const;
    void handInText(TField* field, const QString& text);
    int currentColumn() const;
    bool canAddRow() const;
    void colEntered();

    std::unique_ptr<Link> link_;
    TDBGridModel* model_;
    std::vector<std::unique_ptr<TColumn>> columns_;
    std::vector<TColumn*> shown_;
    bool custom_ = false;
    TDBGridOptions options_ = kDefaultDBGridOptions;
    bool readOnly_ = false;
    bool syncing_ = false;
    int lastColumn_ = -1;
    TCanvas* canvas_ = nullptr;
    QPersistentModelIndex pressed_;
    QPointer<QLineEdit> editor_;
    bool editorModified_ = false;
    std::uint64_t editorSession_ = 0; // the dataset's edit the typed text belongs to
    bool drawFailureReported_ = false;
};

} // namespace zel
