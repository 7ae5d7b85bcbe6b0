#pragma once

#include "platform/data/Field.h"
#include "platform/data/RecordStore.h"
#include "platform/data/Variant.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <unordered_map>
#include <vector>

namespace zel::data {
class DataPacket;
class ChangePacket;
} // namespace zel::data

namespace zel {

class TDataSource;

enum class TDataSetState { dsInactive, dsBrowse, dsEdit, dsInsert };

// What a dataset tells its data sources, and they their links. UpdateData
// and CheckBrowseMode ask the controls to hand in what the user typed; the
// others report changes for the controls to show.
enum class TDataEvent {
    DataSetChanged,
    Scrolled,
    RecordChanged,
    StateChanged,
    UpdateData,
    CheckBrowseMode,
    ActiveChanged
};

// Identifies a row for as long as it exists, whatever moves around it; a
// reload or a close makes every earlier bookmark invalid.
using TBookmark = std::uint64_t;
constexpr TBookmark kNoBookmark = 0;

// An in-memory dataset with persistent fields, a current row, an edit buffer
// and a change log, with the event order of a classic data-aware framework:
//  - opening or reloading with rows makes the first row current and runs
//    AfterScroll; an empty load does not;
//  - every navigation call runs AfterScroll, also when nothing moves;
//  - a move while a row is edited posts it when a value changed, else cancels;
//  - Edit on an empty dataset is an insert; BeforeInsert may Abort it;
//  - Post hands in the controls' pending text, writes the row, returns to
//    browse (state change reported), then runs AfterPost, whose failures
//    reach whoever posted.
// Event handlers run synchronously; their exceptions propagate to the caller.
class TDataSet {
public:
    using TDataSetNotifyEvent = std::function<void(TDataSet*)>;

    explicit TDataSet(const QString& name = {});
    virtual ~TDataSet();
    TDataSet(const TDataSet&) = delete;
    TDataSet& operator=(const TDataSet&) = delete;

    const QString& Name() const { return name_; }
    void setName(const QString& n) { name_ = n; }

    // Persistent fields; the dataset owns them. Only allowed while closed.
    TField* AddField(const QString& fieldName, TFieldType type, int size = 0);
    int FieldCount() const { return int(fields_.size()); }
    TField* Field(int index) const { return fields_.at(size_t(index)).get(); }
    TField* FindField(const QString& fieldName) const;
    TField* FieldByName(const QString& fieldName) const; // raises when missing

    // State
    TDataSetState State() const { return state_; }
    bool Active() const { return state_ != TDataSetState::dsInactive; }
    // True while a row is edited or inserted.
    bool IsEditing() const { return state_ == TDataSetState::dsEdit || state_ == TDataSetState::dsInsert; }
    // Tells one edit or insert from the next: a new number each time the
    // dataset enters either state. Controls hand in text typed during an edit
    // only to that edit.
    std::uint64_t EditSession() const { return editSession_; }
    // True when closed or without rows (a row being inserted is not counted).
    bool IsEmpty() const { return !Active() || store_.rowCount() == 0; }
    bool Eof() const { return eof_ || IsEmpty(); }
    bool Bof() const { return bof_ || IsEmpty(); }
    // Rows as views see them: while a row is inserted it is counted, at its
    // insert position.
    int RecordCount() const;
    // 0-based view index of the current row, -1 when there is none.
    int CurrentRow() const;
    int RecNo() const { return CurrentRow() + 1; }
    bool Modified() const;

    void Open();  // opens with the rows it holds (none after a Close)
    void Close(); // discards rows and change log
    void setActive(bool a) { a ? Open() : Close(); }

    // Navigation: each runs AfterScroll, also when nothing moves.
    void First();
    void Last();
    void Next();
    void Prior();
    int MoveBy(int distance);
    void setRecNo(int recNo);
    // Moves to the first row whose field has the value; no move when none.
    bool Locate(const QString& fieldName, const Variant& value);

    TBookmark GetBookmark() const;
    // The bookmark of the row at a view index (see RecordCount); none for the
    // row being inserted.
    TBookmark BookmarkAt(int row) const;
    void GotoBookmark(TBookmark b);
    void FreeBookmark(TBookmark) {}
    bool BookmarkValid(TBookmark b) const;

    // Editing
    void Edit();
    void Insert();
    void Append();
    void Post();
    void Cancel();
    void Delete();
    void CheckBrowseMode();
    void UpdateRecord(); // controls hand in their pending text

    // Controls. While disabled, the data sources report no change to the
    // controls; they are still asked to hand in typed text when the dataset
    // posts or checks its browse mode, so that nothing typed is lost.
    void DisableControls();
    void EnableControls();
    bool ControlsDisabled() const { return disableCount_ > 0; }

    // Change log
    int ChangeCount() const { return int(log_.size()); }
    void MergeChangeLog();
    void CancelUpdates();

    // Events
    TDataSetNotifyEvent BeforeOpen, AfterOpen, BeforeClose, AfterClose;
    TDataSetNotifyEvent BeforeInsert, AfterInsert, BeforeEdit, AfterEdit;
    TDataSetNotifyEvent BeforePost, AfterPost, BeforeCancel, AfterCancel;
    TDataSetNotifyEvent BeforeDelete, AfterDelete, BeforeScroll, AfterScroll;

    // Read access for views (grids) that show many rows without moving the
    // current one: values of any row, and a scope that makes a row the active
    // record so that field reads and OnGetText see it (no events run).
    Variant ValueAt(int row, int fieldIndex) const;
    class ActiveRowScope {
    public:
        ActiveRowScope(const TDataSet* ds, int row);
        ~ActiveRowScope();
        ActiveRowScope(const ActiveRowScope&) = delete;
        ActiveRowScope& operator=(const ActiveRowScope&) = delete;

    private:
        TDataSet* ds_;
        int saved_;
    };

    // Internal plumbing used by fields and data sources.
    Variant FieldValue(const TField* f) const;
    void SetFieldValue(TField* f, const Variant& v);
    void RegisterDataSource(TDataSource* ds);
    void UnregisterDataSource(TDataSource* ds);

protected:
    // Replaces the content with rows already in the store layout. Opens the
    // dataset; with rows, the first row becomes current and AfterScroll runs.
    void LoadRows(RecordStore&& rows);
    const RecordStore& Store() const { return store_; }
    [[noreturn]] void Fail(const QString& message) const;
    void CheckActive() const;

    struct LogEntry {
        enum Kind { Modify, Insert, Delete } kind;
        std::uint32_t id;              // row id in the store
        std::vector<Variant> original; // base values (modify, delete)
        // Delete: the id of the row of the base that followed the deleted
        // one, 0 when it was the last; the undo puts the row back before it.
        std::uint32_t followedBy = 0;
    };
    const std::vector<LogEntry>& Log() const { return log_; }
    std::vector<Variant> RowValues(std::size_t row) const;
    std::size_t RowOf(std::uint32_t rowId) const; // npos when gone

private:
    void notify(TDataEvent what, TField* field = nullptr);
    void setState(TDataSetState s);
    void scrollTo(std::size_t row, bool bof, bool eof);
    void beginInsert(bool append);
    void writeBufferToStore();
    void run(const TDataSetNotifyEvent& e)
    {
        if (e) e(this);
    }
    void checkEditing(const TField* f) const;
    void reindexLog();
    std::uint32_t nextBaseRowId(std::size_t row) const;

    QString name_;
    std::vector<std::unique_ptr<TField>> fields_;
    std::vector<TDataSource*> sources_;
    RecordStore store_;
    TDataSetState state_ = TDataSetState::dsInactive;
    std::size_t cur_ = 0;
    bool bof_ = true, eof_ = true;
    int drawRow_ = -1;             // ActiveRowScope override
    std::uint64_t generation_ = 1; // of the loaded content, in bookmarks
    // Edit buffer of the current row (edit) or of the new row (insert).
    std::vector<Variant> buffer_;
    std::vector<Variant> bufferOriginal_;
    std::size_t insertAt_ = 0;
    std::uint64_t editSession_ = 0;
    int disableCount_ = 0;
    TDataSetState stateAtDisable_ = TDataSetState::dsInactive;
    bool pendingDataChange_ = false;
    std::vector<LogEntry> log_;
    std::unordered_map<std::uint32_t, std::size_t> logIndex_;
};

// Runs a long piece of work that reads but does not change the datasets, and
// returns when it is done; its failure is raised again in the caller. The
// host installs one that lets the user interface repaint meanwhile (a wait
// animation keeps turning); without one the work runs in place.
using TLongWorkRunner = std::function<void(const std::function<void()>& work)>;
void SetLongWorkRunner(TLongWorkRunner runner);

// A dataset filled only from data packets, whose pending changes are sent
// back as a change packet.
class TClientDataSet : public TDataSet {
public:
    using TDataSet::TDataSet;

    // Replaces the whole content and the change log. A packet that lacks a
    // persistent field, or carries it with another kind, or a value that does
    // not fit its field, is refused with EDatabaseError naming the field, and
    // the dataset keeps its previous content. Extra packet fields are ignored.
    // The rows of a packet of kLongLoadRows or more are checked and built by
    // the long-work runner; the dataset shows its previous content until the
    // new rows are in.
    void SetData(const zel::data::DataPacket& packet);
    static constexpr std::uint32_t kLongLoadRows = 10'000;
    // The pending changes only: original values and the changed fields' new values.
    zel::data::ChangePacket Delta() const;

private:
    // The checked rows of a packet; reads the fields only.
    RecordStore BuildRows(const zel::data::DataPacket& packet) const;
};

} // namespace zel
