#include "host/BtnPesquisa.h"

#include "host/DBGeral.h"
#include "host/ListDialogs.h"
#include "host/Messages.h"
#include "platform/data/Exceptions.h"

#include <QApplication>
#include <QStyle>

namespace zel {

TBtnPesquisa::TBtnPesquisa(QWidget* parent, const QString& name) : TButtonFlat(parent, name)
{
    setGlyph(QApplication::style()->standardIcon(QStyle::SP_DirOpenIcon).pixmap(16, 16));
    OnClick = [this](QObject*) { Execute(); };
}

bool TBtnPesquisa::Execute()
{
    bool proceed = true;
    if (OnBeforePesq) OnBeforePesq(this, proceed);
    if (!proceed) return false;
    TDataSet* ds = DataSource ? DataSource->DataSet() : nullptr;
    if (!ds) DatabaseError(QStringLiteral("%1: o botão de pesquisa não tem lista.").arg(objectName()));
    if (TADOIBQuery* query = TADOIBQuery::OwnerOf(ds)) {
        query->Close();
        query->Open();
    } else if (!ds->Active()) {
        ds->Open();
    }
    if (ds->IsEmpty())
        MensErro(EmptyError.isEmpty() ? QStringLiteral("Não há registros para pesquisar.") : EmptyError, true);

    int picked = -1;
    {
        TfrmPesquisaLista dialog(ds, QString(), Title, false, window());
        dialog.setObjectName(QStringLiteral("frmPesquisa"));
        dialog.setCurrentRow(std::max(0, ds->CurrentRow()));
        if (dialog.exec() == QDialog::Accepted) picked = dialog.CurrentRow();
    }
    if (picked < 0) return false;
    ds->setRecNo(picked + 1);
    if (OnAfterPesq) OnAfterPesq(this);
    if (Associate && Associate->isEnabled()) Associate->setFocus(Qt::OtherFocusReason);
    return true;
}

} // namespace zel
