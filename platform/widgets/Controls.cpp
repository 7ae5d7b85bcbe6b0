#include "platform/widgets/Controls.h"

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QImage>
#include <QLineEdit>
#include <QPalette>
#include <QPointer>
#include <QVariant>
#include <QWidget>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <vector>

namespace zel {

namespace {

constexpr const char* kAlign = "zelAlign";
constexpr const char* kSerial = "zelSerial";
constexpr const char* kTabOrder = "zelTabOrder";
constexpr const char* kHint = "zelHint";
constexpr const char* kShowHint = "zelShowHint";
constexpr const char* kParentShowHint = "zelParentShowHint";
constexpr const char* kColor = "zelColor";

std::atomic<quint64> nextSerial{1};

constexpr double kDesignPointSize = 8.0;
const QString kUiFace = QStringLiteral("Liberation Sans Narrow");
double uiPointSize = kDesignPointSize;

bool usesBaseRole(const QWidget* w)
{
    return dynamic_cast<const QAbstractScrollArea*>(w) || dynamic_cast<const QLineEdit*>(w) ||
           dynamic_cast<const QAbstractSpinBox*>(w) || dynamic_cast<const QComboBox*>(w);
}

// Arranges the aligned children of one parent. Installed on the parent, and
// on each aligned child to notice it being shown, hidden or resized.
class AlignEngine : public QObject {
public:
    explicit AlignEngine(QWidget* parent) : QObject(parent), parent_(parent)
    {
        setObjectName(QStringLiteral("zelAlignEngine"));
        parent->installEventFilter(this);
    }

    static AlignEngine* of(QWidget* parent, bool create)
    {
        for (QObject* c : parent->children())
            if (auto* e = dynamic_cast<AlignEngine*>(c)) return e;
        return create ? new AlignEngine(parent) : nullptr;
    }

    void watch(QWidget* child)
    {
        if (!watched_.contains(child)) {
            watched_.push_back(child);
            child->installEventFilter(this);
        }
    }

    void arrange()
    {
        if (arranging_) return;
        arranging_ = true;
        struct Reset {
            bool& b;
            ~Reset() { b = false; }
        } reset{arranging_};

        std::vector<QWidget*> kids;
        for (QObject* o : parent_->children()) {
            auto* w = qobject_cast<QWidget*>(o);
            if (w && !w->isWindow() && !w->isHidden() && Align(w) != TAlign::alNone) kids.push_back(w);
        }
        std::stable_sort(kids.begin(), kids.end(),
                         [](QWidget* a, QWidget* b) { return CreationOrder(a) < CreationOrder(b); });
        QRect r = parent_->contentsRect();
        auto pass = [&](TAlign kind, auto before) {
            std::vector<QWidget*> list;
            for (QWidget* w : kids)
                if (Align(w) == kind) list.push_back(w);
            std::stable_sort(list.begin(), list.end(), before);
            for (QWidget* w : list) {
                QRect g = w->geometry();
                switch (kind) {
                case TAlign::alTop:
                    g = QRect(r.left(), r.top(), r.width(), g.height());
                    r.setTop(r.top() + g.height());
                    break;
                case TAlign::alBottom:
                    g = QRect(r.left(), r.bottom() + 1 - g.height(), r.width(), g.height());
                    r.setBottom(r.bottom() - g.height());
                    break;
                case TAlign::alLeft:
                    g = QRect(r.left(), r.top(), g.width(), r.height());
                    r.setLeft(r.left() + g.width());
                    break;
                case TAlign::alRight:
                    g = QRect(r.right() + 1 - g.width(), r.top(), g.width(), r.height());
                    r.setRight(r.right() - g.width());
                    break;
                case TAlign::alClient:
                    g = QRect(r.left(), r.top(), std::max(0, r.width()), std::max(0, r.height()));
                    break;
                case TAlign::alNone:
                    break;
                }
                if (w->geometry() != g) w->setGeometry(g);
            }
        };
        pass(TAlign::alTop, [](QWidget* a, QWidget* b) { return a->y() < b->y(); });
        pass(TAlign::alBottom, [](QWidget* a, QWidget* b) { return a->geometry().bottom() > b->geometry().bottom(); });
        pass(TAlign::alLeft, [](QWidget* a, QWidget* b) { return a->x() < b->x(); });
        pass(TAlign::alRight, [](QWidget* a, QWidget* b) { return a->geometry().right() > b->geometry().right(); });
        pass(TAlign::alClient, [](QWidget*, QWidget*) { return false; });
    }

protected:
    bool eventFilter(QObject* o, QEvent* e) override
    {
        if (arranging_) return false;
        if (o == parent_) {
            if (e->type() == QEvent::Resize || e->type() == QEvent::ContentsRectChange || e->type() == QEvent::Show)
                arrange();
        } else {
            switch (e->type()) {
            case QEvent::ShowToParent:
            case QEvent::HideToParent:
            case QEvent::Resize:
                arrange();
                break;
            default:
                break;
            }
        }
        return false;
    }

private:
    QWidget* parent_;
    QList<QPointer<QWidget>> watched_;
    bool arranging_ = false;
};

void updateToolTip(QWidget* w)
{
    w->setToolTip(ShowHint(w) ? Hint(w) : QString());
}

void updateToolTipTree(QWidget* w)
{
    updateToolTip(w);
    for (QObject* o : w->children())
        if (auto* c = qobject_cast<QWidget*>(o); c && !c->isWindow()) updateToolTipTree(c);
}

} // namespace

// ---------------------------------------------------------------- colours

void SetColor(QWidget* w, const QColor& c)
{
    w->setProperty(kColor, c);
    // A composite edit (a date edit) paints the text area of its editor.
    if (QWidget* proxy = w->focusProxy(); proxy && usesBaseRole(proxy) && w->isAncestorOf(proxy)) {
        SetColor(proxy, c);
        return;
    }
    QPalette p = w->palette();
    if (usesBaseRole(w)) {
        p.setColor(QPalette::Base, c);
    } else {
        p.setColor(QPalette::Window, c);
        w->setAutoFillBackground(true);
    }
    w->setPalette(p);
}

QColor Color(const QWidget* w)
{
    const QVariant v = w->property(kColor);
    if (v.isValid()) return v.value<QColor>();
    return w->palette().color(usesBaseRole(w) ? QPalette::Base : QPalette::Window);
}

// ------------------------------------------------------------------ fonts

TFont::TFont(const QString& name, int height, TFontStyles style, const QColor& color)
    : Color(color), name_(name), height_(height), style_(style)
{
}

int TFont::Size() const
{
    // Height in pixels at 96 dpi; a negative height is the character height.
    return int(std::lround(std::abs(height_) * 72.0 / 96.0 - 0.25));
}

bool TFont::IsSymbol() const
{
    return name_.contains(QLatin1String("Sorts"), Qt::CaseInsensitive) ||
           name_.contains(QLatin1String("Wingdings"), Qt::CaseInsensitive) ||
           name_.compare(QLatin1String("Symbol"), Qt::CaseInsensitive) == 0;
}

QFont TFont::toQFont() const
{
    static const QStringList classicFaces{QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif"),
                                          QStringLiteral("Tahoma"), QStringLiteral("Arial"), QStringLiteral("Verdana")};
    const bool uiFace = IsSymbol() || name_.isEmpty() || classicFaces.contains(name_, Qt::CaseInsensitive);
    QFont f(uiFace ? UiFaceFamily() : name_);
    f.setStyleHint(QFont::SansSerif);
    f.setPointSizeF(std::max(1, Size()) * UiPointSize() / kDesignPointSize);
    f.setBold(style_ & fsBold);
    f.setItalic(style_ & fsItalic);
    f.setUnderline(style_ & fsUnderline);
    f.setStrikeOut(style_ & fsStrikeOut);
    return f;
}

QString TFont::MapText(const QString& text) const
{
    if (!IsSymbol()) return text;
    QString out;
    out.reserve(text.size());
    for (QChar c : text)
        out += c == QLatin1Char('4') ? QChar(0x2714) : c;
    return out;
}

QString UiFaceFamily()
{
    static const QString family =
        QFontDatabase::hasFamily(kUiFace) ? kUiFace : QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
    return family;
}

double UiPointSize()
{
    return uiPointSize;
}

void SetUiFont(double pointSize)
{
    uiPointSize = pointSize > 0 ? pointSize : kDesignPointSize;
    QFont f(UiFaceFamily());
    f.setStyleHint(QFont::SansSerif);
    f.setPointSizeF(uiPointSize);
    QApplication::setFont(f);
}

double DesignScale()
{
    QFont running(UiFaceFamily());
    running.setPointSizeF(uiPointSize);
    QFont designed(running);
    designed.setPointSizeF(kDesignPointSize);
    // A device of 96 dots per inch measures the designed height.
    QImage at96(1, 1, QImage::Format_ARGB32);
    at96.setDotsPerMeterX(3780);
    at96.setDotsPerMeterY(3780);
    const int designedHeight = QFontMetrics(designed, &at96).height();
    const int runningHeight = QFontMetrics(running).height();
    if (designedHeight <= 0 || runningHeight <= designedHeight) return 1.0;
    return double(runningHeight) / designedHeight;
}

int ScaleDesign(int pixels, double ratio)
{
    return int(std::lround(pixels * ratio));
}

void SetFont(QWidget* w, const TFont& f)
{
    w->setFont(f.toQFont());
    QPalette p = w->palette();
    p.setColor(QPalette::WindowText, f.Color);
    p.setColor(QPalette::Text, f.Color);
    p.setColor(QPalette::ButtonText, f.Color);
    w->setPalette(p);
}

// ----------------------------------------------------------------- layout

void MarkControl(QWidget* w)
{
    if (!w->property(kSerial).isValid()) w->setProperty(kSerial, QVariant::fromValue<quint64>(nextSerial++));
}

quint64 CreationOrder(const QWidget* w)
{
    const QVariant v = w->property(kSerial);
    return v.isValid() ? v.value<quint64>() : 0;
}

void Realign(QWidget* parent)
{
    if (!parent) return;
    if (auto* e = AlignEngine::of(parent, false)) e->arrange();
}

void SetAlign(QWidget* w, TAlign align)
{
    MarkControl(w);
    w->setProperty(kAlign, int(align));
    QWidget* p = w->parentWidget();
    if (!p) return;
    auto* engine = AlignEngine::of(p, true);
    engine->watch(w);
    engine->arrange();
}

TAlign Align(const QWidget* w)
{
    const QVariant v = w->property(kAlign);
    return v.isValid() ? TAlign(v.toInt()) : TAlign::alNone;
}

void SetBounds(QWidget* w, int left, int top, int width, int height)
{
    MarkControl(w);
    w->setGeometry(left, top, std::max(0, width), std::max(0, height));
    Realign(w->parentWidget());
}

void SetLeft(QWidget* w, int left)
{
    SetBounds(w, left, w->y(), w->width(), w->height());
}
void SetTop(QWidget* w, int top)
{
    SetBounds(w, w->x(), top, w->width(), w->height());
}
void SetWidth(QWidget* w, int width)
{
    SetBounds(w, w->x(), w->y(), width, w->height());
}
void SetHeight(QWidget* w, int height)
{
    SetBounds(w, w->x(), w->y(), w->width(), height);
}

// ------------------------------------------------------------- tab order

void SetTabOrder(QWidget* w, int index)
{
    MarkControl(w);
    w->setProperty(kTabOrder, index);
    // The screen: the top-level form, also when it becomes a document child later.
    QWidget* screen = w;
    while (screen->parentWidget() && !screen->isWindow() && !screen->property("zelScreen").toBool())
        screen = screen->parentWidget();
    UpdateTabOrder(screen);
}

int TabOrder(const QWidget* w)
{
    const QVariant v = w->property(kTabOrder);
    return v.isValid() ? v.toInt() : -1;
}

std::vector<QWidget*> TabChain(QWidget* screen)
{
    std::vector<QWidget*> chain;
    if (!screen) return chain;
    std::function<void(QWidget*)> walk = [&](QWidget* parent) {
        std::vector<QWidget*> kids;
        for (QObject* o : parent->children())
            if (auto* c = qobject_cast<QWidget*>(o); c && !c->isWindow()) kids.push_back(c);
        // Controls with a tab order first, by it; the rest after, as created.
        std::stable_sort(kids.begin(), kids.end(), [](QWidget* a, QWidget* b) {
            const int ta = TabOrder(a), tb = TabOrder(b);
            if ((ta < 0) != (tb < 0)) return ta >= 0;
            return ta < tb;
        });
        for (QWidget* c : kids) {
            if (c->focusPolicy() & Qt::TabFocus) {
                chain.push_back(c);
                if (c->property("zelComposite").toBool()) continue; // its parts are not stops of their own
            }
            walk(c);
        }
    };
    walk(screen);
    return chain;
}

void UpdateTabOrder(QWidget* screen)
{
    if (!screen) return;
    screen->setProperty("zelTabOrdered", true);
    const std::vector<QWidget*> chain = TabChain(screen);
    for (size_t i = 1; i < chain.size(); ++i)
        QWidget::setTabOrder(chain[i - 1], chain[i]);
}

// ------------------------------------------------------------------ hints

void SetHint(QWidget* w, const QString& hint)
{
    // A button that shows only a picture is known by its hint, also to
    // assistive technology (unless it has a name of its own).
    if (auto* b = qobject_cast<QAbstractButton*>(w); b && b->text().isEmpty())
        if (b->accessibleName().isEmpty() || b->accessibleName() == Hint(w)) b->setAccessibleName(hint);
    w->setProperty(kHint, hint);
    updateToolTip(w);
}

QString Hint(const QWidget* w)
{
    return w->property(kHint).toString();
}

void SetShowHint(QWidget* w, bool show)
{
    w->setProperty(kShowHint, show);
    w->setProperty(kParentShowHint, false);
    updateToolTipTree(w);
}

void SetParentShowHint(QWidget* w, bool parent)
{
    w->setProperty(kParentShowHint, parent);
    updateToolTipTree(w);
}

bool ShowHint(const QWidget* w)
{
    const QVariant parent = w->property(kParentShowHint);
    const bool followsParent = !parent.isValid() || parent.toBool();
    if (followsParent && w->parentWidget()) return ShowHint(w->parentWidget());
    return w->property(kShowHint).toBool();
}

} // namespace zel
