#pragma once

// The entries of a module library, which the shell loads at run time. A
// module is a shared library that exports, with C linkage:
//
//   ZelModuleInitialize()  runs the module's unit initialisations, in order;
//                          called once, right after the library is loaded.
//                          A failure it raises makes the shell report the
//                          module as not loaded and unload the library.
//   ZelModuleFinalize()    runs the unit finalisations in reverse order;
//                          called once, before the library is unloaded (when
//                          the shell ends), after every screen of the module
//                          has been closed. It must destroy every window
//                          the module still holds outside the main form
//                          (a hidden dialog), since their code leaves with
//                          the library.
//   IniProc(params)        the entry of the module's menu function. A
//                          parameter that does not convert raises
//                          zel::EConvertError, which the shell shows.
//
// The three run on the user-interface thread. The module and the shell share
// one copy of the host library (a shared library), so the login, the data
// module and the first-activation flag seen by the module are the shell's.

#include "platform/data/Variant.h"

#include <vector>

#define ZEL_MODULE_EXPORT extern "C" __attribute__((visibility("default")))

namespace zel {

using ZelModuleInitializeProc = void (*)();
using ZelModuleFinalizeProc = void (*)();
using IniProcProc = void (*)(const std::vector<zel::Variant>& params);

inline constexpr const char* kZelModuleInitialize = "ZelModuleInitialize";
inline constexpr const char* kZelModuleFinalize = "ZelModuleFinalize";
inline constexpr const char* kIniProc = "IniProc";

} // namespace zel
