#pragma once

#include <QDate>
#include <QFrame>
#include <QStringList>

#include <functional>

class QLabel;
class QTableWidget;

namespace zel {

// The month calendar a date edit drops down: a month per page, week-day
// titles as given (Sunday first), a click or Enter picks the day.
class TCalendarPopup : public QFrame {
public:
    TCalendarPopup(QWidget* parent, const QStringList& weekDayNames);

    void showMonth(const QDate& selected);
    QDate shownMonth() const { return month_; }
    QDate dateAt(int row, int column) const;
    QTableWidget* Table() const { return table_; }

    std::function<void(const QDate&)> onPick;

protected:
    void keyPressEvent(QKeyEvent* e) override;

private:
    QDate month_, selected_;
    QLabel* title_;
    QTableWidget* table_;
};

} // namespace zel
