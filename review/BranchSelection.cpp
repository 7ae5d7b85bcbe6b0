// The review screen's start-up and the choice of its branch.

#include "filter/Cli_zel08101.h"
#include "host/Login.h"
#include "host/Messages.h"
#include "host/ResultCheck.h"
#include "host/Strings.h"
#include "review/GuardedFetch.h"
#include "review/TfrmIncPed.h"

namespace Cli_zel08100 {

using namespace zel;

void TfrmIncPed::FormCreate(QObject* Sender)
{
    TfrmPadraoGrid::FormCreate(Sender);
    // A link that cannot connect shows up as failures of the later calls,
    // each handled where it is made.
    netIncPed.Connect();
    if (criaFiltro) {
        // The login's branch, as the login gave it: no look-up in the branch table.
        medCdFilial->setText(FiliProc());
        edtNmfilial->setText(NomeFiliProc());
    } else {
        medCdFilial->setText(stFilial);
        Vd_filial();
    }
    boPrimVez = true;
}

// The first activation decides whether the branch may change. When it may
// not, the release groups are fetched at once (and, from the menu, the
// filter dialog opens), and the focus goes to the order grid, where the
// orders loaded by then are worked on; the branch panel is never entered,
// since entering it empties the order lists. Later activations only repaint.
void TfrmIncPed::FormActivate(QObject*)
{
    repaint();
    if (!boPrimVez) return;
    if (criaFiltro) {
        state_.branchFixed = ModuFili();
        updateTools();
        if (ModuFili()) {
            panFilialExit(this);
            dbgPadrao->setFocus(Qt::OtherFocusReason);
        } else {
            medCdFilial->setFocus(Qt::OtherFocusReason);
        }
    } else {
        // The filter button off, as the given-order mode's rule gives it with
        // the release entries off.
        state_.filterMode = false;
        state_.filterSawRelease = false;
        state_.branchFixed = true;
        updateTools();
        SetColor(medCdFilial, colors::clBtnFace);
        panFilialExit(this);
        dbgPadrao->setFocus(Qt::OtherFocusReason);
    }
    boPrimVez = false;
}

void TfrmIncPed::Vd_filial()
{
    try {
        if (EmptyString(medCdFilial->Text())) MensErro(msgPadrao.Msg(QStringLiteral("FILI_INF")), true);
        medCdFilial->setText(Ajusta(medCdFilial->Text(), 4));
        qryVd_filial.Close();
        qryVd_filial.ParamByName(QStringLiteral("P_CDFILIAL")).setAsString(medCdFilial->Text());
        qryVd_filial.Open();
        if (qryVd_filial.IsEmpty()) MensErro(msgPadrao.Msg(QStringLiteral("FILI_N_CAD")), true);
        edtNmfilial->setText(qryVd_filial.FieldByName(QStringLiteral("NMFILIAL"))->AsString());
    } catch (...) {
        // For one given order, with a branch the operator may change, the code
        // goes back to the operator once the field can take the focus. From
        // the menu the focus moves on as the operator moved it.
        if (!ModuFili() && !criaFiltro && medCdFilial->isVisible() && !state_.branchFixed)
            medCdFilial->setFocus(Qt::OtherFocusReason);
        throw;
    }
}

void TfrmIncPed::medCdFilialExit(QObject*)
{
    Vd_filial();
}

void TfrmIncPed::medCdFilialChange(QObject*)
{
    edtNmfilial->Clear();
}

// Both lists are emptied while the branch may change; the marking follows,
// as it does when a reload comes back empty.
void TfrmIncPed::panFilialEnter(QObject*)
{
    cdsPedido.Close();
    cdsIncPed.Close();
    cdsItemPedido.Close();
    resetMarking();
}

// Every exit from the branch panel, changed or not, fetches the release
// groups anew and, from the menu, asks for the orders again. A failed fetch
// keeps the release groups of the previous branch.
void TfrmIncPed::panFilialExit(QObject*)
{
    GuardedFetch([this] {
        cdsGrupOper.SetData(CheckResultServ(AppServer().GetGrupOper(medCdFilial->Text(), Operador()), true, 0));
    });
    if (criaFiltro) Cli_zel08101::CriaFiltroInc();
}

void TfrmIncPed::btpFilialBeforePesq(QObject* Sender, bool&)
{
    panFilialEnter(Sender);
}

// The code first, then the name: the change of the code empties the name box.
void TfrmIncPed::btpFilialAfterPesq(QObject*)
{
    medCdFilial->setText(qryFilial.FieldByName(QStringLiteral("CDFILIAL"))->AsString());
    edtNmfilial->setText(qryFilial.FieldByName(QStringLiteral("NMFILIAL"))->AsString());
}

} // namespace Cli_zel08100
