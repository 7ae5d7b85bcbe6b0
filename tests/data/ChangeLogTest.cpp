#include "platform/data/Exceptions.h"
#include "tests/data/Fixtures.h"

#include <gtest/gtest.h>

using namespace zel;
using namespace zel::test;

namespace {
void mark(TDataSet& ds, const char* ativa, const char* nota = nullptr)
{
    ds.Edit();
    ds.FieldByName("ATIVA")->setAsString(ativa);
    if (nota) ds.FieldByName("TXOBSLIBINCO")->setAsString(nota);
    ds.Post();
}
} // namespace

TEST(ChangeLog, DeltaCarriesOriginalsAndOnlyTheChangedFields)
{
    auto ds = makeIncList();
    ds->SetData(incPacket(3));
    mark(*ds, "S");
    ds->Next();
    ds->Next();
    mark(*ds, "S", "conferido");
    mark(*ds, "N"); // second change of the same row: still one entry
    EXPECT_EQ(ds->ChangeCount(), 2);

    const zel::data::ChangePacket d = ds->Delta();
    ASSERT_EQ(d.fields_size(), 3);
    EXPECT_EQ(d.fields(2).name(), "ATIVA");
    EXPECT_EQ(d.fields(2).kind(), zel::data::FIELD_FIXED_TEXT);
    ASSERT_EQ(d.rows_size(), 2);

    const auto& first = d.rows(0);
    EXPECT_EQ(first.kind(), zel::data::CHANGE_MODIFY);
    EXPECT_EQ(first.original().values(0).text(), "001");
    EXPECT_EQ(first.original().values(2).text(), "N");
    EXPECT_FALSE(first.original().values(1).has_text()); // null stays null
    ASSERT_EQ(first.changes_size(), 1);
    EXPECT_EQ(first.changes(0).field(), 2);
    EXPECT_EQ(first.changes(0).value().text(), "S");

    // Row 3 went N -> S -> N with a note: only the note differs from the base.
    const auto& third = d.rows(1);
    EXPECT_EQ(third.original().values(0).text(), "003");
    ASSERT_EQ(third.changes_size(), 1);
    EXPECT_EQ(third.changes(0).field(), 1);
    EXPECT_EQ(third.changes(0).value().text(), "conferido");
}

TEST(ChangeLog, ARowEditedBackToItsBaseHasNothingPending)
{
    auto ds = makeIncList();
    ds->SetData(incPacket(1));
    mark(*ds, "S");
    EXPECT_EQ(ds->ChangeCount(), 1);
    mark(*ds, "N");
    EXPECT_EQ(ds->ChangeCount(), 0);
}

TEST(ChangeLog, MergeMakesSentChangesTheBase)
{
    auto ds = makeIncList();
    ds->SetData(incPacket(2));
    mark(*ds, "S");
    ds->MergeChangeLog();
    EXPECT_EQ(ds->ChangeCount(), 0);
    EXPECT_EQ(ds->Delta().rows_size(), 0);
    mark(*ds, "N");
    const auto d = ds->Delta();
    ASSERT_EQ(d.rows_size(), 1);
    EXPECT_EQ(d.rows(0).original().values(2).text(), "S");
    ds->CancelUpdates(); // back to the merged base, not to the loaded one
    EXPECT_EQ(ds->FieldByName("ATIVA")->AsString(), "S");
}

TEST(ChangeLog, CancelUpdatesRestoresEveryRowAndRefreshesControlsWithoutScrolling)
{
    auto ds = makeIncList();
    ds->SetData(incPacket(3));
    mark(*ds, "S");
    ds->Next();
    mark(*ds, "S", "x");
    TDataSource src("dts", ds.get());
    Recorder rec(&src);
    int scrolls = 0;
    ds->AfterScroll = [&](TDataSet*) { ++scrolls; };

    ds->CancelUpdates();
    EXPECT_EQ(ds->ChangeCount(), 0);
    EXPECT_EQ(ds->RecNo(), 2);
    EXPECT_EQ(ds->FieldByName("ATIVA")->AsString(), "N");
    EXPECT_EQ(ds->FieldByName("TXOBSLIBINCO")->AsString(), "");
    ds->First();
    EXPECT_EQ(ds->FieldByName("ATIVA")->AsString(), "N");
    EXPECT_TRUE(rec.events.contains("changed"));
    EXPECT_EQ(scrolls, 1); // only the First above
}

TEST(ChangeLog, UndoInsideAfterPostLeavesTheRowAsBefore)
{
    // What a failed send does: undo everything pending, then fail the post.
    auto ds = makeIncList();
    ds->SetData(incPacket(2));
    ds->AfterPost = [](TDataSet* d) {
        d->CancelUpdates();
        throw EDatabaseError("falha no envio");
    };
    ds->Edit();
    ds->FieldByName("TXOBSLIBINCO")->setAsString("nova");
    EXPECT_THROW(ds->Post(), EDatabaseError);
    EXPECT_EQ(ds->FieldByName("TXOBSLIBINCO")->AsString(), "");
    EXPECT_EQ(ds->ChangeCount(), 0);
    EXPECT_EQ(ds->State(), TDataSetState::dsBrowse);
}

TEST(ChangeLog, DisabledControlsAreToldNoChangeWhileDatasetEventsStillRun)
{
    auto ds = makeIncList();
    ds->SetData(incPacket(3));
    TDataSource src("dts", ds.get());
    Recorder rec(&src);
    int stateChanges = 0, dataChanges = 0;
    src.OnStateChange = [&](TDataSource*) { ++stateChanges; };
    src.OnDataChange = [&](TDataSource*, TField*) { ++dataChanges; };
    int scrolls = 0, posts = 0;
    ds->AfterScroll = [&](TDataSet*) { ++scrolls; };
    ds->AfterPost = [&](TDataSet*) { ++posts; };

    ds->DisableControls();
    ds->DisableControls(); // nests
    EXPECT_TRUE(ds->ControlsDisabled());
    ds->First();
    while (!ds->Eof()) {
        mark(*ds, "S");
        ds->Next();
    }
    ds->EnableControls();
    EXPECT_TRUE(ds->ControlsDisabled());
    // Only the requests to hand in typed text, one per post, reached the link.
    EXPECT_EQ(rec.events, QStringList({"updatedata", "updatedata", "updatedata"}))
        << rec.events.join(",").toStdString();
    rec.events.clear();
    EXPECT_EQ(stateChanges, 0);
    EXPECT_EQ(dataChanges, 0);
    EXPECT_EQ(scrolls, 4);
    EXPECT_EQ(posts, 3);

    ds->EnableControls();
    EXPECT_FALSE(ds->ControlsDisabled());
    EXPECT_EQ(rec.events, QStringList({"changed"})); // resynchronised once
    EXPECT_EQ(stateChanges, 0);                      // browse before and after
    ds->EnableControls();                            // unbalanced: harmless
    EXPECT_FALSE(ds->ControlsDisabled());
}

namespace {
QStringList codes(TDataSet& ds)
{
    QStringList out;
    ds.First();
    while (!ds.Eof()) {
        out << ds.FieldByName("NRINCONSPED")->AsString() + ds.FieldByName("ATIVA")->AsString();
        ds.Next();
    }
    return out;
}

void goTo(TDataSet& ds, const char* code)
{
    ASSERT_TRUE(ds.Locate("NRINCONSPED", QString::fromLatin1(code))) << code;
}
} // namespace

// A failed send undoes every pending change: the list must come back exactly
// as it was loaded, in its order, whatever mix of changes was pending.
TEST(ChangeLog, CancelUpdatesBringsBackTheListInItsOrderAfterAnyMixOfChanges)
{
    struct Case {
        const char* name;
        std::function<void(TDataSet&)> changes;
    };
    const std::vector<Case> cases{
        {"modify 003, delete 001, delete 003",
         [](TDataSet& ds) {
             goTo(ds, "003");
             mark(ds, "S");
             goTo(ds, "001");
             ds.Delete();
             goTo(ds, "003");
             ds.Delete();
         }},
        {"modify 003, delete 002, delete 003 (neighbours)",
         [](TDataSet& ds) {
             goTo(ds, "003");
             mark(ds, "S");
             goTo(ds, "002");
             ds.Delete();
             goTo(ds, "003");
             ds.Delete();
         }},
        {"delete 002, delete 003, delete 001",
         [](TDataSet& ds) {
             goTo(ds, "002");
             ds.Delete();
             ds.Delete(); // 003 took its place
             goTo(ds, "001");
             ds.Delete();
         }},
        {"insert before 001, delete 002, delete the inserted row",
         [](TDataSet& ds) {
             ds.First();
             ds.Insert();
             ds.FieldByName("NRINCONSPED")->setAsString("new");
             ds.Post();
             goTo(ds, "002");
             ds.Delete();
             goTo(ds, "new");
             ds.Delete();
         }},
        {"delete 004, append, modify 001, delete 001",
         [](TDataSet& ds) {
             ds.Last();
             ds.Delete();
             ds.Append();
             ds.FieldByName("NRINCONSPED")->setAsString("new");
             ds.Post();
             goTo(ds, "001");
             mark(ds, "S", "nota");
             ds.Delete();
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto ds = makeIncList();
        ds->SetData(incPacket(4));
        c.changes(*ds);
        ds->CancelUpdates();
        EXPECT_EQ(ds->ChangeCount(), 0);
        EXPECT_EQ(codes(*ds), QStringList({"001N", "002N", "003N", "004N"})) << codes(*ds).join(' ').toStdString();
        ds->First();
        EXPECT_TRUE(ds->FieldByName("TXOBSLIBINCO")->IsNull());
    }
}

TEST(ChangeLog, ADeleteAfterAModifySendsTheBaseValuesInTimeOrder)
{
    auto ds = makeIncList();
    ds->SetData(incPacket(4));
    goTo(*ds, "003");
    mark(*ds, "S");
    goTo(*ds, "001");
    ds->Delete();
    goTo(*ds, "003");
    ds->Delete();
    const auto d = ds->Delta();
    ASSERT_EQ(d.rows_size(), 2);
    EXPECT_EQ(d.rows(0).kind(), zel::data::CHANGE_DELETE);
    EXPECT_EQ(d.rows(0).original().values(0).text(), "001");
    EXPECT_EQ(d.rows(1).kind(), zel::data::CHANGE_DELETE);
    EXPECT_EQ(d.rows(1).original().values(0).text(), "003");
    EXPECT_EQ(d.rows(1).original().values(2).text(), "N"); // the base, not the posted mark
}
