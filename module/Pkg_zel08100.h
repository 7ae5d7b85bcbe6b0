#pragma once

// The module's main unit: the load and unload sequences of its units.

#include "filter/ModuleExport.h"

#include <QStringList>

namespace Pkg_zel08100 {

// The units' initialisations, in order: this unit, the review unit, the
// filter unit.
void Load();
// Their finalisations, in reverse order.
void Unload();

// What the loads and unloads ran since the library was mapped, one line per
// unit and step ("Cli_zel08100 initialization", ...): the record of the
// module's lifecycle, which the loader tests read.
// A library that is really unloaded and loaded again starts with none.
PKG_ZEL08100_EXPORT extern QStringList unitTrace;

} // namespace Pkg_zel08100
