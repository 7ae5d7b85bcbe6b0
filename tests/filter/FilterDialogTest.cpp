// The filter dialog's showing, its defaults, its modes and the restore of the
// last confirmed criteria.

#include "filter/Cli_zel08101.h"
#include "host/Dialogs.h"
#include "host/Strings.h"
#include "platform/data/DateTime.h"
#include "tests/filter/FilterFixture.h"

#include <QTest>

using namespace zel;
using namespace filter_test;
using Cli_zel08101::TfrmFiltroIncons;
namespace unit = Cli_zel08101;

namespace {

struct Box {
    bool lookUp, interval; // look-up button; both interval edits and their labels
};

Box box(TfrmFiltroIncons* f)
{
    const bool edits = f->medDeIntervalo->isEnabled() && f->medAteIntervalo->isEnabled() &&
                       f->lblDeNrPedido->isEnabled() && f->lblAteNrPedido->isEnabled();
    const bool noEdit = !f->medDeIntervalo->isEnabled() && !f->medAteIntervalo->isEnabled() &&
                        !f->lblDeNrPedido->isEnabled() && !f->lblAteNrPedido->isEnabled();
    EXPECT_TRUE(edits || noEdit) << "the interval edits and labels go together";
    return {f->sbtNrPedido->isEnabled(), edits};
}

// Types into an edit of the dialog and leaves it for the next one.
void typeAndLeave(QWidget* edit, const QString& text, QWidget* next)
{
    edit->setFocus();
    QTest::keyClicks(edit->focusProxy() ? edit->focusProxy() : edit, text);
    next->setFocus();
}

} // namespace

TEST_F(FilterTest, TheFirstShowingProposesEveryOrderOfTodayAndTheModesSwitchTheControls)
{
    TfrmFiltroIncons* seen = nullptr;
    ASSERT_TRUE(Show([&](TfrmFiltroIncons* f) {
        seen = f;
        EXPECT_EQ(f->windowTitle(), QStringLiteral("Filtro de Inconsistência de Pedidos"));
        EXPECT_EQ(f->lblCodTela->Caption(), QStringLiteral("ZEL08101"));
        EXPECT_EQ(f->parentWidget(), nullptr) << "owned by the application";
        EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::ArrowCursor) << "no hourglass while it is filled in";
        EXPECT_TRUE(f->rbtTNrPedido->Checked());
        EXPECT_FALSE(box(f).lookUp);
        EXPECT_FALSE(box(f).interval);
        EXPECT_EQ(f->medDeIntervalo->Text(), QString());
        EXPECT_EQ(f->medAteIntervalo->Text(), QString());
        EXPECT_EQ(f->depDe->Text(), DateToStr(TDateTime::Today()));
        EXPECT_EQ(f->depAte->GetDate(), TDateTime::Today());
        EXPECT_EQ(f->depEntrDE->Text(), QString());
        EXPECT_EQ(f->depEntrAte->Text(), QString());

        QTest::mouseClick(f->rbtIntervalo, Qt::LeftButton);
        EXPECT_FALSE(box(f).lookUp);
        EXPECT_TRUE(box(f).interval);
        typeAndLeave(f->medDeIntervalo, QStringLiteral("123"), f->medAteIntervalo);
        EXPECT_EQ(f->medDeIntervalo->Text(), QStringLiteral("0000000123")) << "brought to ten digits on leaving";

        QTest::mouseClick(f->rbtLNrPedido, Qt::LeftButton);
        EXPECT_TRUE(box(f).lookUp);
        EXPECT_FALSE(box(f).interval);
        EXPECT_EQ(f->medDeIntervalo->Text(), QStringLiteral("0000000123")) << "kept";

        QTest::mouseClick(f->rbtTNrPedido, Qt::LeftButton);
        EXPECT_FALSE(box(f).lookUp);
        EXPECT_FALSE(box(f).interval);
        EXPECT_EQ(f->medDeIntervalo->Text(), QString());

        // Leaving a date edit with no valid date in it is refused by the edit.
        typeAndLeave(f->depEntrDE, QStringLiteral("31022026"), f->depEntrAte);
        ASSERT_EQ(MessageSeam::errors().size(), 1u);
        EXPECT_TRUE(MessageSeam::errors()[0].contains(QStringLiteral("não é uma data válida")));
        EXPECT_EQ(f->focusWidget(), f->depEntrDE->Editor());
        f->depEntrDE->Clear();
    }));
    EXPECT_EQ(unit::frmFiltroIncons, seen) << "kept for the next showing";
    EXPECT_FALSE(seen->isVisible());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(Calls("GetPedido"), 0);
}

TEST_F(FilterTest, AConfirmedQueryComesBackAtTheNextShowingAndWhatWasNotConfirmedDoesNot)
{
    ASSERT_TRUE(Show([&](TfrmFiltroIncons* f) {
        QTest::mouseClick(f->rbtIntervalo, Qt::LeftButton);
        typeAndLeave(f->medDeIntervalo, QStringLiteral("1"), f->medAteIntervalo);
        typeAndLeave(f->medAteIntervalo, QStringLiteral("40"), f->depDe);
        f->depDe->Clear();
        f->depAte->Clear();
        EXPECT_TRUE(Confirm(f));
    }));
    const QStringList listed = ListedOrders();
    ASSERT_FALSE(listed.isEmpty());
    for (const QString& nr : listed)
        EXPECT_TRUE(nr >= QLatin1String("0000000001") && nr <= QLatin1String("0000000040")) << nr.toStdString();

    ASSERT_TRUE(Show([&](TfrmFiltroIncons* f) {
        EXPECT_TRUE(f->rbtIntervalo->Checked());
        EXPECT_FALSE(box(f).lookUp);
        EXPECT_TRUE(box(f).interval);
        EXPECT_EQ(f->medDeIntervalo->Text(), QStringLiteral("0000000001"));
        EXPECT_EQ(f->medAteIntervalo->Text(), QStringLiteral("0000000040"));
        // Confirmed empty: their date values were the empty edit's zero, which shows empty.
        EXPECT_EQ(f->depDe->Text(), QString());
        EXPECT_EQ(f->depAte->Text(), QString());
        EXPECT_EQ(f->depEntrDE->Text(), QString());

        // Picked and maximised, then closed without confirming.
        QTest::mouseClick(f->rbtLNrPedido, Qt::LeftButton);
        auto picker = PickRows({0, 1});
        QTest::mouseClick(f->sbtNrPedido, Qt::LeftButton);
        EXPECT_FALSE(zel::EmptyString(unit::stPedido));
        f->setWindowState(Qt::WindowMaximized);
    }));
    EXPECT_FALSE(unit::frmFiltroIncons->windowState() & Qt::WindowMaximized);

    ASSERT_TRUE(Show([&](TfrmFiltroIncons* f) {
        EXPECT_FALSE(f->windowState() & Qt::WindowMaximized);
        EXPECT_TRUE(f->rbtIntervalo->Checked()) << "the confirmed mode, not the one left";
        EXPECT_EQ(unit::stPedido, QStringLiteral(" ")) << "the unconfirmed list is dropped";
    }));
    EXPECT_EQ(Calls("GetPedido"), 1);
}
