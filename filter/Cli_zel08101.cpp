#include "filter/Cli_zel08101.h"

#include "filter/TfrmFiltroIncons.h"
#include "host/Cursor.h"
#include "host/PadraoGrid.h"

namespace Cli_zel08101 {

TfrmFiltroIncons* frmFiltroIncons = nullptr;
QString stPedido;
TPedido NrPedido;
TData Data;
TEntrega Entrega;

void CriaFiltroInc()
{
    const zel::TCursorScope hourglass(Qt::WaitCursor);
    // Owned by the application, not by a screen: it outlives the review
    // screen and keeps its criteria and its order-number list between showings.
    if (!frmFiltroIncons) frmFiltroIncons = zel::CreateForm<TfrmFiltroIncons>();
    frmFiltroIncons->ShowModal();
    // A dialog maximised during this showing opens normal the next time.
    if (frmFiltroIncons)
        frmFiltroIncons->setWindowState(frmFiltroIncons->windowState() &
                                        ~(Qt::WindowMaximized | Qt::WindowMinimized | Qt::WindowFullScreen));
}

void Initialization()
{
    frmFiltroIncons = nullptr;
    stPedido = QStringLiteral(" ");
    NrPedido = TPedido();
    Data = TData();
    Entrega = TEntrega();
}

void Finalization()
{
    delete frmFiltroIncons;
    frmFiltroIncons = nullptr;
    stPedido.clear();
    stPedido.squeeze();
    NrPedido = TPedido();
    Entrega = TEntrega();
}

} // namespace Cli_zel08101
