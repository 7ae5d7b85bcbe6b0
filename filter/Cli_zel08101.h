#pragma once

// The filter unit: the single filter dialog, its entry, the order-number list
// text that the picker hands back, and the criteria of the last confirmed
// query, which each showing of the dialog restores.

#include "filter/ModuleExport.h"
#include "platform/data/DateTime.h"

#include <QString>

namespace Cli_zel08101 {

class TfrmFiltroIncons;

// The order-number criterion of the last confirmed query: which of the three
// modes was checked, the texts of the interval edits (whatever the mode) and
// the picked list (whatever the mode).
struct TPedido {
    bool boTodos = false;
    bool boLista = false;
    bool boIntervalo = false;
    QString stDe;
    QString stAte;
    QString stLista;
};

// The order-date range of the last confirmed query, as date values (the zero
// date-time for an edit that was empty).
struct TData {
    zel::TDateTime dtDe;
    zel::TDateTime dtAte;
};

// The delivery-date range of the last confirmed query, as the edits' texts.
struct TEntrega {
    QString stDe;
    QString stAte;
};

// The one filter dialog; null until its first showing, then alive (hidden
// between showings) until the module is unloaded.
PKG_ZEL08100_EXPORT extern TfrmFiltroIncons* frmFiltroIncons;

// Order numbers picked from the branch's list, as one text; " " (one blank)
// when nothing is picked.
PKG_ZEL08100_EXPORT extern QString stPedido;

// The criteria of the last confirmed query; their defaults are set when the
// dialog is created.
PKG_ZEL08100_EXPORT extern TPedido NrPedido;
PKG_ZEL08100_EXPORT extern TData Data;
PKG_ZEL08100_EXPORT extern TEntrega Entrega;

// Shows the filter dialog modally, creating it on its first showing; returns
// when it has closed.
PKG_ZEL08100_EXPORT void CriaFiltroInc();

// Unit initialisation and finalisation, run by the module's load and unload.
void Initialization();
void Finalization();

} // namespace Cli_zel08101
