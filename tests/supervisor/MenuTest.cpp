// The shell gives the supervisors' module its entries under "Pedidos",
// beside the review module's, enabled by the operator's rights in the
// login's branch.
#include "host/Dialogs.h"
#include "host/Login.h"
#include "host/LoginClient.h"
#include "tests/supervisor/SupervisorFixture.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

namespace zel::test {
namespace {

TEST_F(SupervisorTest, TheEntriesGoUnderPedidosEnabledByTheOperatorsRights)
{
    struct Case {
        const char* operador;
        bool history, batch;
    };
    // 0010 reads every branch's history and belongs to a release group of
    // each; 0002 releases (group 02) but may not read the history.
    for (const Case& c : {Case{"0010", true, true}, Case{"0002", false, true}}) {
        SCOPED_TRACE(c.operador);
        OpenShell(QString::fromLatin1(c.operador));
        QAction* history = MenuEntry("mnuHistLib");
        QAction* batch = MenuEntry("mnuLibLote");
        ASSERT_NE(history, nullptr);
        ASSERT_NE(batch, nullptr);
        EXPECT_EQ(history->text(), QStringLiteral("&Histórico de liberações"));
        EXPECT_EQ(batch->text(), QStringLiteral("Liberação em &lote"));
        EXPECT_EQ(history->isEnabled(), c.history);
        EXPECT_EQ(batch->isEnabled(), c.batch);
        // One "Pedidos" menu holds the review module's entries and these.
        auto* pedidos = main_->menuBar()->findChild<QMenu*>(QStringLiteral("mnuPedidos"));
        ASSERT_NE(pedidos, nullptr);
        EXPECT_TRUE(pedidos->actions().contains(history));
        EXPECT_TRUE(pedidos->actions().contains(batch));
        EXPECT_TRUE(pedidos->actions().contains(main_->mnuIncPed));
        CloseShell();
    }
}

TEST_F(SupervisorTest, AModuleThatCannotLoadIsReportedAndTheOthersStillLoad)
{
    SetLogin(Entrar(server_.host(), server_.port(), QStringLiteral("0010"), QStringLiteral("demo")));
    main_ = std::make_unique<zel::app::TfrmPrincipal>(QStringLiteral(ZEL_REVIEW_MODULE));
    main_->show();
    main_->LoadMenuModules({QStringLiteral("/nenhum/libPKG_ZEL99999.so"), QStringLiteral(ZEL_SUPERVISOR_MODULE)});
    ASSERT_EQ(MessageSeam::errors().size(), 1u);
    EXPECT_TRUE(MessageSeam::errors()[0].contains(QStringLiteral("libPKG_ZEL99999.so")));
    ASSERT_NE(MenuEntry("mnuLibLote"), nullptr);
    EXPECT_TRUE(MenuEntry("mnuLibLote")->isEnabled());
    ASSERT_EQ(main_->MenuModules().size(), 1u);
}

TEST_F(SupervisorTest, EveryControlOfTheScreensHasAName)
{
    OpenShell(QStringLiteral("0010"));
    for (const auto& [entry, screen] : {std::pair{"mnuHistLib", "frmHistLib"}, std::pair{"mnuLibLote", "frmLibLote"}}) {
        QWidget* w = Open(entry, screen);
        ASSERT_NE(w, nullptr);
        if (qEnvironmentVariableIsSet("ZEL_SHOT_DIR"))
            main_->grab().save(qEnvironmentVariable("ZEL_SHOT_DIR") + QLatin1Char('/') + screen + ".png");
        for (QWidget* child : w->findChildren<QWidget*>()) {
            // Qt's own parts of a control (scroll bars, viewports) are not ours to name.
            if (child->objectName().startsWith(QLatin1String("qt_")) || !child->parentWidget()) continue;
            const bool ours = child->parentWidget() == w || child->parentWidget()->objectName().startsWith("pan");
            if (ours) {
                EXPECT_FALSE(child->objectName().isEmpty()) << screen << ": a " << child->metaObject()->className();
            }
        }
    }
}

} // namespace
} // namespace zel::test
