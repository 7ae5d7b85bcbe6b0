#pragma once

// The filter unit: the order-number list text that the picker hands back.

#include "ModuleExport.h"

#include <QString>

namespace Cli_zel08101 {

// Order numbers picked from the branch's list, as one text; " " (one blank)
// when nothing is picked.
PKG_ZEL08100_EXPORT extern QString stPedido;

// Unit initialisation and finalisation, run by the module's load and unload.
void Initialization();
void Finalization();

} // namespace Cli_zel08101
