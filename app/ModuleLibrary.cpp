#include "app/ModuleLibrary.h"

#include "platform/data/Exceptions.h"

#include <QFileInfo>

#include <algorithm>
#include <cstdio>

namespace zel::app {

TModuleLibrary::TModuleLibrary(QString path) : path_(std::move(path)) {}

TModuleLibrary::~TModuleLibrary()
{
    Unload();
}

namespace {

// Raises, on the shell's side, the failure an entry reported.
void RaiseReported(TZelModuleStatus status, const TZelModuleError& error)
{
    const QString message = QString::fromUtf8(error.message);
    switch (status) {
    case ZEL_MODULE_OK:
        return;
    case ZEL_MODULE_ABORTED:
        Abort();
    case ZEL_MODULE_CONVERSION:
        throw EConvertError(message);
    case ZEL_MODULE_FAILED:
        break;
    }
    throw Exception(message.isEmpty() ? QStringLiteral("O módulo falhou sem dizer por quê.") : message);
}

} // namespace

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
    const auto refuse = [&](const QString& why) {
        error = why;
        lib->unload();
        return false;
    };
    // The version first: nothing else is called in a module of another one.
    auto version = reinterpret_cast<ZelModuleAbiVersionProc>(lib->resolve(kZelModuleAbiVersionEntry));
    if (!version)
        return refuse(QStringLiteral("O módulo \"%1\" não informa a versão da interface de módulos.").arg(name));
    if (const int v = version(); v != kZelModuleAbiVersion)
        return refuse(QStringLiteral("O módulo \"%1\" foi feito para a versão %2 da interface de módulos; "
                                     "esta aplicação usa a versão %3.")
                          .arg(name)
                          .arg(v)
                          .arg(kZelModuleAbiVersion));
    auto init = reinterpret_cast<ZelModuleInitializeProc>(lib->resolve(kZelModuleInitialize));
    auto fini = reinterpret_cast<ZelModuleFinalizeProc>(lib->resolve(kZelModuleFinalize));
    auto entry = reinterpret_cast<IniProcProc>(lib->resolve(kIniProc));
    const char* missing = !init ? kZelModuleInitialize : !fini ? kZelModuleFinalize : !entry ? kIniProc : nullptr;
    if (missing)
        return refuse(
            QStringLiteral("O módulo \"%1\" não exporta a entrada %2.").arg(name, QString::fromLatin1(missing)));
    TZelModuleError failure{};
    if (const TZelModuleStatus status = init(&failure); status != ZEL_MODULE_OK) {
        QString why = QString::fromUtf8(failure.message);
        if (why.isEmpty()) why = QStringLiteral("a iniciação foi interrompida");
        return refuse(QStringLiteral("Falha ao iniciar o módulo \"%1\": %2").arg(name, why));
    }
    menu_ = reinterpret_cast<ZelModuleMenuProc>(lib->resolve(kZelModuleMenu));
    library_ = std::move(lib);
    finalize_ = fini;
    iniProc_ = entry;
    return true;
}

void TModuleLibrary::IniProc(const std::vector<zel::Variant>& params)
{
    if (!iniProc_)
        throw Exception(QStringLiteral("O módulo \"%1\" não está carregado.").arg(QFileInfo(path_).fileName()));
    TZelModuleError failure{};
    RaiseReported(iniProc_(&params, &failure), failure);
}

std::vector<TZelMenuEntry> TModuleLibrary::MenuEntries()
{
    if (!iniProc_ || !menu_) return {};
    std::vector<TZelMenuEntry> entries(32);
    int count = 0;
    TZelModuleError failure{};
    RaiseReported(menu_(entries.data(), int(entries.size()), &count, &failure), failure);
    entries.resize(std::size_t(std::clamp(count, 0, int(entries.size()))));
    // The texts end within their fields, whatever the module wrote.
    for (TZelMenuEntry& e : entries) {
        e.menu[sizeof e.menu - 1] = e.name[sizeof e.name - 1] = '\0';
        e.text[sizeof e.text - 1] = e.command[sizeof e.command - 1] = '\0';
    }
    return entries;
}

void TModuleLibrary::Unload()
{
    if (!library_) return;
    TZelModuleError failure{};
    if (finalize_(&failure) != ZEL_MODULE_OK)
        std::fprintf(stderr, "zel-host: the module %s failed to finalise: %s\n", qPrintable(path_), failure.message);
    finalize_ = nullptr;
    iniProc_ = nullptr;
    menu_ = nullptr;
    library_->unload();
    library_.reset();
}

} // namespace zel::app
