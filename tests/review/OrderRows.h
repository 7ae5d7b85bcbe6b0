#pragma once

// Orders with inconsistencies of their own, written straight into a server's
// SQLite database for the tests and the benchmark that need more than the
// demo data holds (a given number of rows, marks or notes set beforehand).

#include "platform/data/DateTime.h"

#include <QString>
#include <QVariantList>

#include <vector>

class QSqlQuery;

namespace zel::test {

// An inconsistency of an added order; it is pending (not released).
struct IncRow {
    IncRow(QString mark = QStringLiteral("N"), bool item = true, QString text = {})
        : ativa(std::move(mark)), withItem(item), note(std::move(text))
    {
    }
    QString ativa;
    bool withItem; // found on an order item, else on the whole order
    QString note;
};

struct OrderKey {
    QString filial;
    QString nrPedido;
    zel::TDateTime dtPedido; // today
    zel::TDateTime dtEntPed; // five days later
};

// The key of the n-th inconsistency of an order: "001", "002", ...
QString IncKey(int n);

// Adds an order of the branch, numbered after the branch's last one, with
// these inconsistencies ("001", "002", ...) and an item for each one that has
// one. Raises std::runtime_error when the database refuses.
OrderKey AddOrderRows(const QString& dbPath, const QString& filial, const std::vector<IncRow>& rows);

// A connection of its own to the database file, dropped with the object.
class OrderDb {
public:
    explicit OrderDb(const QString& dbPath);
    ~OrderDb();
    OrderDb(const OrderDb&) = delete;
    OrderDb& operator=(const OrderDb&) = delete;
    // Runs a statement; raises std::runtime_error when it fails.
    QSqlQuery run(const QString& sql, const QVariantList& params = {});

private:
    QString name_;
};

} // namespace zel::test
