#include "platform/data/DateTime.h"

#include "platform/data/Exceptions.h"

#include <QRegularExpression>

namespace zel {
namespace {

const qint64 kEpochJulianDay = QDate(1899, 12, 30).toJulianDay();

qint64 floorDiv(qint64 a, qint64 b)
{
    qint64 q = a / b;
    return (a % b != 0 && ((a < 0) != (b < 0))) ? q - 1 : q;
}

} // namespace

TDateTime TDateTime::fromDate(const QDate& date, const QTime& time)
{
    if (!date.isValid()) return {};
    qint64 days = date.toJulianDay() - kEpochJulianDay;
    qint64 ms = time.isValid() ? time.msecsSinceStartOfDay() : 0;
    return TDateTime(days * kMsPerDay + ms);
}

TDateTime TDateTime::fromQDateTime(const QDateTime& dt)
{
    return fromDate(dt.date(), dt.time());
}

TDateTime TDateTime::Now()
{
    return fromQDateTime(QDateTime::currentDateTime());
}

TDateTime TDateTime::Today()
{
    return fromDate(QDate::currentDate());
}

QDate TDateTime::date() const
{
    return QDate::fromJulianDay(kEpochJulianDay + floorDiv(ms_, kMsPerDay));
}

QTime TDateTime::time() const
{
    qint64 ms = ms_ - floorDiv(ms_, kMsPerDay) * kMsPerDay;
    return QTime::fromMSecsSinceStartOfDay(int(ms));
}

QDateTime TDateTime::toQDateTime() const
{
    return QDateTime(date(), time());
}

TDateTime TDateTime::dateOnly() const
{
    return TDateTime(floorDiv(ms_, kMsPerDay) * kMsPerDay);
}

QString DateToStr(const TDateTime& d, const QLocale& locale)
{
    return locale.toString(d.date(), locale.dateFormat(QLocale::ShortFormat));
}

QString DateTimeToStr(const TDateTime& d, const QLocale& locale)
{
    QString s = DateToStr(d, locale);
    if (d.time() != QTime(0, 0)) s += QLatin1Char(' ') + locale.toString(d.time(), QStringLiteral("HH:mm:ss"));
    return s;
}

bool TryStrToDate(const QString& text, TDateTime& out, const QLocale& locale)
{
    const QString t = text.trimmed();
    if (t.isEmpty()) return false;
    const QString fmt = locale.dateFormat(QLocale::ShortFormat);
    const QString longYear =
        fmt.contains(QLatin1String("yyyy")) ? fmt : QString(fmt).replace(QLatin1String("yy"), QLatin1String("yyyy"));
    const QString shortYear = QString(longYear).replace(QLatin1String("yyyy"), QLatin1String("yy"));
    QDate d = locale.toDate(t, longYear);
    if (!d.isValid()) {
        d = locale.toDate(t, shortYear);
        if (!d.isValid()) return false;
        // A two-digit year is the one within fifty years of today.
        const int now = QDate::currentDate().year();
        int year = now - now % 100 + d.year() % 100;
        if (year > now + 49)
            year -= 100;
        else if (year < now - 50)
            year += 100;
        d = QDate(year, d.month(), d.day());
        if (!d.isValid()) return false;
    }
    out = TDateTime::fromDate(d);
    return true;
}

TDateTime StrToDate(const QString& text, const QLocale& locale)
{
    TDateTime d;
    if (!TryStrToDate(text, d, locale)) throw EConvertError(QStringLiteral("'%1' não é uma data válida.").arg(text));
    return d;
}

} // namespace zel
