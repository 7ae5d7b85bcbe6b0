#include "platform/widgets/StdCtrls.h"

#include "platform/data/Guard.h"
#include "platform/widgets/FormFocus.h"

#include <QChildEvent>
#include <QEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QVariant>

#include <algorithm>

namespace zel {

namespace {

void initControl(QWidget* w, const QString& name)
{
    w->setObjectName(name);
    MarkControl(w);
    InstallFocusTracker();
}

// The two edges of a bevel: light on the top-left of a raised one, shadow
// on the top-left of a lowered one.
void drawBevel(QPainter& p, QRect& r, TBevelCut cut)
{
    if (cut == TBevelCut::bvNone) return;
    const QColor light(0xFF, 0xFF, 0xFF), shadow(0xA0, 0xA0, 0xA0);
    const QColor& topLeft = cut == TBevelCut::bvRaised ? light : shadow;
    const QColor& bottomRight = cut == TBevelCut::bvRaised ? shadow : light;
    p.setPen(topLeft);
    p.drawLine(r.topLeft(), r.topRight());
    p.drawLine(r.topLeft(), r.bottomLeft());
    p.setPen(bottomRight);
    p.drawLine(r.bottomLeft(), r.bottomRight());
    p.drawLine(r.topRight(), r.bottomRight());
    r.adjust(1, 1, -1, -1);
}

} // namespace

// ------------------------------------------------------------------ TPanel

TPanel::TPanel(QWidget* parent, const QString& name) : QWidget(parent)
{
    initControl(this, name);
    SetColor(this, colors::clBtnFace);
    updateMargins();
}

void TPanel::setBevelOuter(TBevelCut b)
{
    outer_ = b;
    updateMargins();
}

void TPanel::setCaption(const QString& c)
{
    caption_ = c;
    update();
}

void TPanel::updateMargins()
{
    const int m = (outer_ != TBevelCut::bvNone) + (inner_ != TBevelCut::bvNone) + border_;
    setContentsMargins(m, m, m, m); // the client area the aligned children fill
    update();
}

void TPanel::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    QRect r = rect().adjusted(0, 0, -1, -1);
    drawBevel(p, r, outer_);
    r.adjust(border_, border_, -border_, -border_);
    drawBevel(p, r, inner_);
    if (!caption_.isEmpty()) {
        p.setPen(palette().color(QPalette::WindowText));
        p.drawText(contentsRect(), Qt::AlignCenter, caption_);
    }
}

// ------------------------------------------------------------------ TLabel

TLabel::TLabel(QWidget* parent, const QString& name, const QString& caption) : QLabel(parent)
{
    initControl(this, name);
    setTextFormat(Qt::PlainText);
    setCaption(caption);
}

void TLabel::setCaption(const QString& c)
{
    setText(c);
    fitCaption();
}

void TLabel::setAutoSize(bool a)
{
    autoSize_ = a;
    fitCaption();
}

void TLabel::fitCaption()
{
    // A label that sizes itself keeps the caption's size whatever bounds or
    // font it is given.
    if (autoSize_ && size() != sizeHint()) resize(sizeHint());
}

void TLabel::resizeEvent(QResizeEvent* e)
{
    QLabel::resizeEvent(e);
    fitCaption();
}

void TLabel::changeEvent(QEvent* e)
{
    QLabel::changeEvent(e);
    if (e->type() == QEvent::FontChange) fitCaption();
}

// ------------------------------------------------------------------- TEdit

TEdit::TEdit(QWidget* parent, const QString& name) : QLineEdit(parent)
{
    initControl(this, name);
    connect(this, &QLineEdit::textChanged, this, [this] {
        if (!programmatic_ && OnChange) Guarded([this] { OnChange(this); });
    });
}

void TEdit::setText(const QString& t)
{
    if (t == text()) return;
    programmatic_ = true;
    QLineEdit::setText(t);
    programmatic_ = false;
    if (OnChange) OnChange(this);
}

// --------------------------------------------------------------- TGroupBox

TGroupBox::TGroupBox(QWidget* parent, const QString& name, const QString& caption) : QGroupBox(caption, parent)
{
    initControl(this, name);
}

// ------------------------------------------------------------ TRadioButton

TRadioButton::TRadioButton(QWidget* parent, const QString& name, const QString& caption) : QRadioButton(caption, parent)
{
    initControl(this, name);
    connect(this, &QAbstractButton::toggled, this, [this](bool on) {
        if (on && !programmatic_ && OnClick) Guarded([this] { OnClick(this); });
    });
}

void TRadioButton::setChecked(bool c)
{
    if (c == isChecked()) return;
    programmatic_ = true;
    // The program may uncheck the checked option of a group, leaving none.
    const bool exclusive = autoExclusive();
    if (!c) setAutoExclusive(false);
    QRadioButton::setChecked(c);
    setAutoExclusive(exclusive);
    programmatic_ = false;
    if (c && OnClick) OnClick(this);
}

void TRadioButton::keyPressEvent(QKeyEvent* e)
{
    if (OnKeyDown) {
        int key = e->key();
        if (!Guarded([&] { OnKeyDown(this, key, e->modifiers()); }) || key == 0) {
            e->accept();
            return;
        }
        if (key != e->key()) {
            QKeyEvent changed(e->type(), key, e->modifiers());
            QRadioButton::keyPressEvent(&changed);
            return;
        }
    }
    QRadioButton::keyPressEvent(e);
}

// -------------------------------------------------------------- TScrollBox

TScrollBox::TScrollBox(QWidget* parent, const QString& name) : QScrollArea(parent), content_(new QWidget)
{
    initControl(this, name);
    content_->setObjectName(name + QStringLiteral("Content"));
    setFrameShape(QFrame::NoFrame);
    setWidgetResizable(true);
    setWidget(content_);
    content_->installEventFilter(this);
}

bool TScrollBox::eventFilter(QObject* o, QEvent* e)
{
    if (o == content_ && e->type() == QEvent::ChildAdded)
        if (auto* w = qobject_cast<QWidget*>(static_cast<QChildEvent*>(e)->child())) w->installEventFilter(this);
    if (o != content_) {
        switch (e->type()) {
        case QEvent::Move:
        case QEvent::Resize:
        case QEvent::ShowToParent:
        case QEvent::HideToParent:
        case QEvent::DynamicPropertyChange:
            updateExtent();
            break;
        default:
            break;
        }
    }
    return QScrollArea::eventFilter(o, e);
}

void TScrollBox::updateExtent()
{
    // The content is at least as large as the controls placed by their bounds.
    QSize extent(0, 0);
    for (QObject* o : content_->children()) {
        auto* w = qobject_cast<QWidget*>(o);
        if (!w || w->isHidden() || w->isWindow() || Align(w) != TAlign::alNone) continue;
        extent = extent.expandedTo(QSize(w->geometry().right() + 1, w->geometry().bottom() + 1));
    }
    if (content_->minimumSize() != extent) content_->setMinimumSize(extent);
}

// --------------------------------------------------------------- TSplitter

TSplitter::TSplitter(QWidget* parent, const QString& name) : QWidget(parent)
{
    initControl(this, name);
    setCursor(Qt::SizeVerCursor);
}

bool TSplitter::vertical() const
{
    const TAlign a = Align(this);
    return a == TAlign::alTop || a == TAlign::alBottom;
}

bool TSplitter::event(QEvent* e)
{
    if (e->type() == QEvent::DynamicPropertyChange) setCursor(vertical() ? Qt::SizeVerCursor : Qt::SizeHorCursor);
    return QWidget::event(e);
}

QWidget* TSplitter::Control() const
{
    QWidget* p = parentWidget();
    if (!p) return nullptr;
    const TAlign a = Align(this);
    const QRect me = geometry();
    for (QObject* o : p->children()) {
        auto* w = qobject_cast<QWidget*>(o);
        if (!w || w == this || w->isHidden() || w->isWindow() || Align(w) != a) continue;
        const QRect g = w->geometry();
        const bool borders = (a == TAlign::alTop && g.bottom() + 1 == me.top()) ||
                             (a == TAlign::alBottom && g.top() == me.bottom() + 1) ||
                             (a == TAlign::alLeft && g.right() + 1 == me.left()) ||
                             (a == TAlign::alRight && g.left() == me.right() + 1);
        if (borders) return w;
    }
    return nullptr;
}

void TSplitter::mousePressEvent(QMouseEvent* e)
{
    if (e->button() != Qt::LeftButton) return;
    control_ = Control();
    if (!control_) return;
    dragging_ = true;
    const QPoint g = e->globalPosition().toPoint();
    startPos_ = vertical() ? g.y() : g.x();
    startSize_ = vertical() ? control_->height() : control_->width();
    // Room to grow: what the client-aligned sibling (or the parent's free
    // area) can give while keeping MinSize.
    QWidget* p = parentWidget();
    int room = 0;
    QWidget* client = nullptr;
    for (QObject* o : p->children())
        if (auto* w = qobject_cast<QWidget*>(o); w && !w->isHidden() && !w->isWindow() && Align(w) == TAlign::alClient)
            client = w;
    if (client)
        room = (vertical() ? client->height() : client->width()) - minSize_;
    else
        room = vertical() ? p->contentsRect().bottom() - geometry().bottom()
                          : p->contentsRect().right() - geometry().right();
    maxSize_ = startSize_ + std::max(0, room);
}

void TSplitter::mouseMoveEvent(QMouseEvent* e)
{
    if (!dragging_ || !control_) return;
    const QPoint g = e->globalPosition().toPoint();
    int delta = (vertical() ? g.y() : g.x()) - startPos_;
    const TAlign a = Align(this);
    if (a == TAlign::alBottom || a == TAlign::alRight) delta = -delta;
    const int size = std::clamp(startSize_ + delta, std::min(minSize_, startSize_), std::max(maxSize_, startSize_));
    if (vertical())
        SetHeight(control_, size);
    else
        SetWidth(control_, size);
}

void TSplitter::mouseReleaseEvent(QMouseEvent* e)
{
    if (!dragging_ || e->button() != Qt::LeftButton) return;
    dragging_ = false;
    control_ = nullptr;
    if (OnMoved) Guarded([this] { OnMoved(this); });
}

void TSplitter::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), palette().color(QPalette::Window));
}

// ------------------------------------------------------------------ TImage

TImage::TImage(QWidget* parent, const QString& name) : QLabel(parent)
{
    initControl(this, name);
}

void TImage::setPicture(const QPixmap& p)
{
    picture_ = p;
    refresh();
}

void TImage::setAutoSize(bool a)
{
    autoSize_ = a;
    refresh();
}

void TImage::setTransparent(bool t)
{
    transparent_ = t;
    refresh();
}

void TImage::refresh()
{
    QPixmap shown = picture_;
    if (transparent_ && !shown.isNull()) {
        const QImage img = shown.toImage();
        const QColor key = img.pixelColor(0, img.height() - 1);
        shown.setMask(QBitmap::fromImage(img.createMaskFromColor(key.rgb(), Qt::MaskInColor)));
    }
    setPixmap(shown);
    if (autoSize_ && !picture_.isNull()) resize(picture_.size());
}

} // namespace zel
