#include "host/FiltroPadrao.h"

#include "host/Dialogs.h"
#include "host/Login.h"
#include "platform/widgets/MaskEdit.h"
#include "tests/support/Modal.h"

#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace zel;
using zel::test::WhenModal;

namespace {

class TfrmFiltroTeste : public TfrmFiltroPadrao {
public:
    TfrmFiltroTeste() : TfrmFiltroPadrao(nullptr, QStringLiteral("frmFiltroTeste"))
    {
        rbtTodos = new TRadioButton(grbFiltroPadrao, QStringLiteral("rbtTodos"), QStringLiteral("Todos"));
        SetBounds(rbtTodos, 6, 18, 80, 17);
        medDe = new TMaskEdit(grbFiltroPadrao, QStringLiteral("medDe"));
        medDe->setEditMask(QStringLiteral("9999999999;0; "));
        SetBounds(medDe, 6, 40, 100, 21);
    }
    void FormCreate(QObject* sender) override
    {
        TfrmFiltroPadrao::FormCreate(sender);
        calls << QStringLiteral("FormCreate");
        lblCodTela->setCaption(QStringLiteral("ZEL00001"));
    }
    void FormActivate(QObject*) override { calls << QStringLiteral("FormActivate"); }
    void FormClose(QObject* sender, TCloseAction& action) override
    {
        TfrmFiltroPadrao::FormClose(sender, action);
        calls << QStringLiteral("FormClose");
    }
    void btfLoadOpcClick(QObject* sender) override
    {
        TfrmFiltroPadrao::btfLoadOpcClick(sender);
        calls << QStringLiteral("btfLoadOpcClick");
    }
    TRadioButton* rbtTodos;
    TMaskEdit* medDe;
    QStringList calls;
};

} // namespace

TEST(FiltroPadrao, EachModalShowingActivatesOnceAndClosingHidesTheDialog)
{
    MessageSeam::clearHistory();
    QPointer<TfrmFiltroTeste> d = CreateForm<TfrmFiltroTeste>();
    for (const char* name : {"grbFiltroPadrao", "panMenu", "panBotoes", "sbtConfirma", "lblCodTela"})
        EXPECT_NE(d->findChild<QWidget*>(QString::fromLatin1(name)), nullptr) << name;
    EXPECT_EQ(d->msgPadrao.Name(), QStringLiteral("msgPadrao"));
    EXPECT_EQ(d->size(), QSize(396, 172));
    EXPECT_EQ(d->panMenu->geometry().left(), 341);

    auto modal = WhenModal<TfrmFiltroTeste>([](TfrmFiltroTeste* f) { QTest::keyClick(f, Qt::Key_Escape); });
    d->ShowModal();
    modal = WhenModal<TfrmFiltroTeste>([](TfrmFiltroTeste* f) { QTest::mouseClick(f->sbtFechar, Qt::LeftButton); });
    d->ShowModal();
    ASSERT_FALSE(d.isNull()) << "a closed filter dialog is kept";
    EXPECT_FALSE(d->isVisible());
    EXPECT_EQ(d->calls,
              (QStringList{QStringLiteral("FormCreate"), QStringLiteral("FormActivate"), QStringLiteral("FormClose"),
                           QStringLiteral("FormActivate"), QStringLiteral("FormClose")}));
    delete d;
}

TEST(FiltroPadrao, SavedOptionsComeBackPerScreenAndOperator)
{
    QTemporaryDir dir;
    TfrmFiltroPadrao::SetOptionsFile(dir.filePath(QStringLiteral("opcoes.ini")));
    TLoginInfo login;
    login.operador = QStringLiteral("0001");
    SetLogin(login);

    auto* d = CreateForm<TfrmFiltroTeste>();
    EXPECT_FALSE(d->HasSavedOptions());
    d->btfLoadOpcClick(d->btfLoadOpc); // nothing saved: nothing changes
    EXPECT_FALSE(d->rbtTodos->Checked());
    d->rbtTodos->setChecked(true);
    d->medDe->setText(QStringLiteral("123"));
    QTest::mouseClick(d->btfSaveOpc, Qt::LeftButton);
    EXPECT_TRUE(d->HasSavedOptions());
    delete d;

    auto* again = CreateForm<TfrmFiltroTeste>();
    QTest::mouseClick(again->btfLoadOpc, Qt::LeftButton);
    EXPECT_TRUE(again->rbtTodos->Checked());
    EXPECT_EQ(again->medDe->Text(), QStringLiteral("123"));
    EXPECT_EQ(again->cdsCarregaOpcoes.RecordCount(), 2);

    login.operador = QStringLiteral("0002"); // another operator has none
    SetLogin(login);
    EXPECT_FALSE(again->HasSavedOptions());
    delete again;
    ClearLogin();
    TfrmFiltroPadrao::SetOptionsFile(QString());
}
