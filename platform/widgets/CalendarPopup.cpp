#include "platform/widgets/CalendarPopup.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QTableWidget>
#include <QToolButton>
#include <QVBoxLayout>

namespace zel {

TCalendarPopup::TCalendarPopup(QWidget* parent, const QStringList& weekDayNames)
    : QFrame(parent, Qt::Popup), title_(new QLabel), table_(new QTableWidget(6, 7))
{
    setObjectName(QStringLiteral("calendar"));
    setFrameShape(QFrame::Box);
    auto* prev = new QToolButton;
    prev->setObjectName(QStringLiteral("prevMonth"));
    prev->setArrowType(Qt::LeftArrow);
    auto* next = new QToolButton;
    next->setObjectName(QStringLiteral("nextMonth"));
    next->setArrowType(Qt::RightArrow);
    title_->setAlignment(Qt::AlignCenter);
    auto* head = new QHBoxLayout;
    head->addWidget(prev);
    head->addWidget(title_, 1);
    head->addWidget(next);
    auto* box = new QVBoxLayout(this);
    box->setContentsMargins(2, 2, 2, 2);
    box->addLayout(head);
    box->addWidget(table_);

    table_->setHorizontalHeaderLabels(weekDayNames);
    table_->verticalHeader()->hide();
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    table_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    table_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

    connect(prev, &QToolButton::clicked, this, [this] { showMonth(selected_.addMonths(-1)); });
    connect(next, &QToolButton::clicked, this, [this] { showMonth(selected_.addMonths(1)); });
    connect(table_, &QTableWidget::cellClicked, this, [this](int r, int c) {
        const QDate d = dateAt(r, c);
        if (d.isValid() && onPick) onPick(d);
    });
}

QDate TCalendarPopup::dateAt(int row, int column) const
{
    // Row 0 starts with the Sunday of the week of the 1st.
    const int lead = month_.dayOfWeek() % 7; // Sunday = 0
    return month_.addDays(row * 7 + column - lead);
}

void TCalendarPopup::showMonth(const QDate& selected)
{
    selected_ = selected.isValid() ? selected : QDate::currentDate();
    month_ = QDate(selected_.year(), selected_.month(), 1);
    title_->setText(QLocale().standaloneMonthName(month_.month()) + QLatin1Char(' ') + QString::number(month_.year()));
    for (int r = 0; r < 6; ++r)
        for (int c = 0; c < 7; ++c) {
            const QDate d = dateAt(r, c);
            auto* item = new QTableWidgetItem(QString::number(d.day()));
            item->setTextAlignment(Qt::AlignCenter);
            if (d.month() != month_.month()) item->setForeground(Qt::gray);
            table_->setItem(r, c, item);
            if (d == selected_) table_->setCurrentCell(r, c);
        }
    table_->resizeColumnsToContents();
    table_->resizeRowsToContents();
    adjustSize();
}

void TCalendarPopup::keyPressEvent(QKeyEvent* e)
{
    if ((e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) && table_->currentItem() && onPick) {
        onPick(dateAt(table_->currentRow(), table_->currentColumn()));
        return;
    }
    QFrame::keyPressEvent(e);
}

} // namespace zel
