#pragma once

// The review unit: the entries that open the review screen and the module
// variables that the module's screens share (and other modules may read).

#include "filter/ModuleExport.h"
#include "platform/data/Variant.h"

#include <QString>

#include <cstdint>
#include <vector>

namespace Cli_zel08100 {

class TfrmIncPed;

// The one review screen; null until the first entry creates it and again
// once it has been released.
PKG_ZEL08100_EXPORT extern TfrmIncPed* frmIncPed;
// The review screen has been created and not closed since.
PKG_ZEL08100_EXPORT extern bool boCriado;
// Opening mode of the current review screen: true = opened from the menu, the
// orders are chosen with the filter dialog; false = opened for one given order.
PKG_ZEL08100_EXPORT extern bool criaFiltro;
// Count of marked inconsistencies of the current order.
PKG_ZEL08100_EXPORT extern std::int32_t inConPedCheck;
// Branch code handed in by the caller that opened the screen for one order.
PKG_ZEL08100_EXPORT extern QString stFilial;

// The entry of the menu function. params[0] the mode (boolean), [1] the
// branch code, [2] the order number, [3] the order date and [4] the delivery
// date (texts, the dates in the user's short date format). An element that
// does not convert raises zel::EConvertError before any screen is touched.
PKG_ZEL08100_EXPORT void IniProc(const std::vector<zel::Variant>& params);

// Opens the review screen: creates it on the first call, reuses it while it
// exists and, for a given order (modo false), loads that order into its list.
// A failure to fetch the order is told to the operator and leaves the list
// empty; the screen opens all the same.
PKG_ZEL08100_EXPORT void CriaIncPed(bool modo, const QString& filial, const QString& pedido, const QString& dtPedido,
                                    const QString& dtEntrega);

// Unit initialisation and finalisation, run by the module's load and unload.
void Initialization();
void Finalization();

} // namespace Cli_zel08100
