// The review screen's start-up and the choice of its branch.

#include "review/TfrmIncPed.h"

namespace Cli_zel08100 {

using namespace zel;

void TfrmIncPed::FormCreate(QObject* Sender)
{
    TfrmPadraoGrid::FormCreate(Sender);
    netIncPed.Connect();
}

void TfrmIncPed::FormActivate(QObject*) {}

void TfrmIncPed::Vd_filial() {}

void TfrmIncPed::medCdFilialExit(QObject*) {}

void TfrmIncPed::medCdFilialChange(QObject*) {}

void TfrmIncPed::panFilialEnter(QObject*) {}

void TfrmIncPed::panFilialExit(QObject*) {}

void TfrmIncPed::btpFilialBeforePesq(QObject*, bool&) {}

void TfrmIncPed::btpFilialAfterPesq(QObject*) {}

} // namespace Cli_zel08100
