#include "platform/data/DataSet.h"

#include "platform/data/DataSource.h"
#include "platform/data/Exceptions.h"

#include <algorithm>

namespace zel {
namespace {
constexpr std::size_t npos = std::size_t(-1);
}

TDataSet::TDataSet(const QString& name) : name_(name) {}

TDataSet::~TDataSet()
{
    for (TDataSource* s : std::vector<TDataSource*>(sources_))
        s->setDataSet(nullptr);
}

void TDataSet::Fail(const QString& message) const
{
    DatabaseError(name_.isEmpty() ? message : name_ + QStringLiteral(": ") + message);
}

void TDataSet::CheckActive() const
{
    if (!Active()) Fail(QStringLiteral("Operação não permitida com o conjunto de dados fechado."));
}

// ---------------------------------------------------------------- fields

TField* TDataSet::AddField(const QString& fieldName, TFieldType type, int size)
{
    if (Active()) Fail(QStringLiteral("Campos só podem ser criados com o conjunto de dados fechado."));
    if (FindField(fieldName)) Fail(QStringLiteral("Campo '%1' duplicado.").arg(fieldName));
    auto f = std::make_unique<TField>(this, fieldName, type, size);
    f->index_ = int(fields_.size());
    f->setName(name_ + fieldName);
    fields_.push_back(std::move(f));
    std::vector<TFieldType> types;
    for (const auto& fld : fields_)
        types.push_back(fld->DataType());
    store_ = RecordStore(std::move(types));
    return fields_.back().get();
}

TField* TDataSet::FindField(const QString& fieldName) const
{
    for (const auto& f : fields_)
        if (f->FieldName().compare(fieldName, Qt::CaseInsensitive) == 0) return f.get();
    return nullptr;
}

TField* TDataSet::FieldByName(const QString& fieldName) const
{
    TField* f = FindField(fieldName);
    if (!f) Fail(QStringLiteral("Campo '%1' não encontrado.").arg(fieldName));
    return f;
}

// ---------------------------------------------------------------- state

int TDataSet::RecordCount() const
{
    if (!Active()) return 0;
    return int(store_.rowCount()) + (state_ == TDataSetState::dsInsert ? 1 : 0);
}

int TDataSet::CurrentRow() const
{
    if (!Active()) return -1;
    if (state_ == TDataSetState::dsInsert) return int(insertAt_);
    return store_.rowCount() ? int(cur_) : -1;
}

bool TDataSet::Modified() const
{
    return IsEditing() && buffer_ != bufferOriginal_;
}

void TDataSet::notify(TDataEvent what, TField* field)
{
    // Disabled controls show nothing new, but still hand in what was typed.
    const bool handIn = what == TDataEvent::UpdateData || what == TDataEvent::CheckBrowseMode;
    if (disableCount_ > 0 && !handIn) return;
    for (TDataSource* s : std::vector<TDataSource*>(sources_))
        s->DataEvent(what, field);
}

void TDataSet::setState(TDataSetState s)
{
    if (state_ == s) return;
    state_ = s;
    notify(TDataEvent::StateChanged);
}

void TDataSet::Open()
{
    if (Active()) return;
    run(BeforeOpen);
    cur_ = 0;
    bof_ = true;
    eof_ = store_.rowCount() == 0;
    setState(TDataSetState::dsBrowse);
    notify(TDataEvent::ActiveChanged);
    run(AfterOpen);
    if (store_.rowCount() > 0) run(AfterScroll);
}

void TDataSet::Close()
{
    if (!Active()) return;
    run(BeforeClose);
    buffer_.clear();
    bufferOriginal_.clear();
    store_.clear();
    log_.clear();
    logIndex_.clear();
    ++generation_;
    cur_ = 0;
    bof_ = eof_ = true;
    setState(TDataSetState::dsInactive);
    notify(TDataEvent::ActiveChanged);
    run(AfterClose);
}

void TDataSet::LoadRows(RecordStore&& rows)
{
    Close();
    store_ = std::move(rows);
    ++generation_;
    Open();
}

// ---------------------------------------------------------------- navigation

void TDataSet::scrollTo(std::size_t row, bool bof, bool eof)
{
    cur_ = row;
    bof_ = bof;
    eof_ = eof;
    notify(TDataEvent::Scrolled);
}

void TDataSet::First()
{
    CheckBrowseMode();
    run(BeforeScroll);
    scrollTo(0, true, store_.rowCount() == 0);
    run(AfterScroll);
}

void TDataSet::Last()
{
    CheckBrowseMode();
    run(BeforeScroll);
    const std::size_t n = store_.rowCount();
    scrollTo(n ? n - 1 : 0, n == 0, true);
    run(AfterScroll);
}

void TDataSet::Next()
{
    MoveBy(1);
}

void TDataSet::Prior()
{
    MoveBy(-1);
}

int TDataSet::MoveBy(int distance)
{
    CheckBrowseMode();
    run(BeforeScroll);
    const std::size_t n = store_.rowCount();
    int moved = 0;
    if (n > 0 && ((distance > 0 && !eof_) || (distance < 0 && !bof_))) {
        long long target = (long long)cur_ + distance;
        bool bof = false, eof = false;
        if (target >= (long long)n) {
            target = (long long)n - 1;
            eof = true;
        } else if (target < 0) {
            target = 0;
            bof = true;
        }
        moved = int(target - (long long)cur_);
        scrollTo(std::size_t(target), bof, eof);
    }
    run(AfterScroll);
    return moved;
}

void TDataSet::setRecNo(int recNo)
{
    CheckBrowseMode();
    run(BeforeScroll);
    const std::size_t n = store_.rowCount();
    if (n > 0) {
        const std::size_t row = std::size_t(std::clamp(recNo - 1, 0, int(n) - 1));
        scrollTo(row, false, false);
    }
    run(AfterScroll);
}

bool TDataSet::Locate(const QString& fieldName, const Variant& value)
{
    CheckBrowseMode();
    TField* f = FieldByName(fieldName);
    const Variant wanted = value.isNull() ? value : f->Coerce(value);
    for (std::size_t r = 0; r < store_.rowCount(); ++r) {
        if (store_.get(r, std::size_t(f->Index())) == wanted) {
            run(BeforeScroll);
            scrollTo(r, false, false);
            run(AfterScroll);
            return true;
        }
    }
    return false;
}

TBookmark TDataSet::GetBookmark() const
{
    if (!Active() || store_.rowCount() == 0) return kNoBookmark;
    return (generation_ << 32) | store_.idAt(cur_);
}

TBookmark TDataSet::BookmarkAt(int row) const
{
    if (!Active() || row < 0) return kNoBookmark;
    std::size_t r = std::size_t(row);
    if (state_ == TDataSetState::dsInsert) {
        if (r == insertAt_) return kNoBookmark;
        if (r > insertAt_) --r;
    }
    return r < store_.rowCount() ? (generation_ << 32) | store_.idAt(r) : kNoBookmark;
}

std::size_t TDataSet::RowOf(std::uint32_t id) const
{
    if (id == 0) return npos;
    // Rows keep their relative order, so the current row is the usual hit.
    if (cur_ < store_.rowCount() && store_.idAt(cur_) == id) return cur_;
    for (std::size_t r = 0; r < store_.rowCount(); ++r)
        if (store_.idAt(r) == id) return r;
    return npos;
}

bool TDataSet::BookmarkValid(TBookmark b) const
{
    return Active() && (b >> 32) == generation_ && RowOf(std::uint32_t(b)) != npos;
}

void TDataSet::GotoBookmark(TBookmark b)
{
    CheckBrowseMode();
    if (!BookmarkValid(b)) Fail(QStringLiteral("Registro não encontrado."));
    const std::size_t row = RowOf(std::uint32_t(b));
    run(BeforeScroll);
    scrollTo(row, false, false);
    run(AfterScroll);
}

// ---------------------------------------------------------------- editing

std::vector<Variant> TDataSet::RowValues(std::size_t row) const
{
    std::vector<Variant> v;
    v.reserve(fields_.size());
    for (std::size_t c = 0; c < fields_.size(); ++c)
        v.push_back(store_.get(row, c));
    return v;
}

void TDataSet::CheckBrowseMode()
{
    CheckActive();
    notify(TDataEvent::CheckBrowseMode);
    if (IsEditing()) {
        UpdateRecord();
        if (Modified())
            Post();
        else
            Cancel();
    }
}

void TDataSet::UpdateRecord()
{
    if (!IsEditing()) Fail(QStringLiteral("O conjunto de dados não está em modo de edição ou inclusão."));
    notify(TDataEvent::UpdateData);
}

void TDataSet::Edit()
{
    if (IsEditing()) return;
    CheckActive();
    if (store_.rowCount() == 0) {
        Insert();
        return;
    }
    run(BeforeEdit);
    buffer_ = RowValues(cur_);
    bufferOriginal_ = buffer_;
    ++editSession_;
    setState(TDataSetState::dsEdit);
    notify(TDataEvent::RecordChanged);
    run(AfterEdit);
}

void TDataSet::beginInsert(bool append)
{
    CheckBrowseMode();
    run(BeforeInsert);
    run(BeforeScroll);
    const std::size_t n = store_.rowCount();
    insertAt_ = append || n == 0 ? n : cur_;
    buffer_.assign(fields_.size(), Variant());
    bufferOriginal_ = buffer_;
    ++editSession_;
    state_ = TDataSetState::dsInsert; // reported below, once the row is in place
    notify(TDataEvent::DataSetChanged);
    notify(TDataEvent::StateChanged);
    run(AfterInsert);
    run(AfterScroll);
}

void TDataSet::Insert()
{
    beginInsert(false);
}

void TDataSet::Append()
{
    beginInsert(true);
}

void TDataSet::writeBufferToStore()
{
    if (state_ == TDataSetState::dsInsert) {
        const std::size_t row = store_.insertRow(insertAt_);
        for (std::size_t c = 0; c < fields_.size(); ++c)
            store_.set(row, c, buffer_[c]);
        cur_ = row;
        logIndex_[store_.idAt(row)] = log_.size();
        log_.push_back({LogEntry::Insert, store_.idAt(row), {}});
        return;
    }
    if (buffer_ == bufferOriginal_) return;
    const std::uint32_t id = store_.idAt(cur_);
    auto it = logIndex_.find(id);
    if (it == logIndex_.end()) {
        logIndex_[id] = log_.size();
        log_.push_back({LogEntry::Modify, id, RowValues(cur_)});
        it = logIndex_.find(id);
    }
    for (std::size_t c = 0; c < fields_.size(); ++c)
        if (!(buffer_[c] == bufferOriginal_[c])) store_.set(cur_, c, buffer_[c]);
    // A row edited back to its base values has nothing pending any more.
    LogEntry& e = log_[it->second];
    if (e.kind == LogEntry::Modify && RowValues(cur_) == e.original) {
        log_.erase(log_.begin() + std::ptrdiff_t(it->second));
        reindexLog();
    }
}

void TDataSet::reindexLog()
{
    logIndex_.clear();
    for (std::size_t i = 0; i < log_.size(); ++i)
        if (log_[i].kind != LogEntry::Delete) logIndex_[log_[i].id] = i;
}

std::uint32_t TDataSet::nextBaseRowId(std::size_t row) const
{
    for (std::size_t r = row + 1; r < store_.rowCount(); ++r) {
        const auto it = logIndex_.find(store_.idAt(r));
        if (it == logIndex_.end() || log_[it->second].kind != LogEntry::Insert) return store_.idAt(r);
    }
    return 0;
}

void TDataSet::Post()
{
    CheckActive();
    UpdateRecord();
    run(BeforePost);
    for (const auto& f : fields_)
        if (f->Required() && buffer_[std::size_t(f->Index())].isNull())
            Fail(QStringLiteral("O campo '%1' deve ser informado.").arg(f->DisplayLabel()));
    writeBufferToStore();
    buffer_.clear();
    bufferOriginal_.clear();
    eof_ = bof_ = false;
    setState(TDataSetState::dsBrowse);
    notify(TDataEvent::DataSetChanged);
    run(AfterPost);
}

void TDataSet::Cancel()
{
    if (!IsEditing()) return;
    run(BeforeCancel);
    const bool wasInsert = state_ == TDataSetState::dsInsert;
    buffer_.clear();
    bufferOriginal_.clear();
    if (wasInsert && store_.rowCount() > 0) cur_ = std::min(insertAt_, store_.rowCount() - 1);
    setState(TDataSetState::dsBrowse);
    notify(TDataEvent::DataSetChanged);
    run(AfterCancel);
}

void TDataSet::Delete()
{
    CheckActive();
    if (state_ == TDataSetState::dsInsert) {
        Cancel();
        return;
    }
    if (store_.rowCount() == 0) Fail(QStringLiteral("Operação não permitida em um conjunto de dados vazio."));
    if (state_ == TDataSetState::dsEdit) {
        buffer_.clear();
        bufferOriginal_.clear();
        state_ = TDataSetState::dsBrowse;
    }
    run(BeforeDelete);
    run(BeforeScroll);
    // A row added since the base simply goes; a row of the base is logged as
    // deleted at the end of the log, so that the log stays in time order, with
    // its base values (those of an earlier modify, which it replaces).
    const std::uint32_t id = store_.idAt(cur_);
    const auto it = logIndex_.find(id);
    if (it != logIndex_.end() && log_[it->second].kind == LogEntry::Insert) {
        log_.erase(log_.begin() + std::ptrdiff_t(it->second));
    } else {
        LogEntry deleted{LogEntry::Delete, id, RowValues(cur_), nextBaseRowId(cur_)};
        if (it != logIndex_.end()) {
            deleted.original = std::move(log_[it->second].original);
            log_.erase(log_.begin() + std::ptrdiff_t(it->second));
        }
        log_.push_back(std::move(deleted));
    }
    reindexLog();
    store_.eraseRow(cur_);
    if (cur_ >= store_.rowCount() && cur_ > 0) cur_ = store_.rowCount() ? store_.rowCount() - 1 : 0;
    bof_ = false;
    eof_ = store_.rowCount() == 0;
    notify(TDataEvent::StateChanged);
    notify(TDataEvent::DataSetChanged);
    run(AfterDelete);
    run(AfterScroll);
}

// ---------------------------------------------------------------- change log

void TDataSet::MergeChangeLog()
{
    log_.clear();
    logIndex_.clear();
}

void TDataSet::CancelUpdates()
{
    Cancel();
    if (log_.empty()) return;
    // Undone in reverse time order. A deleted row goes back before the row of
    // the base that followed it: every later delete is undone by then, so that
    // row is back in place, and rows added since the base do not count.
    const std::uint32_t current = store_.rowCount() ? store_.idAt(cur_) : 0;
    for (auto e = log_.rbegin(); e != log_.rend(); ++e) {
        switch (e->kind) {
        case LogEntry::Modify: {
            const std::size_t row = RowOf(e->id);
            if (row != npos)
                for (std::size_t c = 0; c < fields_.size(); ++c)
                    store_.set(row, c, e->original[c]);
            break;
        }
        case LogEntry::Insert: {
            const std::size_t row = RowOf(e->id);
            if (row != npos) store_.eraseRow(row);
            break;
        }
        case LogEntry::Delete: {
            const std::size_t next = e->followedBy ? RowOf(e->followedBy) : npos;
            const std::size_t row = store_.insertRow(next == npos ? store_.rowCount() : next, e->id);
            for (std::size_t c = 0; c < fields_.size(); ++c)
                store_.set(row, c, e->original[c]);
            break;
        }
        }
    }
    log_.clear();
    logIndex_.clear();
    const std::size_t row = RowOf(current);
    if (row != npos)
        cur_ = row;
    else if (cur_ >= store_.rowCount())
        cur_ = store_.rowCount() ? store_.rowCount() - 1 : 0;
    bof_ = eof_ = store_.rowCount() == 0;
    notify(TDataEvent::DataSetChanged);
}

// ---------------------------------------------------------------- controls

void TDataSet::DisableControls()
{
    if (disableCount_++ == 0) stateAtDisable_ = state_;
}

void TDataSet::EnableControls()
{
    if (disableCount_ == 0) return;
    if (--disableCount_ > 0) return;
    if (state_ != stateAtDisable_) {
        notify(TDataEvent::StateChanged);
        if ((state_ == TDataSetState::dsInactive) != (stateAtDisable_ == TDataSetState::dsInactive))
            notify(TDataEvent::ActiveChanged);
    }
    notify(TDataEvent::DataSetChanged);
}

void TDataSet::RegisterDataSource(TDataSource* ds)
{
    if (std::find(sources_.begin(), sources_.end(), ds) == sources_.end()) sources_.push_back(ds);
}

void TDataSet::UnregisterDataSource(TDataSource* ds)
{
    sources_.erase(std::remove(sources_.begin(), sources_.end(), ds), sources_.end());
}

// ---------------------------------------------------------------- values

Variant TDataSet::ValueAt(int row, int fieldIndex) const
{
    if (!Active() || row < 0 || fieldIndex < 0 || fieldIndex >= int(fields_.size())) return {};
    std::size_t r = std::size_t(row);
    if (state_ == TDataSetState::dsInsert) {
        if (r == insertAt_) return buffer_[std::size_t(fieldIndex)];
        if (r > insertAt_) --r;
    } else if (state_ == TDataSetState::dsEdit && r == cur_) {
        return buffer_[std::size_t(fieldIndex)];
    }
    if (r >= store_.rowCount()) return {};
    return store_.get(r, std::size_t(fieldIndex));
}

TDataSet::ActiveRowScope::ActiveRowScope(const TDataSet* ds, int row)
    : ds_(const_cast<TDataSet*>(ds)), saved_(ds->drawRow_)
{
    ds_->drawRow_ = row;
}

TDataSet::ActiveRowScope::~ActiveRowScope()
{
    ds_->drawRow_ = saved_;
}

Variant TDataSet::FieldValue(const TField* f) const
{
    if (!Active()) return {};
    const int row = drawRow_ >= 0 ? drawRow_ : CurrentRow();
    return ValueAt(row, f->Index());
}

void TDataSet::checkEditing(const TField* f) const
{
    if (!IsEditing())
        Fail(QStringLiteral("O conjunto de dados não está em modo de edição ou inclusão (campo '%1').")
                 .arg(f->FieldName()));
    if (f->ReadOnly()) Fail(QStringLiteral("O campo '%1' não pode ser modificado.").arg(f->FieldName()));
}

void TDataSet::SetFieldValue(TField* f, const Variant& v)
{
    checkEditing(f);
    buffer_[std::size_t(f->Index())] = f->Coerce(v);
    notify(TDataEvent::RecordChanged, f);
}

} // namespace zel
