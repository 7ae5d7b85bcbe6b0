#pragma once

#include "host/ModuleAbi.h"

#include <QLibrary>
#include <QString>

#include <memory>

namespace zel::app {

// A module library loaded at run time, with its lifecycle: Load checks the
// module's interface version, resolves its entries and runs its
// initialisation; Unload runs its finalisation and unloads the library. Every
// failure is reported as a text for the user, naming the library.
class TModuleLibrary {
public:
    explicit TModuleLibrary(QString path);
    ~TModuleLibrary();
    TModuleLibrary(const TModuleLibrary&) = delete;
    TModuleLibrary& operator=(const TModuleLibrary&) = delete;

    const QString& Path() const { return path_; }
    bool Loaded() const { return iniProc_ != nullptr; }

    // False, with the reason in error, when the library is missing, cannot be
    // loaded, speaks another version of the interface, lacks an entry, or its
    // initialisation fails (the library is then unloaded again).
    bool Load(QString& error);
    // Calls the module's IniProc; the failure it reports is raised here
    // (EConvertError for a parameter that does not convert, EAbort silent).
    void IniProc(const std::vector<zel::Variant>& params);
    // The module's menu entries (none when it offers no ZelModuleMenu);
    // a failure it reports is raised here.
    std::vector<TZelMenuEntry> MenuEntries();
    // Runs the finalisation (a failure of it goes to the standard error
    // output: the shell is ending) and unloads the library.
    void Unload();

private:
    QString path_;
    std::unique_ptr<QLibrary> library_;
    ZelModuleFinalizeProc finalize_ = nullptr;
    IniProcProc iniProc_ = nullptr;
    ZelModuleMenuProc menu_ = nullptr;
};

} // namespace zel::app
