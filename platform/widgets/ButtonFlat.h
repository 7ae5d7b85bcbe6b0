#pragma once

#include "platform/widgets/Controls.h"

#include <QPixmap>
#include <QToolButton>

namespace zel {

// A flat tool button. It never takes the focus, so a click leaves the screen's
// active control where it was. Its glyph holds one picture, or two side by
// side (normal, disabled). A click runs OnClick under the guard; Click() runs
// it for the program, and its failure reaches the caller.
class TButtonFlat : public QToolButton {
public:
    explicit TButtonFlat(QWidget* parent = nullptr, const QString& name = {});

    void setGlyph(const QPixmap& glyph, int numGlyphs = 1);
    const QPixmap& Glyph() const { return glyph_; }
    int NumGlyphs() const { return numGlyphs_; }
    bool Flat() const { return autoRaise(); }
    void setFlat(bool f) { setAutoRaise(f); }
    QString Caption() const { return text(); }
    void setCaption(const QString& c) { setText(c); }

    void Click();
    TNotifyEvent OnClick;

private:
    QPixmap glyph_;
    int numGlyphs_ = 1;
};

} // namespace zel
