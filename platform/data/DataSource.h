#pragma once

#include "platform/data/DataSet.h"

#include <QString>

#include <functional>
#include <vector>

namespace zel {

class TDataLink;

// Connects a dataset to data-aware controls. While the dataset's controls are
// disabled it reports no change: no state change, no data change, nothing for
// its links to show; EnableControls resynchronises them. Requests to hand in
// typed text (UpdateData) still reach the links.
class TDataSource {
public:
    using TNotifyEvent = std::function<void(TDataSource* sender)>;
    using TDataChangeEvent = std::function<void(TDataSource* sender, TField* field)>;

    explicit TDataSource(const QString& name = {}, TDataSet* dataSet = nullptr);
    ~TDataSource();
    TDataSource(const TDataSource&) = delete;
    TDataSource& operator=(const TDataSource&) = delete;

    const QString& Name() const { return name_; }
    TDataSet* DataSet() const { return dataSet_; }
    void setDataSet(TDataSet* ds);
    TDataSetState State() const { return dataSet_ ? dataSet_->State() : TDataSetState::dsInactive; }

    TNotifyEvent OnStateChange;
    TDataChangeEvent OnDataChange;
    TNotifyEvent OnUpdateData;

    // Used by TDataSet and TDataLink.
    void DataEvent(TDataEvent e, TField* field);
    void AddLink(TDataLink* l);
    void RemoveLink(TDataLink* l);

private:
    QString name_;
    TDataSet* dataSet_ = nullptr;
    std::vector<TDataLink*> links_;
};

// What a data-aware control holds to follow a data source.
class TDataLink {
public:
    TDataLink() = default;
    virtual ~TDataLink();
    TDataLink(const TDataLink&) = delete;
    TDataLink& operator=(const TDataLink&) = delete;

    TDataSource* DataSource() const { return source_; }
    void setDataSource(TDataSource* s);
    TDataSet* DataSet() const { return source_ ? source_->DataSet() : nullptr; }
    bool Active() const { return DataSet() && DataSet()->Active(); }
    bool Editing() const;
    // Puts the dataset into edit (an insert when it is empty) and tells
    // whether it is editing. What the dataset raises goes to the caller: a
    // BeforeInsert that refuses raises EAbort, which the caller's guard ends
    // quietly.
    bool Edit();

    // Notifications, called by the data source.
    virtual void ActiveChanged() {}
    virtual void DataSetChanged() {}
    virtual void DataSetScrolled() {}
    virtual void RecordChanged(TField*) {}
    virtual void EditingChanged() {}
    virtual void UpdateData() {}
    virtual void CheckBrowseMode() {}

private:
    TDataSource* source_ = nullptr;
};

// A link to one field, with callbacks instead of overrides.
class TFieldDataLink : public TDataLink {
public:
    QString FieldName;
    TField* Field() const;
    // The control holds text typed during the dataset's current edit.
    bool Modified() const;
    void Modify();
    void Reset(); // drops the control's pending text and shows the field again

    std::function<void()> OnDataChange; // show the field's value again
    std::function<void()> OnUpdateData; // hand the pending text to the field
    std::function<void()> OnEditingChange;
    std::function<void()> OnActiveChange;

    void ActiveChanged() override;
    void DataSetChanged() override;
    void DataSetScrolled() override;
    void RecordChanged(TField* f) override;
    void EditingChanged() override;
    void UpdateData() override;

private:
    bool modified_ = false;
    std::uint64_t editSession_ = 0; // the edit the typed text belongs to
};

} // namespace zel
