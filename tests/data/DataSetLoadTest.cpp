#include "platform/data/Exceptions.h"
#include "tests/data/Fixtures.h"

#include <gtest/gtest.h>

using namespace zel;
using namespace zel::test;

TEST(DataSetLoad, PacketWithRowsOpensAtFirstRowAndScrollsOnce)
{
    auto ds = makeIncList();
    int scrolls = 0;
    QString seenAtScroll;
    ds->AfterScroll = [&](TDataSet* d) {
        ++scrolls;
        seenAtScroll = d->FieldByName("NRINCONSPED")->AsString();
    };
    ds->SetData(incPacket(3));
    EXPECT_TRUE(ds->Active());
    EXPECT_EQ(ds->State(), TDataSetState::dsBrowse);
    EXPECT_EQ(ds->RecordCount(), 3);
    EXPECT_EQ(ds->RecNo(), 1);
    EXPECT_EQ(scrolls, 1);
    EXPECT_EQ(seenAtScroll, "001");

    // A reload replaces the content and the change log, and scrolls once more.
    ds->Next();
    ds->Edit();
    ds->FieldByName("ATIVA")->setAsString("S");
    ds->Post();
    ASSERT_EQ(ds->ChangeCount(), 1);
    scrolls = 0;
    ds->SetData(incPacket(2));
    EXPECT_EQ(ds->RecordCount(), 2);
    EXPECT_EQ(ds->RecNo(), 1);
    EXPECT_EQ(ds->ChangeCount(), 0);
    EXPECT_EQ(ds->FieldByName("ATIVA")->AsString(), "N");
    EXPECT_EQ(scrolls, 1);
}

TEST(DataSetLoad, EmptyPacketOpensEmptyWithoutScroll)
{
    auto ds = makeIncList();
    int scrolls = 0;
    ds->AfterScroll = [&](TDataSet*) { ++scrolls; };
    ds->SetData(incPacket(0));
    EXPECT_TRUE(ds->Active());
    EXPECT_TRUE(ds->IsEmpty());
    EXPECT_TRUE(ds->Eof());
    EXPECT_TRUE(ds->Bof());
    EXPECT_EQ(scrolls, 0);
    EXPECT_EQ(ds->FieldByName("NRINCONSPED")->AsString(), "");
    EXPECT_TRUE(ds->FieldByName("NRINCONSPED")->IsNull());
}

TEST(DataSetLoad, RefusedPacketsKeepThePreviousContent)
{
    struct Case {
        const char* what;
        zel::data::DataPacket packet;
        const char* messagePart;
    };
    PacketBuilder missing;
    missing.field("NRINCONSPED", zel::data::FIELD_TEXT, 3).field("ATIVA", zel::data::FIELD_FIXED_TEXT, 1);
    PacketBuilder wrongKind;
    wrongKind.field("NRINCONSPED", zel::data::FIELD_TEXT, 3)
        .field("TXOBSLIBINCO", zel::data::FIELD_TEXT, 2000)
        .field("ATIVA", zel::data::FIELD_TEXT, 1);
    PacketBuilder tooLong = incPacket(0);
    tooLong.row({QStringLiteral("1234"), Variant(), QStringLiteral("N")});
    zel::data::DataPacket badValue = incPacket(1);
    badValue.mutable_columns(2)->add_floats(1.0); // a value of another kind
    zel::data::DataPacket shortColumn = incPacket(2);
    shortColumn.mutable_columns(0)->mutable_text_lengths()->RemoveLast();
    zel::data::DataPacket badLengths = incPacket(2);
    badLengths.mutable_columns(1)->set_text_lengths(0, 5);
    std::vector<Case> cases = {{"missing field", missing, "TXOBSLIBINCO"},
                               {"other kind", wrongKind, "ATIVA"},
                               {"text longer than the field", tooLong, "NRINCONSPED"},
                               {"value of another kind", badValue, "ATIVA"},
                               {"column shorter than the rows", shortColumn, "NRINCONSPED"},
                               {"text lengths that do not add up", badLengths, "TXOBSLIBINCO"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto ds = makeIncList();
        ds->SetData(incPacket(2));
        ds->Next();
        try {
            ds->SetData(c.packet);
            ADD_FAILURE() << "packet accepted";
        } catch (const EDatabaseError& e) {
            EXPECT_TRUE(e.Message().contains(QString::fromUtf8(c.messagePart))) << e.what();
        }
        EXPECT_EQ(ds->RecordCount(), 2);
        EXPECT_EQ(ds->RecNo(), 2);
        EXPECT_EQ(ds->FieldByName("NRINCONSPED")->AsString(), "002");
    }
}

TEST(DataSetLoad, ExtraPacketFieldsAreIgnoredAndOrderDoesNotMatter)
{
    auto ds = makeIncList();
    PacketBuilder b;
    b.field("EXTRA", zel::data::FIELD_INTEGER)
        .field("ATIVA", zel::data::FIELD_FIXED_TEXT, 1)
        .field("TXOBSLIBINCO", zel::data::FIELD_TEXT, 2000)
        .field("NRINCONSPED", zel::data::FIELD_TEXT, 3)
        .row({std::int64_t(7), QStringLiteral("S"), QStringLiteral("ação"), QStringLiteral("001")});
    ds->SetData(b);
    EXPECT_EQ(ds->FieldCount(), 3);
    EXPECT_EQ(ds->FieldByName("NRINCONSPED")->AsString(), "001");
    EXPECT_EQ(ds->FieldByName("TXOBSLIBINCO")->AsString(), QString::fromUtf8("ação"));
    EXPECT_EQ(ds->FieldByName("ATIVA")->AsString(), "S");
}

TEST(DataSetLoad, MultiByteTextWithinTheSizeIsAccepted)
{
    // Three characters, six bytes: the size counts characters.
    auto ds = makeIncList();
    PacketBuilder b = incPacket(0);
    b.row({QString::fromUtf8("ãéç"), QString(), QStringLiteral("N")});
    ds->SetData(b);
    EXPECT_EQ(ds->FieldByName("NRINCONSPED")->AsString(), QString::fromUtf8("ãéç"));
}

TEST(DataSetLoad, OperationsOnAClosedDatasetFail)
{
    auto ds = makeIncList();
    EXPECT_TRUE(ds->IsEmpty());
    EXPECT_THROW(ds->First(), EDatabaseError);
    EXPECT_THROW(ds->Edit(), EDatabaseError);
    EXPECT_EQ(ds->FieldByName("ATIVA")->AsString(), "");
    ds->SetData(incPacket(1));
    ds->Close();
    EXPECT_FALSE(ds->Active());
    EXPECT_EQ(ds->RecordCount(), 0);
    EXPECT_THROW(ds->Next(), EDatabaseError);
}

TEST(DataSetLoad, EmptyPacketsOfEveryKindLoad)
{
    // No rows: every column is empty, numbers included.
    auto ds = std::make_unique<TClientDataSet>("cds");
    ds->AddField("D", TFieldType::ftDateTime);
    ds->AddField("F", TFieldType::ftFloat);
    ds->AddField("I", TFieldType::ftInteger);
    PacketBuilder b;
    b.field("D", zel::data::FIELD_DATETIME).field("F", zel::data::FIELD_FLOAT).field("I", zel::data::FIELD_INTEGER);
    ds->SetData(b);
    EXPECT_TRUE(ds->Active());
    EXPECT_TRUE(ds->IsEmpty());
}
