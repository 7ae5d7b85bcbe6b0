#pragma once

// The entries of a module library, which the shell loads at run time. A
// module is a shared library that exports, with C linkage:
//
//   ZelModuleAbiVersion()  the version of this interface the module was built
//                          against. The shell calls it first, and calls
//                          nothing else of a module whose version differs
//                          from its own kZelModuleAbiVersion.
//   ZelModuleInitialize()  runs the module's unit initialisations, in order;
//                          called once, right after the library is loaded.
//                          A failure makes the shell report the module as not
//                          loaded and unload the library.
//   ZelModuleFinalize()    runs the unit finalisations in reverse order;
//                          called once, before the library is unloaded (when
//                          the shell ends), after every screen of the module
//                          has been closed. It must destroy every window the
//                          module still holds outside the main form (a hidden
//                          dialog), since their code leaves with the library.
//   IniProc(params)        the entry of the module's menu function. A
//                          parameter that does not convert is a conversion
//                          failure, which the shell shows.
//   ZelModuleMenu(...)     optional: the entries the module puts in the
//                          shell's menus. Called after the initialisation
//                          (with the operator logged in); choosing an entry
//                          calls IniProc with the entry's command as its one
//                          parameter. A module without it gets no entries
//                          of its own (the shell may still call IniProc).
//
// No exception crosses an entry: each one returns a TZelModuleStatus and
// describes a failure in the TZelModuleError the shell hands in (write it
// with ZelModuleEntry below). The shell raises the failure again on its side.
//
// The entries run on the user-interface thread. The module and the shell share
// one copy of the host library (a shared library), so the login, the data
// module and the first-activation flag seen by the module are the shell's.
// What the entries exchange besides the error (the parameters of IniProc) is
// laid out by the host library's types: a change to them changes the version.

#include "platform/data/Exceptions.h"
#include "platform/data/Variant.h"

#include <cstring>
#include <vector>

#define ZEL_MODULE_EXPORT extern "C" __attribute__((visibility("default")))

extern "C" {

enum TZelModuleStatus : int {
    ZEL_MODULE_OK = 0,
    ZEL_MODULE_FAILED = 1,     // shown to the user with its message
    ZEL_MODULE_CONVERSION = 2, // a parameter that does not convert
    ZEL_MODULE_ABORTED = 3,    // the silent abort: ends the action, shows nothing
};

// Filled by the module when an entry fails: the message for the user, UTF-8,
// cut to fit and always terminated.
struct TZelModuleError {
    char message[1024];
};

using ZelModuleAbiVersionProc = int (*)();
using ZelModuleInitializeProc = TZelModuleStatus (*)(TZelModuleError* error);
using ZelModuleFinalizeProc = TZelModuleStatus (*)(TZelModuleError* error);
using IniProcProc = TZelModuleStatus (*)(const std::vector<zel::Variant>* params, TZelModuleError* error);

// One menu entry of a module; texts UTF-8 and terminated.
struct TZelMenuEntry {
    char menu[64];    // the title of the shell's menu it goes in, "&" included ("&Pedidos")
    char name[64];    // the entry's object name
    char text[128];   // the entry's text, "&" marking its key
    char command[64]; // what IniProc gets when the entry is chosen
    int enabled;      // 0: shown, but not for this operator
};
// Fills at most `capacity` entries and sets *count to how many it filled.
using ZelModuleMenuProc = TZelModuleStatus (*)(TZelMenuEntry* entries, int capacity, int* count,
                                               TZelModuleError* error);
}

namespace zel {

// The version of the module interface this shell speaks.
inline constexpr int kZelModuleAbiVersion = 2;

inline constexpr const char* kZelModuleAbiVersionEntry = "ZelModuleAbiVersion";
inline constexpr const char* kZelModuleInitialize = "ZelModuleInitialize";
inline constexpr const char* kZelModuleFinalize = "ZelModuleFinalize";
inline constexpr const char* kIniProc = "IniProc";
inline constexpr const char* kZelModuleMenu = "ZelModuleMenu";

// Runs the body of an entry and turns whatever it raises into the status and
// the error's message: the one place of a module where its failures meet the
// boundary.
template <class Body> TZelModuleStatus ZelModuleEntry(TZelModuleError* error, Body&& body) noexcept
{
    const auto fail = [error](TZelModuleStatus status, const char* message) {
        if (error) {
            // Cut at a character boundary when it does not fit.
            std::size_t n = std::strlen(message);
            if (n >= sizeof error->message) {
                n = sizeof error->message - 1;
                while (n > 0 && (static_cast<unsigned char>(message[n]) & 0xC0) == 0x80)
                    --n;
            }
            std::memcpy(error->message, message, n);
            error->message[n] = '\0';
        }
        return status;
    };
    if (error) error->message[0] = '\0';
    try {
        body();
        return ZEL_MODULE_OK;
    } catch (const EAbort&) {
        return fail(ZEL_MODULE_ABORTED, "");
    } catch (const EConvertError& e) {
        return fail(ZEL_MODULE_CONVERSION, e.what());
    } catch (const std::exception& e) {
        return fail(ZEL_MODULE_FAILED, e.what());
    } catch (...) {
        return fail(ZEL_MODULE_FAILED, "falha desconhecida");
    }
}

} // namespace zel
