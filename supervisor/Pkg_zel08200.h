#pragma once

// The supervisors' module's main unit: its menu entries and the entry that
// opens their screens.

#include "platform/data/Variant.h"

#include <QString>

#include <vector>

namespace Pkg_zel08200 {

// The commands of the module's menu entries.
inline constexpr const char* kCmdHistorico = "historico";
inline constexpr const char* kCmdLote = "lote";

// Opens (or brings to the front) the screen of a command; params[0] is the
// command. An unknown command is a conversion failure.
void IniProc(const std::vector<zel::Variant>& params);
// Closes and releases the module's screens.
void Unload();

} // namespace Pkg_zel08200
