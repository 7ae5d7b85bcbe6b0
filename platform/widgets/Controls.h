#pragma once

// The common ground of every control: bounds and Align layout, tab order,
// hints, colours and fonts, in the terms the screens are described in.

#include <QColor>
#include <QFont>
#include <QString>

#include <functional>
#include <vector>

class QObject;
class QWidget;

namespace zel {

// Handlers that get the control that raised the event.
using TNotifyEvent = std::function<void(QObject* sender)>;

// ---------------------------------------------------------------- colours
namespace colors {
inline const QColor clInfoBk{0xFF, 0xFF, 0xE1};
inline const QColor clBtnFace{0xF0, 0xF0, 0xF0};
inline const QColor clWindow{0xFF, 0xFF, 0xFF};
inline const QColor clWindowText{0x00, 0x00, 0x00};
inline const QColor clBlue{0x00, 0x00, 0xFF};
inline const QColor clOlive{0x80, 0x80, 0x00};
inline const QColor clSilver{0xC0, 0xC0, 0xC0};
inline const QColor clBlack{0x00, 0x00, 0x00};
inline const QColor clWhite{0xFF, 0xFF, 0xFF};
} // namespace colors

// Paints the control's background: the text area of edits, memos and grids,
// the face of panels and labels.
void SetColor(QWidget* w, const QColor& c);
QColor Color(const QWidget* w);

// ------------------------------------------------------------------ fonts
enum TFontStyle : unsigned { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };
using TFontStyles = unsigned;

// A font as the screens name it: face, height in pixels (negative = the
// character height, -11 is 8 points at 96 dpi), styles and colour. A symbol
// face draws its few glyphs the screens use (the "4" of the check column is a
// check mark).
class TFont {
public:
    TFont() = default;
    TFont(const QString& name, int height, TFontStyles style = 0, const QColor& color = colors::clWindowText);

    const QString& Name() const { return name_; }
    void setName(const QString& n) { name_ = n; }
    int Height() const { return height_; }
    void setHeight(int h) { height_ = h; }
    int Size() const; // points
    TFontStyles Style() const { return style_; }
    void setStyle(TFontStyles s) { style_ = s; }
    QColor Color;
    bool IsSymbol() const;

    // The Qt font: the classic UI faces (and the symbol faces, whose few
    // glyphs MapText turns into characters) map to the UI face; every size
    // grows with the size the UI face runs at.
    QFont toQFont() const;
    // The text as the face draws it.
    QString MapText(const QString& text) const;

private:
    QString name_ = QStringLiteral("MS Sans Serif");
    int height_ = -11;
    TFontStyles style_ = 0;
};

void SetFont(QWidget* w, const TFont& f); // face and colour

// The face of the user interface: the one the classic 8-point sans serif of
// the screens maps to. It is Liberation Sans Narrow, whose widths fit the
// 8-point designs (a 10-digit order number in a 66-pixel column, a value of
// 9.999.999,99 in 60), or the system's sans serif when it is not installed.
QString UiFaceFamily();
// The size the UI face runs at, in points: 8 as designed, more when the
// operator asks for a larger font.
double UiPointSize();
// Makes the UI face at that size the application's font. Screens created
// afterwards take it, and grow with it (DesignScale).
void SetUiFont(double pointSize = 8.0);

// Screens are designed at 96 pixels per inch with text height 13, that is
// the 8-point face at 96 dpi. The ratio of the UI face's text height as it
// runs (its size, the screen's DPI) to that designed height: what every bound
// and column width of a screen is multiplied by, so that a larger font or a
// higher DPI gives a larger screen, never cut text.
double DesignScale();
// A design length in pixels at that ratio.
int ScaleDesign(int pixels, double ratio);

// ----------------------------------------------------------------- layout
enum class TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };

// Left/Top/Width/Height relative to the parent's client area. Setting the
// bounds of an aligned control keeps only what its Align leaves free (the
// height of a top-aligned one, ...), then the parent arranges it again.
void SetBounds(QWidget* w, int left, int top, int width, int height);
void SetLeft(QWidget* w, int left);
void SetTop(QWidget* w, int top);
void SetWidth(QWidget* w, int width);
void SetHeight(QWidget* w, int height);

// The parent arranges its aligned children whenever it or one of them is
// resized, shown or hidden: top ones from the top down, then bottom ones,
// left, right, and the client one takes the rest. Within one kind they go in
// the order of their position (Top for top-aligned, ...), ties in creation
// order.
void SetAlign(QWidget* w, TAlign align);
TAlign Align(const QWidget* w);
void Realign(QWidget* parent);

// Creation order among siblings (stamped when a control is built).
void MarkControl(QWidget* w);
quint64 CreationOrder(const QWidget* w);

// ------------------------------------------------------------- tab order
// Tab order within the parent, 0 first; the chain of the whole window is
// rebuilt from the tree: each container's children by TabOrder, depth first.
void SetTabOrder(QWidget* w, int index);
int TabOrder(const QWidget* w);
void UpdateTabOrder(QWidget* window);
// The tab stops of a screen in that order (visible or not). Tab and Shift+Tab
// follow it in every screen that has a control with a tab order.
std::vector<QWidget*> TabChain(QWidget* screen);

// ------------------------------------------------------------------ hints
// Hint text and whether it shows as a tool tip: by the control's own ShowHint,
// or, while ParentShowHint is true (the default), by its parent's.
void SetHint(QWidget* w, const QString& hint);
QString Hint(const QWidget* w);
void SetShowHint(QWidget* w, bool show); // also sets ParentShowHint false
void SetParentShowHint(QWidget* w, bool parent);
bool ShowHint(const QWidget* w); // the effective setting

} // namespace zel
