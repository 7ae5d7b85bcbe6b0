#pragma once

#include "platform/data/DateTime.h"
#include "platform/widgets/Controls.h"

#include <QStringList>
#include <QWidget>

class QLineEdit;
class QToolButton;

namespace zel {

class TCalendarPopup;

// A date edit in the user's short date format (QLocale(); two-digit day and
// month, four-digit year, the locale's order and separator), with a calendar
// button. An edit without any digit is empty: Text() is "", GetDate() is the
// zero date-time, and SetDate of the zero date-time empties it.
class TDateEditPlus : public QWidget {
public:
    explicit TDateEditPlus(QWidget* parent = nullptr, const QString& name = {});

    // The shown text; "" when no digit has been typed.
    QString Text() const;
    void setText(const QString& t);
    void Clear() { setText(QString()); }

    // The date of the text; the zero date-time for an empty edit. A text that
    // is not a valid date raises EConvertError. Without SaveTime the result
    // carries no time of day.
    TDateTime GetDate() const;
    void SetDate(const TDateTime& d);

    // Refuses a text that is not a valid date (31/02/2026, 12/13/2026): puts
    // the focus back into the edit and raises EConvertError with a message
    // for the user. An empty edit passes.
    void CheckValidDate();
    bool IsValidDate() const; // empty or a valid date

    bool SaveTime() const { return saveTime_; }
    void setSaveTime(bool s) { saveTime_ = s; }
    // The text colour while the text is a valid date.
    QColor ValidColor() const { return validColor_; }
    void setValidColor(const QColor& c);
    // Column titles of the calendar, Sunday first.
    const QStringList& WeekDayNames() const { return weekDayNames_; }
    void setWeekDayNames(const QStringList& names) { weekDayNames_ = names; }

    // The pattern of the text ("dd/MM/yyyy" for Brazilian Portuguese).
    static QString DatePattern(const QLocale& locale = QLocale());

    // Names the edit and its calendar button for assistive technology
    // ("Data" and "Calendário" until then).
    void setAccessibleNames(const QString& edit, const QString& calendar);

    QLineEdit* Editor() const { return edit_; }
    QToolButton* CalendarButton() const { return button_; }
    // Opens the calendar under the edit; PickDate is what a click on a day does.
    void PopupCalendar();
    TCalendarPopup* Calendar() const { return popup_; }
    void PickDate(const QDate& d);

    TNotifyEvent OnChange;

protected:
    bool eventFilter(QObject* o, QEvent* e) override;

private:
    void refreshColor();
    bool parse(QDate& out) const;
    QLineEdit* edit_;
    QToolButton* button_;
    TCalendarPopup* popup_ = nullptr;
    QString pattern_;
    bool saveTime_ = false;
    QTime time_;
    QColor validColor_ = colors::clBlue;
    QStringList weekDayNames_;
    bool programmatic_ = false;
};

} // namespace zel
