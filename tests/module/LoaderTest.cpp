// The module library loaded the way the shell loads it. This program does not
// link the module: it reads the module's exported variables from the loaded
// library, as another module of the host would.

#include "app/ModuleLibrary.h"
#include "platform/data/Exceptions.h"

#include <QLibrary>
#include <QStringList>

#include <gtest/gtest.h>

using namespace zel;
using zel::app::TModuleLibrary;

namespace {

template <class T> T* exported(QLibrary& lib, const char* mangled)
{
    return reinterpret_cast<T*>(lib.resolve(mangled));
}

} // namespace

TEST(ModuleLoader, TheUnitsInitialiseInOrderAndFinaliseInReverse)
{
    const QString path = QStringLiteral(ZEL_MODULE_LIBRARY);
    TModuleLibrary module(path);
    QString error;
    ASSERT_TRUE(module.Load(error)) << error.toStdString();

    // A second handle keeps the library mapped after the shell unloads it, so
    // that what the finalisation left can be read.
    QLibrary lib(path);
    ASSERT_TRUE(lib.load()) << lib.errorString().toStdString();
    auto* trace = exported<QStringList>(lib, "_ZN12Pkg_zel081009unitTraceE");
    auto* frmIncPed = exported<void*>(lib, "_ZN12Cli_zel081009frmIncPedE");
    auto* boCriado = exported<bool>(lib, "_ZN12Cli_zel081008boCriadoE");
    auto* inConPedCheck = exported<std::int32_t>(lib, "_ZN12Cli_zel0810013inConPedCheckE");
    auto* stFilial = exported<QString>(lib, "_ZN12Cli_zel081008stFilialE");
    auto* stPedido = exported<QString>(lib, "_ZN12Cli_zel081018stPedidoE");
    ASSERT_TRUE(trace && frmIncPed && boCriado && inConPedCheck && stFilial && stPedido);
    EXPECT_TRUE(lib.resolve("_ZN12Cli_zel0810010CriaIncPedEbRK7QStringS2_S2_S2_")) << "CriaIncPed is exported";

    EXPECT_EQ(*trace,
              (QStringList{QStringLiteral("Pkg_zel08100 initialization"), QStringLiteral("Cli_zel08100 initialization"),
                           QStringLiteral("Cli_zel08101 initialization")}));
    EXPECT_EQ(*frmIncPed, nullptr);
    EXPECT_FALSE(*boCriado);
    EXPECT_EQ(*inConPedCheck, 0);
    EXPECT_EQ(*stFilial, QStringLiteral(" "));
    EXPECT_EQ(*stPedido, QStringLiteral(" "));

    // The entry's conversion failure reaches the shell, and no screen exists.
    EXPECT_THROW(module.IniProc({Variant("talvez"), Variant(""), Variant(""), Variant(""), Variant("")}),
                 EConvertError);
    EXPECT_EQ(*frmIncPed, nullptr);
    EXPECT_FALSE(*boCriado);

    module.Unload();
    EXPECT_EQ(*trace,
              (QStringList{QStringLiteral("Pkg_zel08100 initialization"), QStringLiteral("Cli_zel08100 initialization"),
                           QStringLiteral("Cli_zel08101 initialization"), QStringLiteral("Cli_zel08101 finalization"),
                           QStringLiteral("Cli_zel08100 finalization"), QStringLiteral("Pkg_zel08100 finalization")}));
    EXPECT_TRUE(stFilial->isEmpty());
    EXPECT_TRUE(stPedido->isEmpty());

    // Loaded again, the module starts afresh.
    TModuleLibrary again(path);
    ASSERT_TRUE(again.Load(error)) << error.toStdString();
    EXPECT_EQ(trace->size(), 3);
    EXPECT_EQ(*stFilial, QStringLiteral(" "));
    again.Unload();
    lib.unload();
}
