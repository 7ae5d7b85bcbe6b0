#include "filter/Cli_zel08101.h"

#include "filter/TfrmFiltroIncons.h"
#include "host/PadraoGrid.h"

namespace Cli_zel08101 {

TfrmFiltroIncons* frmFiltroIncons = nullptr;
QString stPedido;

void CriaFiltroInc()
{
    if (!frmFiltroIncons) frmFiltroIncons = zel::CreateForm<TfrmFiltroIncons>();
    frmFiltroIncons->ShowModal();
}

void Initialization()
{
    frmFiltroIncons = nullptr;
    stPedido = QStringLiteral(" ");
}

void Finalization()
{
    delete frmFiltroIncons;
    frmFiltroIncons = nullptr;
    stPedido.clear();
    stPedido.squeeze();
}

} // namespace Cli_zel08101
