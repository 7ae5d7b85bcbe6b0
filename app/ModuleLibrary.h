#pragma once

#include "host/ModuleAbi.h"

#include <QLibrary>
#include <QString>

#include <memory>

namespace zel::app {

// A module library loaded at run time, with its lifecycle: Load resolves the
// three entries and runs the module's initialisation; Unload runs its
// finalisation and unloads the library. Every failure is reported as a text
// for the user, naming the library.
class TModuleLibrary {
public:
    explicit TModuleLibrary(QString path);
    ~TModuleLibrary();
    TModuleLibrary(const TModuleLibrary&) = delete;
    TModuleLibrary& operator=(const TModuleLibrary&) = delete;

    const QString& Path() const { return path_; }
    bool Loaded() const { return iniProc_ != nullptr; }

    // False, with the reason in error, when the library is missing, cannot be
    // loaded, lacks an entry, or its initialisation fails (the library is
    // then unloaded again).
    bool Load(QString& error);
    // Calls the module's IniProc; its failures reach the caller.
    void IniProc(const std::vector<zel::Variant>& params);
    // Runs the finalisation (a failure of it goes to the standard error
    // output: the shell is ending) and unloads the library.
    void Unload();

private:
    QString path_;
    std::unique_ptr<QLibrary> library_;
    ZelModuleInitializeProc initialize_ = nullptr;
    ZelModuleFinalizeProc finalize_ = nullptr;
    IniProcProc iniProc_ = nullptr;
};

} // namespace zel::app
