#include "Cli_zel08101.h"

namespace Cli_zel08101 {

QString stPedido;

void Initialization()
{
    stPedido = QStringLiteral(" ");
}

void Finalization()
{
    stPedido.clear();
    stPedido.squeeze();
}

} // namespace Cli_zel08101
