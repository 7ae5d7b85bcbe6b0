#include "tests/filter/FilterFixture.h"

#include "host/ListDialogs.h"
#include "review/Cli_zel08100.h"

#include <QTest>

using namespace zel;
using Cli_zel08101::TfrmFiltroIncons;

namespace filter_test {

void FilterTest::SetUp()
{
    ReviewTest::SetUp();
    if (HasFatalFailure()) return;
    TfrmFiltroPadrao::SetOptionsFile(options_.filePath(QStringLiteral("opcoes.ini")));
    SpyOnServer();
    ActivateMainForm();
    Cli_zel08100::IniProc({Variant(true), Variant(""), Variant(""), Variant(""), Variant("")});
    screen = Cli_zel08100::frmIncPed;
    ASSERT_NE(screen, nullptr);
    ASSERT_EQ(screen->medCdFilial->Text(), QStringLiteral("0001"));
}

void FilterTest::TearDown()
{
    ReviewTest::TearDown();
    TfrmFiltroPadrao::SetOptionsFile(QString());
}

bool FilterTest::Show(const std::function<void(TfrmFiltroIncons*)>& act)
{
    bool shown = false;
    auto dialog = zel::test::WhenModal<TfrmFiltroIncons>([&](TfrmFiltroIncons* f) {
        shown = true;
        f->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(f));
        act(f);
        if (f->isVisible()) f->Close();
    });
    Cli_zel08101::CriaFiltroInc();
    return shown;
}

zel::test::ModalExpectation FilterTest::PickRows(std::vector<int> rows)
{
    return zel::test::WhenModal<TfrmPesquisaLista>([rows](TfrmPesquisaLista* d) {
        for (int row : rows) {
            d->setCurrentRow(row);
            QTest::keyClick(d->grdLista, Qt::Key_Space);
        }
        QTest::keyClick(d->grdLista, Qt::Key_Return);
    });
}

bool FilterTest::Confirm(TfrmFiltroIncons* f)
{
    QTest::mouseClick(f->sbtConfirma, Qt::LeftButton);
    return !f->isVisible();
}

QStringList FilterTest::ListedOrders() const
{
    QStringList out;
    if (!screen->cdsPedido.Active()) return out;
    const int nr = screen->cdsPedido.FieldByName(QStringLiteral("NRPEDIDO"))->Index();
    for (int row = 0; row < screen->cdsPedido.RecordCount(); ++row)
        out << screen->cdsPedido.ValueAt(row, nr).toString();
    return out;
}

} // namespace filter_test
