#pragma once

#include <QDate>
#include <QDateTime>
#include <QLocale>
#include <QString>
#include <QTime>

#include <compare>
#include <cstdint>

namespace zel {

// A local date-time without a zone, with millisecond precision, counted from
// the zero date-time 1899-12-30 00:00:00.000. Pure arithmetic: no time zone
// or daylight-saving rule ever shifts it.
class TDateTime {
public:
    constexpr TDateTime() = default;
    static constexpr TDateTime fromMSecs(std::int64_t ms) { return TDateTime(ms); }
    static TDateTime fromDate(const QDate& date, const QTime& time = QTime(0, 0));
    static TDateTime fromQDateTime(const QDateTime& dt);
    static TDateTime Now();
    static TDateTime Today();

    constexpr std::int64_t msecs() const { return ms_; }
    bool isZero() const { return ms_ == 0; }
    QDate date() const;
    QTime time() const;
    QDateTime toQDateTime() const; // in local time, for widgets
    TDateTime dateOnly() const;

    auto operator<=>(const TDateTime&) const = default;

    static constexpr std::int64_t kMsPerDay = 86'400'000;

private:
    constexpr explicit TDateTime(std::int64_t ms) : ms_(ms) {}
    std::int64_t ms_ = 0;
};

// Date texts in the user's short date format (QLocale()).
QString DateToStr(const TDateTime& d, const QLocale& locale = QLocale());
QString DateTimeToStr(const TDateTime& d, const QLocale& locale = QLocale());
// Raises EConvertError for a text that is not a valid date (31/02/2026, "abc", "").
TDateTime StrToDate(const QString& text, const QLocale& locale = QLocale());
bool TryStrToDate(const QString& text, TDateTime& out, const QLocale& locale = QLocale());

} // namespace zel
