#include "tests/review/OrderRows.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>

#include <stdexcept>

namespace zel::test {

namespace {

QString pad(qint64 v, int width)
{
    return QStringLiteral("%1").arg(v, width, 10, QLatin1Char('0'));
}

} // namespace

QString IncKey(int n)
{
    return pad(n, 3);
}

OrderDb::OrderDb(const QString& dbPath) : name_(QUuid::createUuid().toString(QUuid::WithoutBraces))
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name_);
    db.setDatabaseName(dbPath);
    if (!db.open()) throw std::runtime_error(("cannot open " + dbPath + ": " + db.lastError().text()).toStdString());
    // The server writes to the same file: wait for its lock.
    run(QStringLiteral("PRAGMA busy_timeout = 5000"));
}

OrderDb::~OrderDb()
{
    QSqlDatabase::database(name_).close();
    QSqlDatabase::removeDatabase(name_);
}

QSqlQuery OrderDb::run(const QString& sql, const QVariantList& params)
{
    QSqlQuery q(QSqlDatabase::database(name_));
    q.prepare(sql);
    for (const QVariant& p : params)
        q.addBindValue(p);
    if (!q.exec()) throw std::runtime_error((sql + QStringLiteral(": ") + q.lastError().text()).toStdString());
    return q;
}

OrderKey AddOrderRows(const QString& dbPath, const QString& filial, const std::vector<IncRow>& rows)
{
    OrderDb db(dbPath);
    QSqlQuery last = db.run(QStringLiteral("SELECT MAX(NRPEDIDO) FROM PEDIDO WHERE CDFILIAL = ?"), {filial});
    const qint64 number = last.next() ? last.value(0).toString().toLongLong() + 1 : 1;
    last.finish();
    OrderKey o{filial, pad(number, 10), zel::TDateTime::fromDate(QDate::currentDate(), QTime(9, 30)),
               zel::TDateTime::fromDate(QDate::currentDate().addDays(5))};
    db.run(QStringLiteral("BEGIN IMMEDIATE"));
    db.run(QStringLiteral("INSERT INTO PEDIDO (CDFILIAL, NRPEDIDO, IDSITPEDIDO, CDCLIENTE, CDVENDEDOR, DTPEDIDO, "
                          "DTENTPED) VALUES (?, ?, '1', '000001', '0001', ?, ?)"),
           {filial, o.nrPedido, qint64(o.dtPedido.msecs()), qint64(o.dtEntPed.msecs())});
    int n = 0;
    for (const IncRow& r : rows) {
        ++n;
        QVariant item;
        if (r.withItem) {
            item = IncKey(n);
            db.run(QStringLiteral("INSERT INTO ITEMPEDIDO (CDFILIAL, NRPEDIDO, NRITEMPED, CDPRODUTO, QTITEMPED, "
                                  "VRUNITITEM, IDSITITEMPED) VALUES (?, ?, ?, ?, 2, 10.5, '1')"),
                   {filial, o.nrPedido, item, pad(1 + n % 150, 6)});
        }
        db.run(QStringLiteral("INSERT INTO INCONSPED (CDFILIAL, NRPEDIDO, NRINCONSPED, CDCONSPEDIDO, NRITEMPED, "
                              "ATIVA, TXOBSLIBINCO) VALUES (?, ?, ?, ?, ?, ?, ?)"),
               {filial, o.nrPedido, IncKey(n), r.withItem ? QStringLiteral("005") : QStringLiteral("001"), item,
                r.ativa, r.note.isEmpty() ? QVariant() : QVariant(r.note)});
    }
    db.run(QStringLiteral("COMMIT"));
    return o;
}

} // namespace zel::test
