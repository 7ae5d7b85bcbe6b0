// The order-number list picker of the "Lista" mode: one fetch per branch,
// the empty list, and F9 on the option.

#include "filter/Cli_zel08101.h"
#include "host/Dialogs.h"
#include "host/ListDialogs.h"
#include "tests/filter/FilterFixture.h"

#include <QPushButton>
#include <QTest>

using namespace zel;
using namespace filter_test;
using Cli_zel08101::TfrmFiltroIncons;
namespace unit = Cli_zel08101;

TEST_F(FilterTest, TheBranchsOrderNumbersAreFetchedOncePerBranchAndKeepTheirMarks)
{
    ASSERT_TRUE(Show([&](TfrmFiltroIncons* f) {
        QTest::mouseClick(f->rbtLNrPedido, Qt::LeftButton);
        auto picker = PickRows({1});
        QTest::mouseClick(f->sbtNrPedido, Qt::LeftButton);
        EXPECT_EQ(Calls("GetNrPedido"), 1);
        ASSERT_GT(f->cdsNrPedido.RecordCount(), 2);
        const QString picked = unit::stPedido;

        // The second picking works on the same list, with the mark it left.
        bool markKept = false;
        picker = zel::test::WhenModal<TfrmPesquisaLista>([&](TfrmPesquisaLista* d) {
            markKept = d->Model()->Marked(1) && d->Model()->MarkedCount() == 1;
            d->btnCancelar->click();
        });
        QTest::mouseClick(f->sbtNrPedido, Qt::LeftButton);
        EXPECT_TRUE(markKept);
        EXPECT_EQ(Calls("GetNrPedido"), 1);
        EXPECT_EQ(unit::stPedido, picked) << "a cancelled picking changes nothing";

        // F9 on the option picks too, whatever the modifiers; elsewhere it does not.
        for (Qt::KeyboardModifiers m : {Qt::NoModifier, Qt::ShiftModifier, Qt::ControlModifier, Qt::AltModifier}) {
            auto cancel =
                zel::test::WhenModal<TfrmPesquisaLista>([](TfrmPesquisaLista* d) { d->btnCancelar->click(); });
            f->rbtLNrPedido->setFocus();
            QTest::keyClick(f->rbtLNrPedido, Qt::Key_F9, m);
        }
        f->rbtTNrPedido->setFocus();
        QTest::keyClick(f->rbtTNrPedido, Qt::Key_F9);
        EXPECT_EQ(QApplication::activeModalWidget(), f);
        EXPECT_EQ(Calls("GetNrPedido"), 1);
    }));

    // Another branch on the review screen reloads, and so does going back.
    for (const char* branch : {"0002", "0001"}) {
        screen->medCdFilial->setText(QString::fromLatin1(branch));
        ASSERT_TRUE(Show([&](TfrmFiltroIncons* f) {
            QTest::mouseClick(f->rbtLNrPedido, Qt::LeftButton);
            auto cancel =
                zel::test::WhenModal<TfrmPesquisaLista>([](TfrmPesquisaLista* d) { d->btnCancelar->click(); });
            QTest::mouseClick(f->sbtNrPedido, Qt::LeftButton);
            EXPECT_EQ(f->stFilialLista, QString::fromLatin1(branch));
        }));
    }
    EXPECT_EQ(Calls("GetNrPedido"), 3);
    EXPECT_TRUE(MessageSeam::history().empty());
}

TEST_F(FilterTest, ABranchWithNothingPendingShowsTheMessageAndNoPicker)
{
    const std::vector<QString> noList{QStringLiteral("Não existe inconsistência do pedido.")};
    ASSERT_TRUE(Show([&](TfrmFiltroIncons* f) {
        QTest::mouseClick(f->rbtLNrPedido, Qt::LeftButton);
        // An empty branch code equals the list never loaded: no call.
        screen->medCdFilial->setText(QString());
        QTest::mouseClick(f->sbtNrPedido, Qt::LeftButton);
        EXPECT_EQ(Calls("GetNrPedido"), 0);
        EXPECT_EQ(MessageSeam::errors(), noList);

        screen->medCdFilial->setText(QStringLiteral("0009")); // no such branch: nothing pending
        for (int picking = 1; picking <= 2; ++picking) {
            MessageSeam::clearHistory();
            QTest::mouseClick(f->sbtNrPedido, Qt::LeftButton);
            EXPECT_EQ(MessageSeam::errors(), noList);
            EXPECT_EQ(QApplication::activeModalWidget(), f) << "no picker";
        }
        EXPECT_EQ(Calls("GetNrPedido"), 1);
        EXPECT_EQ(unit::stPedido, QStringLiteral(" "));
    }));
}
