// Broken modules for the loader's tests, built from this one file:
// ZEL_BROKEN_NO_INIPROC lacks the entry IniProc; ZEL_BROKEN_INIT_FAILS fails
// its initialisation; ZEL_BROKEN_OTHER_VERSION was built for another version
// of the module interface (its other entries must never be called);
// ZEL_BROKEN_NO_VERSION does not tell its version.

#include "host/ModuleAbi.h"

#include <cstdlib>

#ifndef ZEL_BROKEN_NO_VERSION
ZEL_MODULE_EXPORT int ZelModuleAbiVersion()
{
#ifdef ZEL_BROKEN_OTHER_VERSION
    return zel::kZelModuleAbiVersion + 1;
#else
    return zel::kZelModuleAbiVersion;
#endif
}
#endif

ZEL_MODULE_EXPORT TZelModuleStatus ZelModuleInitialize(TZelModuleError* error)
{
#if defined(ZEL_BROKEN_OTHER_VERSION) || defined(ZEL_BROKEN_NO_VERSION)
    std::abort(); // a shell that calls in here has not checked the version
#endif
    return zel::ZelModuleEntry(error, [] {
#ifdef ZEL_BROKEN_INIT_FAILS
        throw zel::Exception(QStringLiteral("tabela de parâmetros ausente"));
#endif
    });
}

ZEL_MODULE_EXPORT TZelModuleStatus ZelModuleFinalize(TZelModuleError*)
{
    return ZEL_MODULE_OK;
}

#ifndef ZEL_BROKEN_NO_INIPROC
ZEL_MODULE_EXPORT TZelModuleStatus IniProc(const std::vector<zel::Variant>*, TZelModuleError*)
{
    return ZEL_MODULE_OK;
}
#endif
