#include "platform/widgets/DBCtrls.h"

#include "platform/data/Guard.h"
#include "platform/widgets/FormFocus.h"

#include <QKeyEvent>
#include <QMimeData>
#include <QPainter>
#include <QPolygon>
#include <QToolButton>

namespace zel {

// ----------------------------------------------------------------- TDBMemo

TDBMemo::TDBMemo(QWidget* parent, const QString& name)
    : QPlainTextEdit(parent), link_(std::make_unique<TFieldDataLink>())
{
    setObjectName(name);
    MarkControl(this);
    MarkComposite(this);
    InstallFocusTracker();
    setTabChangesFocus(true);
    link_->OnDataChange = [this] { showField(); };
    link_->OnActiveChange = [this] { showField(); };
    link_->OnUpdateData = [this] {
        TField* f = Field();
        if (f && toPlainText() != f->AsString()) f->setAsString(toPlainText());
    };
    connect(this, &QPlainTextEdit::textChanged, this, [this] {
        if (!loading_) link_->Modify();
    });
}

TDBMemo::~TDBMemo()
{
    link_->setDataSource(nullptr);
}

TDataSource* TDBMemo::DataSource() const
{
    return link_->DataSource();
}

void TDBMemo::setDataSource(TDataSource* ds)
{
    link_->setDataSource(ds);
    showField();
}

QString TDBMemo::DataField() const
{
    return link_->FieldName;
}

void TDBMemo::setDataField(const QString& fieldName)
{
    link_->FieldName = fieldName;
    showField();
}

TField* TDBMemo::Field() const
{
    return link_->Field();
}

int TDBMemo::MaxLength() const
{
    TField* f = Field();
    return f ? f->Size() : 0;
}

void TDBMemo::showField()
{
    TField* f = Field();
    QString text;
    if (f && link_->Active()) {
        try {
            text = f->AsString();
        } catch (...) {
            text.clear();
        }
    }
    if (text == toPlainText()) return;
    loading_ = true;
    setPlainText(text);
    loading_ = false;
}

bool TDBMemo::roomFor(const QString& typed) const
{
    const int max = MaxLength();
    return max <= 0 ||
           CharacterCount(toPlainText()) - CharacterCount(textCursor().selectedText()) + CharacterCount(typed) <= max;
}

TDBMemo::KeyEffect TDBMemo::keyEffect(const QKeyEvent* e) const
{
    const QTextCursor c = textCursor();
    const bool selection = c.hasSelection();
    auto effect = [](bool changes) { return changes ? KeyEffect::Change : KeyEffect::NoChange; };
    if (e->matches(QKeySequence::Undo)) return effect(document()->isUndoAvailable());
    if (e->matches(QKeySequence::Redo)) return effect(document()->isRedoAvailable());
    if (e->matches(QKeySequence::Cut)) return effect(selection);
    if (e->matches(QKeySequence::Delete) || e->matches(QKeySequence::DeleteEndOfWord) ||
        e->matches(QKeySequence::DeleteEndOfLine) || e->key() == Qt::Key_Delete)
        return effect(selection || !c.atEnd());
    if (e->matches(QKeySequence::DeleteStartOfWord) || e->key() == Qt::Key_Backspace)
        return effect(selection || !c.atStart());
    if (e->matches(QKeySequence::DeleteCompleteLine)) return effect(!document()->isEmpty());
    if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) return effect(roomFor(QStringLiteral("\n")));
    const QString t = e->text();
    if (!t.isEmpty() && QChar::isPrint(t.toUcs4().value(0))) return effect(roomFor(t));
    return KeyEffect::Other;
}

bool TDBMemo::beginEdit()
{
    if (readOnly_ || !Field() || !link_->Active()) return false;
    if (link_->Editing()) return true;
    bool ok = false;
    Guarded([&] { ok = link_->Edit(); });
    return ok && link_->Editing();
}

void TDBMemo::keyPressEvent(QKeyEvent* e)
{
    const QString text = e->text();
    QChar key = text.isEmpty() ? QChar() : text.at(0);
    if (!key.isNull() && OnKeyPress) {
        const QChar typed = key;
        if (!Guarded([&] { OnKeyPress(this, key); }) || key.isNull()) {
            e->accept();
            return;
        }
        if (key != typed) {
            QKeyEvent changed(e->type(), int(key.toUpper().unicode()), e->modifiers(), QString(key), e->isAutoRepeat());
            processKey(&changed);
            e->accept();
            return;
        }
    }
    processKey(e);
}

void TDBMemo::processKey(QKeyEvent* e)
{
    if (e->key() == Qt::Key_Escape) {
        if (link_->Modified()) {
            link_->Reset();
            showField();
        }
        e->ignore();
        return;
    }
    // A paste goes through insertFromMimeData, which decides there.
    const KeyEffect effect = e->matches(QKeySequence::Paste) ? KeyEffect::Other : keyEffect(e);
    if (effect == KeyEffect::Other) {
        QPlainTextEdit::keyPressEvent(e);
        return;
    }
    // A key that changes nothing (or adds past the field's size) starts no
    // edit; one the dataset refuses to edit for changes nothing either.
    if (effect == KeyEffect::NoChange || !beginEdit()) {
        e->accept();
        return;
    }
    QPlainTextEdit::keyPressEvent(e);
    const int max = MaxLength();
    if (max > 0 && CharacterCount(toPlainText()) > max) {
        // A redo that went past the size: cut the end off.
        loading_ = true;
        setPlainText(LeftCharacters(toPlainText(), max));
        moveCursor(QTextCursor::End);
        loading_ = false;
        link_->Modify();
    }
}

void TDBMemo::insertFromMimeData(const QMimeData* source)
{
    if (!source->hasText()) return;
    QString text = source->text();
    const int max = MaxLength();
    if (max > 0) {
        const int room = max - (CharacterCount(toPlainText()) - CharacterCount(textCursor().selectedText()));
        text = LeftCharacters(text, std::max(0, room));
    }
    if ((text.isEmpty() && !textCursor().hasSelection()) || !beginEdit()) return;
    textCursor().insertText(text);
}

// ----------------------------------------------------------------- TDBText

TDBText::TDBText(QWidget* parent, const QString& name) : QLabel(parent), link_(std::make_unique<TFieldDataLink>())
{
    setObjectName(name);
    MarkControl(this);
    setTextFormat(Qt::PlainText);
    link_->OnDataChange = [this] { showField(); };
    link_->OnActiveChange = [this] { showField(); };
}

TDBText::~TDBText()
{
    link_->setDataSource(nullptr);
}

TDataSource* TDBText::DataSource() const
{
    return link_->DataSource();
}

void TDBText::setDataSource(TDataSource* ds)
{
    link_->setDataSource(ds);
    showField();
}

QString TDBText::DataField() const
{
    return link_->FieldName;
}

void TDBText::setDataField(const QString& fieldName)
{
    link_->FieldName = fieldName;
    showField();
}

TField* TDBText::Field() const
{
    return link_->Field();
}

void TDBText::showField()
{
    TField* f = Field();
    QString text;
    if (f && link_->Active() && !link_->DataSet()->IsEmpty()) {
        try {
            text = f->DisplayText();
        } catch (...) {
            text.clear();
        }
    }
    setText(text);
}

// ------------------------------------------------------------ TDBNavigator

class TDBNavigator::Link : public TDataLink {
public:
    explicit Link(TDBNavigator* n) : n_(n) {}
    void ActiveChanged() override { n_->updateButtons(); }
    void DataSetChanged() override { n_->updateButtons(); }
    void DataSetScrolled() override { n_->updateButtons(); }
    void EditingChanged() override { n_->updateButtons(); }

private:
    TDBNavigator* n_;
};

namespace {

// Arrow glyphs: a bar at the end for first and last.
QIcon navigatorGlyph(TNavigateBtn b)
{
    QPixmap pm(12, 12);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
    const bool left = b == TNavigateBtn::nbFirst || b == TNavigateBtn::nbPrior;
    QPolygon tri = left ? QPolygon({QPoint(8, 2), QPoint(8, 10), QPoint(3, 6)})
                        : QPolygon({QPoint(4, 2), QPoint(4, 10), QPoint(9, 6)});
    p.drawPolygon(tri);
    if (b == TNavigateBtn::nbFirst) p.fillRect(1, 2, 2, 9, Qt::black);
    if (b == TNavigateBtn::nbLast) p.fillRect(9, 2, 2, 9, Qt::black);
    return QIcon(pm);
}

} // namespace

QStringList TDBNavigator::DefaultHints()
{
    return {QStringLiteral("Primeiro registro"), QStringLiteral("Registro anterior"),
            QStringLiteral("Próximo registro"), QStringLiteral("Último registro")};
}

TDBNavigator::TDBNavigator(QWidget* parent, const QString& name) : QWidget(parent), link_(std::make_unique<Link>(this))
{
    setObjectName(name);
    MarkControl(this);
    static const char* names[] = {"nbFirst", "nbPrior", "nbNext", "nbLast"};
    for (int i = 0; i < 4; ++i) {
        auto* b = new QToolButton(this);
        b->setObjectName(QString::fromLatin1(names[i]));
        b->setFocusPolicy(Qt::NoFocus);
        b->setIcon(navigatorGlyph(TNavigateBtn(i)));
        connect(b, &QToolButton::clicked, this, [this, i] { Guarded([this, i] { BtnClick(TNavigateBtn(i)); }); });
        buttons_[i] = b;
    }
    setHints({});
    resize(4 * 25, 25);
    updateButtons();
}

TDBNavigator::~TDBNavigator()
{
    link_->setDataSource(nullptr);
}

TDataSource* TDBNavigator::DataSource() const
{
    return link_->DataSource();
}

void TDBNavigator::setDataSource(TDataSource* ds)
{
    link_->setDataSource(ds);
    updateButtons();
}

void TDBNavigator::setHints(const QStringList& hints)
{
    hints_ = hints;
    const QStringList shown = hints.isEmpty() ? DefaultHints() : hints;
    for (int i = 0; i < 4; ++i) {
        const QString hint = i < shown.size() && !shown.at(i).isEmpty() ? shown.at(i) : DefaultHints().at(i);
        buttons_[i]->setToolTip(hint);
        buttons_[i]->setAccessibleName(hint);
    }
}

QToolButton* TDBNavigator::Button(TNavigateBtn b) const
{
    return buttons_[int(b)];
}

void TDBNavigator::BtnClick(TNavigateBtn b)
{
    TDataSet* ds = link_->DataSet();
    if (!ds) return;
    switch (b) {
    case TNavigateBtn::nbFirst:
        ds->First();
        break;
    case TNavigateBtn::nbPrior:
        ds->Prior();
        break;
    case TNavigateBtn::nbNext:
        ds->Next();
        break;
    case TNavigateBtn::nbLast:
        ds->Last();
        break;
    }
}

void TDBNavigator::updateButtons()
{
    // On the first row there is nothing before it, on the last nothing after
    // it, also before a move has run into the end.
    TDataSet* ds = link_->DataSet();
    const bool active = ds && ds->Active() && !ds->IsEmpty();
    const bool atStart = !active || ds->Bof() || ds->CurrentRow() <= 0;
    const bool atEnd = !active || ds->Eof() || ds->CurrentRow() >= ds->RecordCount() - 1;
    buttons_[0]->setEnabled(active && !atStart);
    buttons_[1]->setEnabled(active && !atStart);
    buttons_[2]->setEnabled(active && !atEnd);
    buttons_[3]->setEnabled(active && !atEnd);
}

void TDBNavigator::resizeEvent(QResizeEvent*)
{
    const int w = width() / 4;
    for (int i = 0; i < 4; ++i)
        buttons_[i]->setGeometry(i * w, 0, i == 3 ? width() - 3 * w : w, height());
}

} // namespace zel
