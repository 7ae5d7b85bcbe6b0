#pragma once

// The plain controls the screens are built from: panels with bevels, labels,
// edits, group boxes, option buttons, scroll boxes, splitters and hidden
// picture holders. Every constructor takes the parent and the component name
// (the object name the screens and tests look the control up by).

#include "platform/widgets/Controls.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QRadioButton>
#include <QScrollArea>
#include <QWidget>

namespace zel {

enum class TBevelCut { bvNone, bvLowered, bvRaised };

class TPanel : public QWidget {
public:
    explicit TPanel(QWidget* parent = nullptr, const QString& name = {});

    TBevelCut BevelOuter() const { return outer_; }
    void setBevelOuter(TBevelCut b);
    TBevelCut BevelInner() const { return inner_; }
    int BorderWidth() const { return border_; }
    const QString& Caption() const { return caption_; }
    void setCaption(const QString& c);

protected:
    void paintEvent(QPaintEvent*) override;

private:
    void updateMargins();
    TBevelCut outer_ = TBevelCut::bvRaised;
    TBevelCut inner_ = TBevelCut::bvNone;
    int border_ = 0;
    QString caption_;
};

class TLabel : public QLabel {
public:
    explicit TLabel(QWidget* parent = nullptr, const QString& name = {}, const QString& caption = {});

    QString Caption() const { return text(); }
    void setCaption(const QString& c);
    // Sizes itself to the caption (the default); false keeps the bounds given.
    bool AutoSize() const { return autoSize_; }
    void setAutoSize(bool a);
    bool Transparent() const { return !autoFillBackground(); }
    void setTransparent(bool t) { setAutoFillBackground(!t); }

protected:
    void resizeEvent(QResizeEvent* e) override;
    void changeEvent(QEvent* e) override;

private:
    void fitCaption();
    bool autoSize_ = true;
};

// A one-line edit. OnChange runs at every change of the text, typed or set by
// the program; OnEnter/OnExit follow the form-level focus (SetOnEnter/SetOnExit).
class TEdit : public QLineEdit {
public:
    explicit TEdit(QWidget* parent = nullptr, const QString& name = {});

    QString Text() const { return text(); }
    // Sets the text; OnChange runs here, and its failure reaches the caller.
    void setText(const QString& t);
    void Clear() { setText(QString()); }
    int MaxLength() const { return maxLength(); }
    void setMaxLength(int n) { QLineEdit::setMaxLength(n > 0 ? n : 32767); }
    bool ReadOnly() const { return isReadOnly(); }
    void setReadOnly(bool r) { QLineEdit::setReadOnly(r); }

    TNotifyEvent OnChange;

private:
    bool programmatic_ = false;
};

class TGroupBox : public QGroupBox {
public:
    explicit TGroupBox(QWidget* parent = nullptr, const QString& name = {}, const QString& caption = {});
    QString Caption() const { return title(); }
    void setCaption(const QString& c) { setTitle(c); }
};

// An option button. Checking it, by the user or by the program, runs OnClick;
// unchecking it runs nothing. When the program checks it, OnClick runs inside
// setChecked and its failure reaches the caller; a user's click runs it under
// the guard.
class TRadioButton : public QRadioButton {
public:
    explicit TRadioButton(QWidget* parent = nullptr, const QString& name = {}, const QString& caption = {});

    bool Checked() const { return isChecked(); }
    void setChecked(bool c);
    QString Caption() const { return text(); }
    void setCaption(const QString& c) { setText(c); }

    TNotifyEvent OnClick;
    // OnKeyDown(sender, key, modifiers): the key may be changed; 0 drops it.
    std::function<void(QObject* sender, int& key, Qt::KeyboardModifiers)> OnKeyDown;

protected:
    void keyPressEvent(QKeyEvent* e) override;

private:
    bool programmatic_ = false;
};

// A box whose children scroll when they do not fit. Children go into
// Content(), which follows the box's size; aligned children are arranged in it.
// Children placed by their bounds beyond the box make it scroll.
class TScrollBox : public QScrollArea {
public:
    explicit TScrollBox(QWidget* parent = nullptr, const QString& name = {});
    QWidget* Content() const { return content_; }

protected:
    bool eventFilter(QObject* o, QEvent* e) override;

private:
    void updateExtent();
    QWidget* content_;
};

// A bar between an aligned control and the ones after it. Aligned to the top
// under a top-aligned control, dragging it changes that control's height; the
// parent then arranges the rest (the client-aligned control takes what is
// left). Neither side gets smaller than MinSize.
class TSplitter : public QWidget {
public:
    explicit TSplitter(QWidget* parent = nullptr, const QString& name = {});

    int MinSize() const { return minSize_; }
    void setMinSize(int m) { minSize_ = m; }
    // The control the splitter resizes: the aligned neighbour it borders.
    QWidget* Control() const;

    TNotifyEvent OnMoved;

protected:
    bool event(QEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void paintEvent(QPaintEvent*) override;

private:
    bool vertical() const; // top or bottom aligned: resizes heights
    int minSize_ = 30;
    QWidget* control_ = nullptr;
    int startPos_ = 0, startSize_ = 0, maxSize_ = 0;
    bool dragging_ = false;
};

// A picture holder; the screens keep hidden ones only to carry bitmaps.
class TImage : public QLabel {
public:
    explicit TImage(QWidget* parent = nullptr, const QString& name = {});

    const QPixmap& Picture() const { return picture_; }
    void setPicture(const QPixmap& p);
    bool AutoSize() const { return autoSize_; }
    void setAutoSize(bool a);
    // Transparent: the colour of the bottom-left pixel is left out when drawn.
    bool Transparent() const { return transparent_; }
    void setTransparent(bool t);

private:
    void refresh();
    QPixmap picture_;
    bool autoSize_ = false;
    bool transparent_ = false;
};

} // namespace zel
