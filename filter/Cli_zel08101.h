#pragma once

// The filter unit: the single filter dialog, its entry, and the order-number
// list text that the picker hands back.

#include "filter/ModuleExport.h"

#include <QString>

namespace Cli_zel08101 {

class TfrmFiltroIncons;

// The one filter dialog; null until its first showing, then alive (hidden
// between showings) until the module is unloaded.
PKG_ZEL08100_EXPORT extern TfrmFiltroIncons* frmFiltroIncons;

// Order numbers picked from the branch's list, as one text; " " (one blank)
// when nothing is picked.
PKG_ZEL08100_EXPORT extern QString stPedido;

// Shows the filter dialog modally, creating it on its first showing.
PKG_ZEL08100_EXPORT void CriaFiltroInc();

// Unit initialisation and finalisation, run by the module's load and unload.
void Initialization();
void Finalization();

} // namespace Cli_zel08101
