#include "filter/TfrmFiltroIncons.h"

namespace Cli_zel08101 {

TfrmFiltroIncons::TfrmFiltroIncons(QWidget* owner) : TfrmFiltroPadrao(owner, QStringLiteral("frmFiltroIncons"))
{
    setCaption(QStringLiteral("Filtro de Inconsistência de Pedidos"));
}

TfrmFiltroIncons::~TfrmFiltroIncons()
{
    if (frmFiltroIncons == this) frmFiltroIncons = nullptr;
}

} // namespace Cli_zel08101
