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
        if (TField* f = Field()) f->setAsString(toPlainText());
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

bool TDBMemo::changesText(const QKeyEvent* e) const
{
    if (e->matches(QKeySequence::Paste) || e->matches(QKeySequence::Cut) || e->matches(QKeySequence::Undo) ||
        e->matches(QKeySequence::Redo) || e->matches(QKeySequence::Delete) ||
        e->matches(QKeySequence::DeleteEndOfWord) || e->matches(QKeySequence::DeleteStartOfWord))
        return true;
    switch (e->key()) {
    case Qt::Key_Backspace:
    case Qt::Key_Delete:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return true;
    default:
        break;
    }
    const QString t = e->text();
    return !t.isEmpty() && t.at(0).isPrint();
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
    const QString text = e->text();
    if (e->key() == Qt::Key_Escape) {
        if (link_->Modified()) {
            link_->Reset();
            showField();
        }
        e->ignore();
        return;
    }
    if (!changesText(e)) {
        QPlainTextEdit::keyPressEvent(e);
        return;
    }
    if (!beginEdit()) {
        e->accept(); // not editable here: the key changes nothing
        return;
    }
    // The field's size bounds the text: a key that would add beyond it is dropped.
    const int max = MaxLength();
    if (max > 0 && !text.isEmpty() && text.at(0).isPrint()) {
        const int selected = textCursor().selectedText().size();
        if (toPlainText().size() - selected + text.size() > max) {
            e->accept();
            return;
        }
    }
    if (max > 0 && (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter)) {
        if (toPlainText().size() - textCursor().selectedText().size() + 1 > max) {
            e->accept();
            return;
        }
    }
    QPlainTextEdit::keyPressEvent(e);
    if (max > 0 && toPlainText().size() > max) {
        // A paste or redo that went past the size: cut the end off.
        loading_ = true;
        setPlainText(toPlainText().left(max));
        moveCursor(QTextCursor::End);
        loading_ = false;
        link_->Modify();
    }
}

void TDBMemo::insertFromMimeData(const QMimeData* source)
{
    if (!source->hasText() || !beginEdit()) return;
    QString text = source->text();
    const int max = MaxLength();
    if (max > 0) {
        const int room = max - (toPlainText().size() - textCursor().selectedText().size());
        text = text.left(std::max(0, room));
    }
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
