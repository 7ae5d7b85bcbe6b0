#pragma once

#include "platform/data/DataSource.h"
#include "platform/widgets/ButtonFlat.h"

#include <functional>

namespace zel {

class TADOIBQuery;

// The look-up button beside an edit. A click runs OnBeforePesq (which may
// cancel the look-up by setting its flag to false), opens the list of its
// data source's dataset (reopening it first when it is a direct query, so the
// list is current), and, when the list is empty, shows EmptyError as an error
// and stops. Otherwise the user picks one row in a modal list titled Title;
// the dataset is moved to the picked row, OnAfterPesq runs, and the focus
// goes to the associated edit. Cancelling the list runs nothing more.
class TBtnPesquisa : public TButtonFlat {
public:
    explicit TBtnPesquisa(QWidget* parent = nullptr, const QString& name = {});

    QWidget* Associate = nullptr;
    TDataSource* DataSource = nullptr;
    QString Title;
    QString EmptyError;

    std::function<void(QObject* sender, bool& proceed)> OnBeforePesq;
    TNotifyEvent OnAfterPesq;

    // The look-up itself (what a click runs); its failures reach the caller.
    // True when a row was picked.
    bool Execute();
};

} // namespace zel
