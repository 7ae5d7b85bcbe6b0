#include "platform/data/DataSource.h"

#include <algorithm>

namespace zel {

TDataSource::TDataSource(const QString& name, TDataSet* dataSet) : name_(name)
{
    setDataSet(dataSet);
}

TDataSource::~TDataSource()
{
    for (TDataLink* l : std::vector<TDataLink*>(links_))
        l->setDataSource(nullptr);
    if (dataSet_) dataSet_->UnregisterDataSource(this);
}

void TDataSource::setDataSet(TDataSet* ds)
{
    if (ds == dataSet_) return;
    if (dataSet_) dataSet_->UnregisterDataSource(this);
    dataSet_ = ds;
    if (dataSet_) dataSet_->RegisterDataSource(this);
    for (TDataLink* l : std::vector<TDataLink*>(links_)) {
        l->ActiveChanged();
        l->DataSetChanged();
    }
}

void TDataSource::AddLink(TDataLink* l)
{
    if (std::find(links_.begin(), links_.end(), l) == links_.end()) links_.push_back(l);
}

void TDataSource::RemoveLink(TDataLink* l)
{
    links_.erase(std::remove(links_.begin(), links_.end(), l), links_.end());
}

void TDataSource::DataEvent(TDataEvent e, TField* field)
{
    const std::vector<TDataLink*> links(links_);
    auto each = [&](auto fn) {
        for (TDataLink* l : links)
            if (std::find(links_.begin(), links_.end(), l) != links_.end()) fn(l);
    };
    switch (e) {
    case TDataEvent::StateChanged:
        each([](TDataLink* l) { l->EditingChanged(); });
        if (OnStateChange) OnStateChange(this);
        break;
    case TDataEvent::ActiveChanged:
        each([](TDataLink* l) { l->ActiveChanged(); });
        break;
    case TDataEvent::DataSetChanged:
        each([](TDataLink* l) { l->DataSetChanged(); });
        if (OnDataChange) OnDataChange(this, nullptr);
        break;
    case TDataEvent::Scrolled:
        each([](TDataLink* l) { l->DataSetScrolled(); });
        if (OnDataChange) OnDataChange(this, nullptr);
        break;
    case TDataEvent::RecordChanged:
        each([field](TDataLink* l) { l->RecordChanged(field); });
        if (OnDataChange) OnDataChange(this, field);
        break;
    case TDataEvent::UpdateData:
        if (OnUpdateData) OnUpdateData(this);
        each([](TDataLink* l) { l->UpdateData(); });
        break;
    case TDataEvent::CheckBrowseMode:
        each([](TDataLink* l) { l->CheckBrowseMode(); });
        break;
    }
}

TDataLink::~TDataLink()
{
    if (source_) source_->RemoveLink(this);
}

void TDataLink::setDataSource(TDataSource* s)
{
    if (s == source_) return;
    if (source_) source_->RemoveLink(this);
    source_ = s;
    if (source_) source_->AddLink(this);
    ActiveChanged();
    DataSetChanged();
}

bool TDataLink::Editing() const
{
    TDataSet* ds = DataSet();
    return ds && ds->IsEditing();
}

bool TDataLink::Edit()
{
    if (!Active()) return false;
    if (!Editing()) DataSet()->Edit();
    return Editing();
}

TField* TFieldDataLink::Field() const
{
    TDataSet* ds = DataSet();
    return ds && !FieldName.isEmpty() ? ds->FindField(FieldName) : nullptr;
}

bool TFieldDataLink::Modified() const
{
    // Text typed during an edit that has ended since (cancelled while the
    // controls were disabled, say) belongs to no row any more.
    const TDataSet* ds = DataSet();
    return modified_ && ds && ds->IsEditing() && ds->EditSession() == editSession_;
}

void TFieldDataLink::Modify()
{
    modified_ = true;
    if (const TDataSet* ds = DataSet()) editSession_ = ds->EditSession();
}

void TFieldDataLink::Reset()
{
    modified_ = false;
    if (OnDataChange) OnDataChange();
}

void TFieldDataLink::ActiveChanged()
{
    modified_ = false;
    if (OnActiveChange) OnActiveChange();
    if (OnDataChange) OnDataChange();
}

void TFieldDataLink::DataSetChanged()
{
    Reset();
}

void TFieldDataLink::DataSetScrolled()
{
    Reset();
}

void TFieldDataLink::RecordChanged(TField* f)
{
    if (f == nullptr || f == Field()) Reset();
}

void TFieldDataLink::EditingChanged()
{
    if (!Editing()) modified_ = false;
    if (OnEditingChange) OnEditingChange();
}

void TFieldDataLink::UpdateData()
{
    if (Modified() && OnUpdateData) OnUpdateData();
    modified_ = false;
}

} // namespace zel
