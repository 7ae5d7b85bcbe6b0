// Broken modules for the loader's tests, built from this one file:
// ZEL_BROKEN_NO_INIPROC lacks the entry IniProc; ZEL_BROKEN_INIT_FAILS raises
// in its initialisation.

#include "host/ModuleAbi.h"
#include "platform/data/Exceptions.h"

ZEL_MODULE_EXPORT void ZelModuleInitialize()
{
#ifdef ZEL_BROKEN_INIT_FAILS
    throw zel::Exception(QStringLiteral("tabela de parâmetros ausente"));
#endif
}

ZEL_MODULE_EXPORT void ZelModuleFinalize() {}

#ifndef ZEL_BROKEN_NO_INIPROC
ZEL_MODULE_EXPORT void IniProc(const std::vector<zel::Variant>&) {}
#endif
