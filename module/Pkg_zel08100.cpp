#include "module/Pkg_zel08100.h"

#include "filter/Cli_zel08101.h"
#include "host/ModuleAbi.h"
#include "review/Cli_zel08100.h"

namespace Pkg_zel08100 {

QStringList unitTrace;

namespace {

void Initialization()
{
    unitTrace << QStringLiteral("Pkg_zel08100 initialization");
}

void Finalization()
{
    unitTrace << QStringLiteral("Pkg_zel08100 finalization");
}

} // namespace

void Load()
{
    Initialization();
    Cli_zel08100::Initialization();
    unitTrace << QStringLiteral("Cli_zel08100 initialization");
    Cli_zel08101::Initialization();
    unitTrace << QStringLiteral("Cli_zel08101 initialization");
}

void Unload()
{
    Cli_zel08101::Finalization();
    unitTrace << QStringLiteral("Cli_zel08101 finalization");
    Cli_zel08100::Finalization();
    unitTrace << QStringLiteral("Cli_zel08100 finalization");
    Finalization();
}

} // namespace Pkg_zel08100

ZEL_MODULE_EXPORT int ZelModuleAbiVersion()
{
    return zel::kZelModuleAbiVersion;
}

ZEL_MODULE_EXPORT TZelModuleStatus ZelModuleInitialize(TZelModuleError* error)
{
    return zel::ZelModuleEntry(error, [] { Pkg_zel08100::Load(); });
}

ZEL_MODULE_EXPORT TZelModuleStatus ZelModuleFinalize(TZelModuleError* error)
{
    return zel::ZelModuleEntry(error, [] { Pkg_zel08100::Unload(); });
}

ZEL_MODULE_EXPORT TZelModuleStatus IniProc(const std::vector<zel::Variant>* params, TZelModuleError* error)
{
    return zel::ZelModuleEntry(error, [params] { Cli_zel08100::IniProc(*params); });
}
