#include "platform/widgets/DateEditPlus.h"

#include "platform/data/Exceptions.h"
#include "platform/data/Guard.h"
#include "platform/widgets/CalendarPopup.h"
#include "platform/widgets/FormFocus.h"

#include <QFocusEvent>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPainter>
#include <QToolButton>

namespace zel {

namespace {

// A small calendar sheet for the button.
QPixmap defaultCalendarGlyph()
{
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setPen(Qt::black);
    p.setBrush(Qt::white);
    p.drawRect(1, 2, 13, 12);
    p.fillRect(2, 3, 12, 3, QColor(0x80, 0x00, 0x00));
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 4; ++c)
            p.fillRect(3 + c * 3, 7 + r * 2, 1, 1, Qt::black);
    return pm;
}

} // namespace

QString TDateEditPlus::DatePattern(const QLocale& locale)
{
    // The locale's order and separator, always with fixed widths so that the
    // edit can offer one position per digit.
    const QString f = locale.dateFormat(QLocale::ShortFormat);
    QString order;
    QChar sep = QLatin1Char('/');
    for (QChar c : f) {
        const QChar l = c.toLower();
        if ((l == QLatin1Char('d') || l == QLatin1Char('m') || l == QLatin1Char('y')) && !order.contains(l))
            order += l;
        else if (!c.isLetter() && order.size() == 1)
            sep = c;
    }
    if (order.size() != 3) order = QStringLiteral("dmy");
    QString pattern;
    for (QChar l : order) {
        if (!pattern.isEmpty()) pattern += sep;
        pattern += l == QLatin1Char('d')   ? QStringLiteral("dd")
                   : l == QLatin1Char('m') ? QStringLiteral("MM")
                                           : QStringLiteral("yyyy");
    }
    return pattern;
}

TDateEditPlus::TDateEditPlus(QWidget* parent, const QString& name)
    : QWidget(parent), edit_(new QLineEdit(this)), button_(new QToolButton(this))
{
    setObjectName(name);
    MarkControl(this);
    MarkComposite(this);
    InstallFocusTracker();
    weekDayNames_ = {QStringLiteral("Domingo"), QStringLiteral("Segunda"), QStringLiteral("Terça"),
                     QStringLiteral("Quarta"),  QStringLiteral("Quinta"),  QStringLiteral("Sexta"),
                     QStringLiteral("Sábado")};
    pattern_ = DatePattern();
    QString mask;
    for (QChar c : pattern_)
        mask += c.isLetter() ? QLatin1Char('0') : c;
    edit_->setObjectName(name + QStringLiteral("Edit"));
    edit_->setInputMask(mask + QStringLiteral("; "));
    button_->setObjectName(name + QStringLiteral("Button"));
    button_->setFocusPolicy(Qt::NoFocus);
    // What assistive technology calls the two parts until the screen names them.
    edit_->setAccessibleName(QStringLiteral("Data"));
    button_->setAccessibleName(QStringLiteral("Calendário"));
    button_->setIcon(QIcon(defaultCalendarGlyph()));
    auto* box = new QHBoxLayout(this);
    box->setContentsMargins(0, 0, 0, 0);
    box->setSpacing(0);
    box->addWidget(edit_, 1);
    box->addWidget(button_);
    setFocusProxy(edit_);
    setFocusPolicy(Qt::StrongFocus);
    SetColor(edit_, colors::clWindow);

    edit_->installEventFilter(this);
    connect(edit_, &QLineEdit::textChanged, this, [this] {
        refreshColor();
        if (!programmatic_ && OnChange) Guarded([this] { OnChange(this); });
    });
    connect(button_, &QToolButton::clicked, this, [this] { Guarded([this] { PopupCalendar(); }); });
    refreshColor();
}

bool TDateEditPlus::eventFilter(QObject* o, QEvent* e)
{
    // An empty edit is typed into from its first position.
    if (o == edit_ && e->type() == QEvent::FocusIn && Text().isEmpty() &&
        static_cast<QFocusEvent*>(e)->reason() != Qt::MouseFocusReason)
        QMetaObject::invokeMethod(
            edit_,
            [this] {
                if (Text().isEmpty()) edit_->setCursorPosition(0);
            },
            Qt::QueuedConnection);
    return QWidget::eventFilter(o, e);
}

QString TDateEditPlus::Text() const
{
    const QString shown = edit_->displayText();
    for (QChar c : shown)
        if (c.isDigit()) return shown;
    return QString();
}

void TDateEditPlus::setText(const QString& t)
{
    const QString before = Text();
    programmatic_ = true;
    edit_->setText(t);
    if (Text().isEmpty()) edit_->setCursorPosition(0);
    programmatic_ = false;
    if (Text() != before && OnChange) OnChange(this);
}

bool TDateEditPlus::parse(QDate& out) const
{
    out = QDate::fromString(Text(), pattern_);
    return out.isValid();
}

bool TDateEditPlus::IsValidDate() const
{
    QDate d;
    return Text().isEmpty() || parse(d);
}

TDateTime TDateEditPlus::GetDate() const
{
    if (Text().isEmpty()) return TDateTime();
    QDate d;
    if (!parse(d)) throw EConvertError(QStringLiteral("\"%1\" não é uma data válida.").arg(Text()));
    return TDateTime::fromDate(d, saveTime_ && time_.isValid() ? time_ : QTime(0, 0));
}

void TDateEditPlus::SetDate(const TDateTime& d)
{
    time_ = d.time();
    setText(d.isZero() ? QString() : d.date().toString(pattern_));
}

void TDateEditPlus::CheckValidDate()
{
    if (IsValidDate()) return;
    edit_->setFocus(Qt::OtherFocusReason);
    throw EConvertError(QStringLiteral("\"%1\" não é uma data válida.").arg(Text()));
}

void TDateEditPlus::setValidColor(const QColor& c)
{
    validColor_ = c;
    refreshColor();
}

void TDateEditPlus::refreshColor()
{
    QDate d;
    QPalette p = edit_->palette();
    p.setColor(QPalette::Text, parse(d) ? validColor_ : colors::clWindowText);
    edit_->setPalette(p);
}

void TDateEditPlus::setAccessibleNames(const QString& edit, const QString& calendar)
{
    edit_->setAccessibleName(edit);
    button_->setAccessibleName(calendar);
}

void TDateEditPlus::PopupCalendar()
{
    if (!popup_) {
        popup_ = new TCalendarPopup(this, weekDayNames_);
        popup_->onPick = [this](const QDate& d) { PickDate(d); };
    }
    QDate d;
    popup_->showMonth(parse(d) ? d : QDate::currentDate());
    popup_->move(mapToGlobal(QPoint(0, height())));
    popup_->show();
}

void TDateEditPlus::PickDate(const QDate& d)
{
    if (popup_) popup_->hide();
    const QString before = Text();
    programmatic_ = true;
    edit_->setText(d.toString(pattern_));
    programmatic_ = false;
    if (Text() != before && OnChange) Guarded([this] { OnChange(this); });
    edit_->setFocus(Qt::PopupFocusReason);
}

} // namespace zel
