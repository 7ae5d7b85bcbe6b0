#include "platform/data/Exceptions.h"
#include "tests/data/Fixtures.h"

#include <gtest/gtest.h>

using namespace zel;
using namespace zel::test;

namespace {
std::unique_ptr<TClientDataSet> makeOrders()
{
    auto ds = std::make_unique<TClientDataSet>("cdsPedido");
    ds->AddField("IDSITPEDIDO", TFieldType::ftString, 1);
    ds->AddField("NRPEDIDO", TFieldType::ftString, 10);
    ds->AddField("DTPEDIDO", TFieldType::ftDateTime);
    TField* vr = ds->AddField("VRPEDIDO", TFieldType::ftFloat);
    vr->setDisplayFormat("#,##0.00");
    vr->setEditFormat("#,##0.00");
    ds->AddField("QTITENS", TFieldType::ftInteger);
    return ds;
}
PacketBuilder orderPacket()
{
    PacketBuilder b;
    b.field("IDSITPEDIDO", zel::data::FIELD_TEXT, 1)
        .field("NRPEDIDO", zel::data::FIELD_TEXT, 10)
        .field("DTPEDIDO", zel::data::FIELD_DATETIME)
        .field("VRPEDIDO", zel::data::FIELD_FLOAT)
        .field("QTITENS", zel::data::FIELD_INTEGER);
    return b;
}
} // namespace

TEST(Fields, TypedAccessAndDisplayTextInTheUsersLocale)
{
    auto ds = makeOrders();
    PacketBuilder b = orderPacket();
    b.row({QStringLiteral("5"), QStringLiteral("0000000042"), TDateTime::fromDate(QDate(2026, 12, 8)), 1234.5,
           std::int64_t(3)});
    b.row({QString(), QStringLiteral("0000000043"), TDateTime::fromDate(QDate(2026, 12, 8), QTime(10, 15)), -0.004,
           Variant()});
    ds->SetData(b);

    TField* vr = ds->FieldByName("VRPEDIDO");
    EXPECT_EQ(vr->DisplayText(), "1.234,50");
    EXPECT_EQ(vr->Text(), "1.234,50");
    EXPECT_DOUBLE_EQ(vr->AsFloat(), 1234.5);
    EXPECT_EQ(ds->FieldByName("DTPEDIDO")->DisplayText(), "08/12/2026");
    EXPECT_EQ(ds->FieldByName("DTPEDIDO")->AsDateTime().date(), QDate(2026, 12, 8));
    EXPECT_EQ(ds->FieldByName("QTITENS")->AsInteger(), 3);
    EXPECT_EQ(ds->FieldByName("QTITENS")->AsString(), "3");

    ds->Next();
    EXPECT_EQ(vr->DisplayText(), "0,00"); // rounds away the sign too
    EXPECT_EQ(ds->FieldByName("DTPEDIDO")->DisplayText(), "08/12/2026 10:15:00");
    EXPECT_TRUE(ds->FieldByName("QTITENS")->IsNull());
    EXPECT_EQ(ds->FieldByName("QTITENS")->AsInteger(), 0);
    EXPECT_EQ(ds->FieldByName("IDSITPEDIDO")->DisplayText(), "");

    // The locale decides the separators.
    EXPECT_EQ(FormatFloat("#,##0.00", 1234.5, QLocale(QLocale::English, QLocale::UnitedStates)), "1,234.50");
    EXPECT_EQ(FormatFloat("#,##0.00", 1234567.891), "1.234.567,89");
    EXPECT_EQ(FormatFloat("0.##", 2.5), "2,5");
    EXPECT_EQ(FormatFloat("#,##0.00", -1234.5), "-1.234,50");
}

TEST(Fields, OnGetTextDecidesTheShownTextForDisplayAndEdit)
{
    auto ds = makeOrders();
    PacketBuilder b = orderPacket();
    b.row({QStringLiteral("3"), QStringLiteral("1"), Variant(), Variant(), Variant()});
    ds->SetData(b);
    TField* sit = ds->FieldByName("IDSITPEDIDO");
    QList<bool> flags;
    sit->OnGetText = [&](TField* sender, QString& text, bool display) {
        flags << display;
        text = sender->AsString() == "3" ? "LQ" : "";
    };
    EXPECT_EQ(sit->DisplayText(), "LQ");
    EXPECT_EQ(sit->Text(), "LQ");
    EXPECT_EQ(flags, QList<bool>({true, false}));
}

TEST(Fields, ActiveRowScopeShowsAnotherRowWithoutMoving)
{
    auto ds = makeOrders();
    PacketBuilder b = orderPacket();
    for (int i = 1; i <= 3; ++i)
        b.row({QString::number(i), QString::number(i), Variant(), double(i), Variant()});
    ds->SetData(b);
    int scrolls = 0;
    ds->AfterScroll = [&](TDataSet*) { ++scrolls; };
    {
        TDataSet::ActiveRowScope scope(ds.get(), 2);
        EXPECT_EQ(ds->FieldByName("NRPEDIDO")->AsString(), "3");
    }
    EXPECT_EQ(ds->FieldByName("NRPEDIDO")->AsString(), "1");
    EXPECT_EQ(ds->ValueAt(1, 1).toString(), "2");
    EXPECT_EQ(scrolls, 0);
    // The row being edited shows its edit buffer to views too.
    ds->Edit();
    ds->FieldByName("NRPEDIDO")->setAsString("9");
    EXPECT_EQ(ds->ValueAt(0, 1).toString(), "9");
    ds->Cancel();
    EXPECT_EQ(ds->ValueAt(0, 1).toString(), "1");
}

TEST(Fields, ConversionsIntoFieldsAreStrict)
{
    auto ds = makeOrders();
    PacketBuilder b = orderPacket();
    b.row({QStringLiteral("1"), QStringLiteral("1"), Variant(), 1.0, std::int64_t(1)});
    ds->SetData(b);
    ds->Edit();
    EXPECT_THROW(ds->FieldByName("VRPEDIDO")->setAsString("abc"), EConvertError);
    EXPECT_THROW(ds->FieldByName("DTPEDIDO")->setAsString("31/02/2026"), EConvertError);
    ds->FieldByName("DTPEDIDO")->setAsString("28/02/2026");
    EXPECT_EQ(ds->FieldByName("DTPEDIDO")->AsDateTime().date(), QDate(2026, 2, 28));
    ds->FieldByName("VRPEDIDO")->setAsString("1.234,5");
    EXPECT_DOUBLE_EQ(ds->FieldByName("VRPEDIDO")->AsFloat(), 1234.5);
    ds->FieldByName("QTITENS")->Clear();
    EXPECT_TRUE(ds->FieldByName("QTITENS")->IsNull());
    ds->Post();
}

// A field's size counts characters, one per code point whatever its encoding:
// what a packet may load into the field is exactly what may be written back.
TEST(Fields, SizeCountsCharactersTheSameWayOnLoadAndOnWrite)
{
    const QString clef = QString::fromUcs4(U"\U0001D11E"); // outside the basic plane
    struct Case {
        QString text;
        bool fits; // in a field of size 3
    };
    const std::vector<Case> cases{
        {QStringLiteral("abc"), true},   {QStringLiteral("ab") + clef, true},
        {clef + clef + clef, true},      {QString::fromUtf8("çãé"), true},
        {QStringLiteral("abcd"), false}, {clef + clef + clef + QStringLiteral("a"), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        auto ds = makeIncList(); // NRINCONSPED holds 3 characters
        PacketBuilder b;
        b.field("NRINCONSPED", zel::data::FIELD_TEXT, 3)
            .field("TXOBSLIBINCO", zel::data::FIELD_TEXT, 2000)
            .field("ATIVA", zel::data::FIELD_FIXED_TEXT, 1)
            .row({c.text, Variant(), QStringLiteral("N")});
        bool loaded = true;
        try {
            ds->SetData(b);
        } catch (const EDatabaseError&) {
            loaded = false;
        }
        EXPECT_EQ(loaded, c.fits);

        ds->SetData(incPacket(1));
        ds->Edit();
        bool written = true;
        try {
            ds->FieldByName("NRINCONSPED")->setAsString(c.text);
        } catch (const EDatabaseError&) {
            written = false;
        }
        EXPECT_EQ(written, c.fits);
        EXPECT_EQ(ds->FieldByName("NRINCONSPED")->AsString(), c.fits ? c.text : QStringLiteral("001"));
    }
}
