#pragma once

#include "platform/data/DataSource.h"
#include "platform/widgets/Controls.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QStringList>
#include <QWidget>

#include <memory>

class QToolButton;

namespace zel {

// A memo bound to a text field. It shows the field of the current row; the
// first key that changes the text puts the row in edit (when the dataset
// refuses, for example an empty one that takes no new rows, the key is
// dropped and nothing is shown), while keys that change nothing (Backspace at
// the start, Delete at the end, a character past the size) start nothing; the
// text never grows past the field's Size, counted in characters; the
// dataset's post takes the typed text (UpdateData), unless it is what the
// field already shows (a null note typed and erased stays null). Esc drops
// the typed text and shows the field again.
//
// OnKeyPress(sender, key) sees every character key before the memo does: the
// handler may change it, and a null character drops it.
class TDBMemo : public QPlainTextEdit {
public:
    explicit TDBMemo(QWidget* parent = nullptr, const QString& name = {});
    ~TDBMemo() override;

    TDataSource* DataSource() const;
    void setDataSource(TDataSource* ds);
    QString DataField() const;
    void setDataField(const QString& fieldName);
    TField* Field() const;
    bool ReadOnly() const { return readOnly_; }
    void setReadOnly(bool r) { readOnly_ = r; }
    QString Text() const { return toPlainText(); }
    // The most characters the memo takes: the field's Size, 0 = no limit
    // (characters as CharacterCount counts them).
    int MaxLength() const;

    std::function<void(QObject* sender, QChar& key)> OnKeyPress;

protected:
    void keyPressEvent(QKeyEvent* e) override;
    void insertFromMimeData(const QMimeData* source) override;

private:
    enum class KeyEffect { Other, NoChange, Change };
    void processKey(QKeyEvent* e);
    KeyEffect keyEffect(const QKeyEvent* e) const;
    bool roomFor(const QString& typed) const;
    bool beginEdit();
    void showField();
    std::unique_ptr<TFieldDataLink> link_;
    bool readOnly_ = false;
    bool loading_ = false;
};

// A label that shows a field of the current row (its display text).
class TDBText : public QLabel {
public:
    explicit TDBText(QWidget* parent = nullptr, const QString& name = {});
    ~TDBText() override;

    TDataSource* DataSource() const;
    void setDataSource(TDataSource* ds);
    QString DataField() const;
    void setDataField(const QString& fieldName);
    TField* Field() const;

private:
    void showField();
    std::unique_ptr<TFieldDataLink> link_;
};

enum class TNavigateBtn { nbFirst, nbPrior, nbNext, nbLast };

// Buttons that move a dataset: first, prior, next, last. They never take the
// focus; each click runs the dataset's navigation under the guard. Hints: one
// per button in that order; an empty list gives the standard ones.
class TDBNavigator : public QWidget {
public:
    explicit TDBNavigator(QWidget* parent = nullptr, const QString& name = {});
    ~TDBNavigator() override;

    TDataSource* DataSource() const;
    void setDataSource(TDataSource* ds);
    const QStringList& Hints() const { return hints_; }
    void setHints(const QStringList& hints);
    QToolButton* Button(TNavigateBtn b) const;
    void BtnClick(TNavigateBtn b);

    static QStringList DefaultHints();

protected:
    void resizeEvent(QResizeEvent* e) override;

private:
    class Link;
    void updateButtons();
    std::unique_ptr<Link> link_;
    QToolButton* buttons_[4];
    QStringList hints_;
};

} // namespace zel
