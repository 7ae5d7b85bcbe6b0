#include "platform/data/Exceptions.h"
#include "platform/data/Guard.h"
#include "platform/data/KeyList.h"
#include "tests/data/Fixtures.h"

#include <gtest/gtest.h>

using namespace zel;
using namespace zel::test;

TEST(Wire, DateTimesSurviveTheTripIncludingTheZeroDateTime)
{
    const std::vector<TDateTime> values = {
        TDateTime(),                                                      // 1899-12-30 00:00
        TDateTime::fromDate(QDate(1899, 12, 29), QTime(23, 59, 59, 999)), // before the epoch
        TDateTime::fromDate(QDate(2026, 12, 8), QTime(10, 15, 30, 123)),
        TDateTime::fromDate(QDate(2026, 10, 18), QTime(0, 30)), // a daylight-saving gap in some zones
    };
    EXPECT_EQ(TDateTime().date(), QDate(1899, 12, 30));
    for (const TDateTime& d : values) {
        zel::data::Value w = ToWire(d, TFieldType::ftDateTime);
        std::string bytes = w.SerializeAsString();
        zel::data::Value back;
        ASSERT_TRUE(back.ParseFromString(bytes));
        ASSERT_EQ(back.v_case(), zel::data::Value::kDatetimeMs);
        const TDateTime r = FromWire(back).toDateTime();
        EXPECT_EQ(r, d);
        EXPECT_EQ(TDateTime::fromDate(r.date(), r.time()), d);
    }
    EXPECT_EQ(TDateTime::fromDate(QDate(1899, 12, 29), QTime(23, 0)).date(), QDate(1899, 12, 29));
}

TEST(Wire, NullIsDistinctFromEmptyTextThroughADataset)
{
    auto ds = makeIncList();
    PacketBuilder b = incPacket(0);
    b.row({QStringLiteral("001"), QString(""), Variant()});
    ds->SetData(b);
    EXPECT_FALSE(ds->FieldByName("TXOBSLIBINCO")->IsNull());
    EXPECT_TRUE(ds->FieldByName("ATIVA")->IsNull());
    ds->Edit();
    ds->FieldByName("ATIVA")->setAsString("S");
    ds->Post();
    const auto d = ds->Delta();
    EXPECT_TRUE(d.rows(0).original().values(1).has_text());
    EXPECT_EQ(d.rows(0).original().values(2).v_case(), zel::data::Value::V_NOT_SET);
}

TEST(Wire, KeyListIsOneStrictFormat)
{
    EXPECT_EQ(KeyList::Join({"0000000001", "0000000012"}), "0000000001,0000000012");
    const auto ok = KeyList::Parse("0000000001,0000000012", 10);
    ASSERT_TRUE(ok);
    EXPECT_EQ(*ok, QStringList({"0000000001", "0000000012"}));
    for (const char* bad : {"", " ", ",", "1,", ",1", "1,,2", "1, 2", "12345678901", "1'--", "1;2\"", "a\tb"})
        EXPECT_FALSE(KeyList::Parse(QString::fromUtf8(bad), 10)) << bad;
}

TEST(Wire, VariantAndDateConversionsAreStrict)
{
    EXPECT_THROW(Variant().toString(), EConvertError);
    EXPECT_THROW(Variant("talvez").toBool(), EConvertError);
    EXPECT_TRUE(Variant("true").toBool());
    EXPECT_FALSE(Variant("0").toBool());
    EXPECT_EQ(Variant(true).toString(), "True");
    EXPECT_THROW(StrToDate("31/02/2026"), EConvertError);
    EXPECT_THROW(StrToDate(""), EConvertError);
    EXPECT_EQ(StrToDate("29/02/2024").date(), QDate(2024, 2, 29));
    EXPECT_EQ(StrToDate("08/12/26").date(), QDate(2026, 12, 8));
    EXPECT_EQ(DateToStr(TDateTime::fromDate(QDate(2026, 1, 5))), "05/01/2026");
}

TEST(Wire, GuardSwallowsAbortAndReportsOtherFailures)
{
    QStringList reported;
    auto previous = SetFailureReporter([&](std::exception_ptr e) {
        try {
            std::rethrow_exception(e);
        } catch (const std::exception& ex) {
            reported << QString::fromUtf8(ex.what());
        }
    });
    EXPECT_TRUE(Guarded([] {}));
    EXPECT_FALSE(Guarded([] { Abort(); }));
    EXPECT_FALSE(Guarded([] { throw EDatabaseError("Filial não cadastrada."); }));
    EXPECT_FALSE(Guarded([] { throw std::runtime_error("x"); }));
    SetFailureReporter([](std::exception_ptr) { throw std::runtime_error("reporter failed"); });
    EXPECT_FALSE(Guarded([] { throw std::runtime_error("y"); })); // a failing reporter does not escape
    SetFailureReporter(previous);
    EXPECT_EQ(reported, QStringList({QString::fromUtf8("Filial não cadastrada."), "x"}));
}
