// The module library loaded the way the shell loads it. This program does not
// link the module: it reads the module's exported variables from the loaded
// library, as another module of the host would, and checks that an unload
// really takes the library out of the process.

#include "app/ModuleLibrary.h"
#include "platform/data/Exceptions.h"
#include "tests/support/Printers.h"

#include <QStringList>

#include <dlfcn.h>
#include <gtest/gtest.h>

using namespace zel;
using zel::app::TModuleLibrary;

namespace {

// A handle of the test's own on the module library, beside the shell's.
class Handle {
public:
    Handle() : h_(::dlopen(ZEL_MODULE_LIBRARY, RTLD_LAZY | RTLD_LOCAL)) {}
    ~Handle() { close(); }
    bool open() const { return h_ != nullptr; }
    template <class T> T* exported(const char* mangled) { return reinterpret_cast<T*>(::dlsym(h_, mangled)); }
    void close()
    {
        if (h_) ::dlclose(h_);
        h_ = nullptr;
    }

private:
    void* h_;
};

// True while the library is mapped in the process.
bool loaded()
{
    void* h = ::dlopen(ZEL_MODULE_LIBRARY, RTLD_LAZY | RTLD_NOLOAD);
    if (h) ::dlclose(h);
    return h != nullptr;
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
    Handle lib;
    ASSERT_TRUE(lib.open()) << ::dlerror();
    auto* trace = lib.exported<QStringList>("_ZN12Pkg_zel081009unitTraceE");
    auto* frmIncPed = lib.exported<void*>("_ZN12Cli_zel081009frmIncPedE");
    auto* boCriado = lib.exported<bool>("_ZN12Cli_zel081008boCriadoE");
    auto* inConPedCheck = lib.exported<std::int32_t>("_ZN12Cli_zel0810013inConPedCheckE");
    auto* stFilial = lib.exported<QString>("_ZN12Cli_zel081008stFilialE");
    auto* stPedido = lib.exported<QString>("_ZN12Cli_zel081018stPedidoE");
    ASSERT_TRUE(trace && frmIncPed && boCriado && inConPedCheck && stFilial && stPedido);
    EXPECT_TRUE(lib.exported<void>("_ZN12Cli_zel0810010CriaIncPedEbRK7QStringS2_S2_S2_")) << "CriaIncPed is exported";

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

    // Finalised: the second handle still keeps the library mapped.
    module.Unload();
    EXPECT_EQ(*trace,
              (QStringList{QStringLiteral("Pkg_zel08100 initialization"), QStringLiteral("Cli_zel08100 initialization"),
                           QStringLiteral("Cli_zel08101 initialization"), QStringLiteral("Cli_zel08101 finalization"),
                           QStringLiteral("Cli_zel08100 finalization"), QStringLiteral("Pkg_zel08100 finalization")}));
    EXPECT_TRUE(stFilial->isEmpty());
    EXPECT_TRUE(stPedido->isEmpty());

    // With the last handle gone the library leaves the process: nothing of it
    // may pin it (a GNU unique symbol makes the loader keep a library forever).
    EXPECT_TRUE(loaded());
    lib.close();
    EXPECT_FALSE(loaded()) << "the module library is still loaded after its unload";

    // Loaded again, it is a fresh copy: its variables start from their initial
    // values, and its trace holds only this load.
    TModuleLibrary again(path);
    ASSERT_TRUE(again.Load(error)) << error.toStdString();
    Handle fresh;
    ASSERT_TRUE(fresh.open()) << ::dlerror();
    trace = fresh.exported<QStringList>("_ZN12Pkg_zel081009unitTraceE");
    stFilial = fresh.exported<QString>("_ZN12Cli_zel081008stFilialE");
    ASSERT_TRUE(trace && stFilial);
    EXPECT_EQ(*trace,
              (QStringList{QStringLiteral("Pkg_zel08100 initialization"), QStringLiteral("Cli_zel08100 initialization"),
                           QStringLiteral("Cli_zel08101 initialization")}));
    EXPECT_EQ(*stFilial, QStringLiteral(" "));
    again.Unload();
    fresh.close();
    EXPECT_FALSE(loaded());
}
