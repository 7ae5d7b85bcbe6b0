#include "platform/data/Exceptions.h"
#include "tests/data/Fixtures.h"

#include <gtest/gtest.h>

using namespace zel;
using namespace zel::test;

TEST(Editing, EditOnAnEmptyDatasetIsAnInsertThatBeforeInsertCanAbort)
{
    auto ds = makeIncList();
    ds->SetData(incPacket(0));
    int beforeInsert = 0;
    ds->BeforeInsert = [&](TDataSet*) {
        ++beforeInsert;
        Abort();
    };
    TDataSource src("dts", ds.get());
    Recorder rec(&src);
    EXPECT_THROW(ds->Edit(), EAbort);
    EXPECT_THROW(ds->Insert(), EAbort);
    EXPECT_THROW(ds->Append(), EAbort);
    EXPECT_EQ(beforeInsert, 3);
    EXPECT_EQ(ds->State(), TDataSetState::dsBrowse);
    EXPECT_TRUE(ds->IsEmpty());
    EXPECT_EQ(ds->ChangeCount(), 0);
    EXPECT_TRUE(rec.events.isEmpty()) << rec.events.join(",").toStdString();

    // With rows, inserts and appends run BeforeInsert too.
    ds->SetData(incPacket(2));
    EXPECT_THROW(ds->Insert(), EAbort);
    EXPECT_THROW(ds->Append(), EAbort);
    EXPECT_EQ(beforeInsert, 5);
    EXPECT_EQ(ds->RecordCount(), 2);
}

TEST(Editing, InsertedRowIsPostedOrCancelled)
{
    auto ds = makeIncList();
    ds->SetData(incPacket(2));
    ds->Append();
    EXPECT_EQ(ds->State(), TDataSetState::dsInsert);
    EXPECT_EQ(ds->RecordCount(), 3);
    ds->FieldByName("NRINCONSPED")->setAsString("003");
    ds->Post();
    EXPECT_EQ(ds->RecordCount(), 3);
    EXPECT_EQ(ds->RecNo(), 3);
    EXPECT_EQ(ds->ChangeCount(), 1);
    ds->First();
    ds->Insert();
    ds->Cancel();
    EXPECT_EQ(ds->RecordCount(), 3);
    EXPECT_EQ(ds->FieldByName("NRINCONSPED")->AsString(), "001");
}

TEST(Editing, PostHandsInTextThenWritesThenReportsBrowseThenAfterPost)
{
    auto ds = makeIncList();
    ds->SetData(incPacket(2));
    TDataSource src("dts", ds.get());
    Recorder rec(&src);
    QStringList order;
    rec.onUpdateData = [&] {
        order << "handin";
        ds->FieldByName("TXOBSLIBINCO")->setAsString("nota");
    };
    src.OnStateChange = [&](TDataSource* s) {
        if (s->State() == TDataSetState::dsBrowse) order << "browse:" + ds->FieldByName("TXOBSLIBINCO")->AsString();
    };
    ds->AfterPost = [&](TDataSet* d) { order << QString("afterpost:%1").arg(d->ChangeCount()); };
    ds->Edit();
    ds->Post();
    EXPECT_EQ(order, QStringList({"handin", "browse:nota", "afterpost:1"}));
    EXPECT_EQ(ds->FieldByName("TXOBSLIBINCO")->AsString(), "nota");
}

TEST(Editing, APostThatChangesNothingLogsNothingButRunsAfterPost)
{
    auto ds = makeIncList();
    ds->SetData(incPacket(2));
    int afterPost = 0;
    ds->AfterPost = [&](TDataSet*) { ++afterPost; };
    ds->Edit();
    ds->Post();
    ds->Edit();
    ds->FieldByName("ATIVA")->setAsString("N"); // same value
    ds->Post();
    EXPECT_EQ(afterPost, 2);
    EXPECT_EQ(ds->ChangeCount(), 0);
    EXPECT_EQ(ds->Delta().rows_size(), 0);
}

TEST(Editing, AFailureInAfterPostReachesThePosterWithTheRowWritten)
{
    auto ds = makeIncList();
    ds->SetData(incPacket(2));
    ds->AfterPost = [](TDataSet*) { throw EDatabaseError("servidor recusou"); };
    ds->Edit();
    ds->FieldByName("ATIVA")->setAsString("S");
    try {
        ds->Post();
        ADD_FAILURE() << "post succeeded";
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(e.Message(), "servidor recusou");
    }
    EXPECT_EQ(ds->State(), TDataSetState::dsBrowse);
    EXPECT_EQ(ds->ChangeCount(), 1);
}

TEST(Editing, CancelRestoresTheRowReturnsToBrowseThenRunsAfterCancel)
{
    auto ds = makeIncList();
    ds->SetData(incPacket(2));
    TDataSource src("dts", ds.get());
    TDataSetState stateInAfterCancel = TDataSetState::dsInactive;
    QString valueInAfterCancel;
    ds->AfterCancel = [&](TDataSet* d) {
        stateInAfterCancel = d->State();
        valueInAfterCancel = d->FieldByName("TXOBSLIBINCO")->AsString();
    };
    ds->Edit();
    ds->FieldByName("TXOBSLIBINCO")->setAsString("rascunho");
    EXPECT_EQ(ds->FieldByName("TXOBSLIBINCO")->AsString(), "rascunho");
    ds->Cancel();
    EXPECT_EQ(stateInAfterCancel, TDataSetState::dsBrowse);
    EXPECT_EQ(valueInAfterCancel, "");
    EXPECT_EQ(ds->ChangeCount(), 0);
}

TEST(Editing, FieldWritesAreCheckedClearly)
{
    auto ds = makeIncList();
    ds->SetData(incPacket(1));
    try {
        ds->FieldByName("ATIVA")->setAsString("S");
        ADD_FAILURE() << "write outside edit accepted";
    } catch (const EDatabaseError& e) {
        EXPECT_TRUE(e.Message().contains("edição")) << e.what();
    }
    ds->Edit();
    try {
        ds->FieldByName("NRINCONSPED")->setAsString("1234");
        ADD_FAILURE() << "over-long text accepted";
    } catch (const EDatabaseError& e) {
        EXPECT_TRUE(e.Message().contains("NRINCONSPED")) << e.what();
    }
    // Never cut silently: the old value stays.
    EXPECT_EQ(ds->FieldByName("NRINCONSPED")->AsString(), "001");
    ds->FieldByName("NRINCONSPED")->setAsString(QString::fromUtf8("çã")); // fits in characters
    ds->FieldByName("ATIVA")->setReadOnly(true);
    EXPECT_THROW(ds->FieldByName("ATIVA")->setAsString("S"), EDatabaseError);
    EXPECT_THROW(ds->FieldByName("NOPE"), EDatabaseError);
}

TEST(Editing, ControlsHandInTheirTextBeforeAnImplicitPost)
{
    auto ds = makeIncList();
    ds->SetData(incPacket(2));
    TDataSource src("dts", ds.get());
    Recorder rec(&src);
    rec.onUpdateData = [&] { ds->FieldByName("TXOBSLIBINCO")->setAsString("digitado"); };
    ds->Edit();
    ds->Next(); // the control's pending text makes the row modified: posted
    ds->First();
    EXPECT_EQ(ds->FieldByName("TXOBSLIBINCO")->AsString(), "digitado");
    EXPECT_EQ(ds->ChangeCount(), 1);
}

TEST(Editing, DeleteIsLoggedAndUndone)
{
    auto ds = makeIncList();
    ds->SetData(incPacket(3));
    ds->Next();
    ds->Delete();
    EXPECT_EQ(ds->RecordCount(), 2);
    EXPECT_EQ(ds->FieldByName("NRINCONSPED")->AsString(), "003");
    const auto delta = ds->Delta();
    ASSERT_EQ(delta.rows_size(), 1);
    EXPECT_EQ(delta.rows(0).kind(), zel::data::CHANGE_DELETE);
    EXPECT_EQ(delta.rows(0).original().values(0).text(), "002");
    ds->CancelUpdates();
    EXPECT_EQ(ds->RecordCount(), 3);
    ds->First();
    ds->Next();
    EXPECT_EQ(ds->FieldByName("NRINCONSPED")->AsString(), "002");
}
