#pragma once

#include "platform/data/DataSet.h"
#include "platform/data/DataSource.h"
#include "tests/support/Packets.h"

#include <QApplication>
#include <QKeyEvent>
#include <QStringList>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>
#include <memory>
#include <ostream>

// Readable failures for texts and lists of texts.
inline void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}
inline void PrintTo(const QStringList& l, std::ostream* os)
{
    *os << '[' << l.join(QStringLiteral(", ")).toStdString() << ']';
}

namespace zel::test {

// What the guard would have shown to the user, in order.
QStringList& reported();

// An order list as the review screen has it: hidden fields, a formatted
// value, a situation code shown through OnGetText.
inline std::unique_ptr<TClientDataSet> makeOrders()
{
    auto ds = std::make_unique<TClientDataSet>(QStringLiteral("cdsPedido"));
    ds->AddField("IDSITPEDIDO", TFieldType::ftString, 1)->setDisplayLabel(QStringLiteral("Situação"));
    ds->AddField("NRPEDIDO", TFieldType::ftString, 10)->setDisplayLabel(QStringLiteral("Nr. Pedido"));
    ds->AddField("CDCLIENTE", TFieldType::ftString, 21)->setVisible(false);
    ds->AddField("NMFANTCLIE", TFieldType::ftString, 50)->setDisplayLabel(QStringLiteral("Cliente"));
    TField* vr = ds->AddField("VRPEDIDO", TFieldType::ftFloat);
    vr->setDisplayLabel(QStringLiteral("Vr. Pedido"));
    vr->setDisplayFormat(QStringLiteral("#,##0.00"));
    ds->AddField("CDFILIAL", TFieldType::ftString, 4)->setVisible(false);
    return ds;
}

// Loads rows: situation, order number, customer, value; branch "0001".
inline void loadOrders(TClientDataSet& ds, const std::vector<std::tuple<QString, QString, QString, double>>& rows)
{
    PacketFor orders(ds);
    for (const auto& [sit, nr, cli, vr] : rows)
        orders.row({{"IDSITPEDIDO", sit},
                    {"NRPEDIDO", nr},
                    {"CDCLIENTE", QStringLiteral("C") + nr},
                    {"NMFANTCLIE", cli},
                    {"VRPEDIDO", vr},
                    {"CDFILIAL", "0001"}});
    ds.SetData(orders.Take());
}

inline void loadOrders(TClientDataSet& ds, int n)
{
    std::vector<std::tuple<QString, QString, QString, double>> rows;
    for (int i = 1; i <= n; ++i)
        rows.emplace_back(QString::number(1 + i % 5), QStringLiteral("%1").arg(i, 10, 10, QLatin1Char('0')),
                          QStringLiteral("Cliente %1").arg(i), i * 10.5);
    loadOrders(ds, rows);
}

// An inconsistency list: the mark, a code, a description and the note.
inline std::unique_ptr<TClientDataSet> makeIncs()
{
    auto ds = std::make_unique<TClientDataSet>(QStringLiteral("cdsIncPed"));
    ds->AddField("CDFILIAL", TFieldType::ftString, 4)->setVisible(false);
    ds->AddField("CDCONSPEDIDO", TFieldType::ftString, 3)->setDisplayLabel(QStringLiteral("Código"));
    ds->AddField("NMCONSPEDIDO", TFieldType::ftString, 50)->setDisplayLabel(QStringLiteral("Descrição"));
    ds->AddField("TXOBSLIBINCO", TFieldType::ftString, 20)->setVisible(false);
    ds->AddField("ATIVA", TFieldType::ftFixedChar, 1)->setDisplayLabel(QStringLiteral("Check"));
    return ds;
}

inline void loadIncs(TClientDataSet& ds, int n)
{
    PacketWriter w;
    w.field("CDFILIAL", TFieldType::ftString, 4)
        .field("CDCONSPEDIDO", TFieldType::ftString, 3)
        .field("NMCONSPEDIDO", TFieldType::ftString, 50)
        .field("TXOBSLIBINCO", TFieldType::ftString, 20)
        .field("ATIVA", TFieldType::ftFixedChar, 1);
    for (int i = 1; i <= n; ++i)
        w.row({QStringLiteral("0001"), QStringLiteral("%1").arg(i, 3, 10, QLatin1Char('0')),
               QStringLiteral("Inconsistência %1").arg(i), QStringLiteral("nota %1").arg(i), QStringLiteral("N")});
    ds.SetData(w.Take());
}

// A top-level window, shown and active, so that focus and input work.
inline void showActive(QWidget& w)
{
    w.show();
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
}

// Types text into whatever has the focus, as a keyboard does; also characters
// beyond ASCII.
inline void typeText(const QString& text)
{
    for (QChar c : text) {
        QWidget* w = QApplication::focusWidget();
        if (!w) return;
        const int key = c.toUpper().unicode();
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, QString(c));
        QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, QString(c));
        QApplication::sendEvent(w, &press);
        QApplication::sendEvent(w, &release);
    }
}

// Every test starts with no failure reported. A window it leaves shown fails
// it (the checks of the test program).
class WidgetTest : public ::testing::Test {
protected:
    void SetUp() override { reported().clear(); }
};

} // namespace zel::test
