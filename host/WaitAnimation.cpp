#include "host/WaitAnimation.h"

#include "host/Application.h"

#include <QApplication>
#include <QEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <vector>

namespace zel {
namespace {

// A translucent veil over the form with a turning arc and a line of text.
class TWaitIndicator : public QWidget {
public:
    explicit TWaitIndicator(QWidget* form) : QWidget(form)
    {
        setObjectName(QStringLiteral("aviEspera"));
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_NoSystemBackground);
        setFocusPolicy(Qt::NoFocus);
        form->installEventFilter(this);
        setGeometry(form->rect());
        timer_.setInterval(40);
        QObject::connect(&timer_, &QTimer::timeout, this, [this] {
            angle_ = (angle_ + 12) % 360;
            ++frames_;
            // Only the ring turns: the veil and what lies under it are not
            // painted again at every step.
            update(ringRect().adjusted(-4, -4, 4, 4));
        });
        timer_.start();
        show();
        raise();
    }

    void setText(const QString& text)
    {
        if (text == text_) return;
        text_ = text;
        update(boxRect());
    }
    int frames() const { return frames_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == parent() && (event->type() == QEvent::Resize || event->type() == QEvent::ChildAdded)) {
            setGeometry(parentWidget()->rect());
            raise();
        }
        return false;
    }

    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.fillRect(rect(), QColor(255, 255, 255, 70));
        const QRect r = boxRect();
        QPainterPath path;
        path.addRoundedRect(r, 10, 10);
        p.fillPath(path, QColor(250, 250, 250, 235));
        p.setPen(QPen(QColor(160, 160, 160), 1));
        p.drawPath(path);
        const QRect ring = ringRect();
        p.setPen(QPen(QColor(220, 220, 220), 5, Qt::SolidLine, Qt::RoundCap));
        p.drawEllipse(ring);
        p.setPen(QPen(QColor(30, 100, 200), 5, Qt::SolidLine, Qt::RoundCap));
        p.drawArc(ring, -angle_ * 16, 100 * 16);
        p.setPen(Qt::black);
        p.drawText(QRect(r.left(), ring.bottom() + 10, r.width(), 30), Qt::AlignCenter, text_);
    }

private:
    QRect boxRect() const
    {
        const QSize box(220, 120);
        return QRect(QPoint((width() - box.width()) / 2, (height() - box.height()) / 2), box);
    }
    QRect ringRect() const
    {
        const QRect r = boxRect();
        return QRect(r.center().x() - 20, r.top() + 16, 40, 40);
    }

    QTimer timer_;
    QString text_;
    int angle_ = 0;
    int frames_ = 0;
};

struct AviState {
    std::vector<TAviKind> kinds;
    QPointer<TWaitIndicator> indicator;
    bool cursorSet = false;
    // Counts the starts, so that a removal planned before the latest start
    // leaves the indicator alone.
    unsigned starts = 0;
};

// How long the indicator stays after the last wait closed. A walk of many
// short calls (one per row) starts the next wait before the event loop runs
// again, so the indicator is shown once for the whole walk instead of
// appearing and vanishing, with the form painted anew each time, per call.
constexpr int kLingerMs = 200;

AviState& avi()
{
    static AviState s;
    return s;
}

} // namespace

QString ShowAviText(TAviKind kind)
{
    switch (kind) {
    case TAviKind::Storing:
        return QStringLiteral("Gravando dados...");
    case TAviKind::Fetching:
        return QStringLiteral("Buscando dados...");
    }
    return QStringLiteral("Aguarde...");
}

void ActiveShowAvi(QWidget* form, TAviKind kind)
{
    AviState& s = avi();
    s.kinds.push_back(kind);
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return;
    ++s.starts;
    if (!form) form = MainForm();
    if (s.indicator && s.indicator->parentWidget() != form) delete s.indicator.data();
    if (!s.indicator && form) s.indicator = new TWaitIndicator(form);
    if (s.indicator) s.indicator->setText(ShowAviText(kind));
    if (!s.cursorSet) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        s.cursorSet = true;
    }
}

void DeactiveShowAvi()
{
    AviState& s = avi();
    if (s.kinds.empty()) return;
    s.kinds.pop_back();
    if (!s.kinds.empty()) {
        if (s.indicator) s.indicator->setText(ShowAviText(s.kinds.back()));
        return;
    }
    if (s.indicator) {
        const unsigned starts = s.starts;
        QTimer::singleShot(kLingerMs, s.indicator.data(), [starts] {
            AviState& now = avi();
            if (!now.kinds.empty() || now.starts != starts || !now.indicator) return;
            TWaitIndicator* gone = now.indicator.data();
            now.indicator.clear();
            gone->hide();
            gone->deleteLater();
        });
    }
    if (s.cursorSet) {
        QApplication::restoreOverrideCursor();
        s.cursorSet = false;
    }
}

int ShowAviDepth()
{
    return int(avi().kinds.size());
}

TAviKind ShowAviKind()
{
    return avi().kinds.empty() ? TAviKind::Fetching : avi().kinds.back();
}

QWidget* ShowAviIndicator()
{
    return avi().kinds.empty() ? nullptr : avi().indicator.data();
}

int ShowAviFrames()
{
    return avi().indicator ? avi().indicator->frames() : 0;
}

} // namespace zel
