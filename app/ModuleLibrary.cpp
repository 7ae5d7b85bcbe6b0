#include "app/ModuleLibrary.h"

#include "host/Application.h"
#include "platform/data/Exceptions.h"

#include <QFileInfo>

#include <cstdio>

namespace zel::app {

TModuleLibrary::TModuleLibrary(QString path) : path_(std::move(path)) {}

TModuleLibrary::~TModuleLibrary()
{
    Unload();
}

bool TModuleLibrary::Load(QString& error)
{
    if (Loaded()) return true;
    const QString name = QFileInfo(path_).fileName();
    if (!QFileInfo::exists(path_)) {
        error = QStringLiteral("O módulo \"%1\" não foi encontrado em \"%2\".").arg(name, path_);
        return false;
    }
    auto lib = std::make_unique<QLibrary>(path_);
    // Every symbol resolved now: a library built against another host fails
    // here, not in the middle of a screen.
    lib->setLoadHints(QLibrary::ResolveAllSymbolsHint);
    if (!lib->load()) {
        error = QStringLiteral("Não foi possível carregar o módulo \"%1\": %2").arg(name, lib->errorString());
        return false;
    }
    auto init = reinterpret_cast<ZelModuleInitializeProc>(lib->resolve(kZelModuleInitialize));
    auto fini = reinterpret_cast<ZelModuleFinalizeProc>(lib->resolve(kZelModuleFinalize));
    auto entry = reinterpret_cast<IniProcProc>(lib->resolve(kIniProc));
    const char* missing = !init ? kZelModuleInitialize : !fini ? kZelModuleFinalize : !entry ? kIniProc : nullptr;
    if (missing) {
        error = QStringLiteral("O módulo \"%1\" não exporta a entrada %2.").arg(name, QString::fromLatin1(missing));
        lib->unload();
        return false;
    }
    try {
        init();
    } catch (...) {
        QString why = FailureText(std::current_exception());
        if (why.isEmpty()) why = QStringLiteral("a iniciação foi interrompida");
        error = QStringLiteral("Falha ao iniciar o módulo \"%1\": %2").arg(name, why);
        lib->unload();
        return false;
    }
    library_ = std::move(lib);
    initialize_ = init;
    finalize_ = fini;
    iniProc_ = entry;
    return true;
}

void TModuleLibrary::IniProc(const std::vector<zel::Variant>& params)
{
    if (!iniProc_)
        throw Exception(QStringLiteral("O módulo \"%1\" não está carregado.").arg(QFileInfo(path_).fileName()));
    iniProc_(params);
}

void TModuleLibrary::Unload()
{
    if (!library_) return;
    try {
        finalize_();
    } catch (...) {
        std::fprintf(stderr, "zel-host: the module %s failed to finalise: %s\n", qPrintable(path_),
                     qPrintable(FailureText(std::current_exception())));
    }
    initialize_ = nullptr;
    finalize_ = nullptr;
    iniProc_ = nullptr;
    library_->unload();
    library_.reset();
}

} // namespace zel::app
