// A dataset loaded with a very large packet in the shell: the user-interface
// thread goes on handling its events (repaints, the wait animation) while
// the rows are checked and built, and sees the previous rows until the new
// ones are in.
#include "host/ServerCall.h"
#include "platform/data/DataSet.h"
#include "platform/data/Exceptions.h"
#include "proto/datapacket.pb.h"

#include <QTimer>

#include <gtest/gtest.h>

using namespace zel;

namespace {

// An order list of `rows` rows: NRPEDIDO (text 10) and VRPEDIDO; the last
// number is `lastNumber`.
zel::data::DataPacket orders(std::uint32_t rows, const std::string& lastNumber = "")
{
    zel::data::DataPacket p;
    auto* f = p.add_fields();
    f->set_name("NRPEDIDO");
    f->set_kind(zel::data::FIELD_TEXT);
    f->set_size(10);
    f = p.add_fields();
    f->set_name("VRPEDIDO");
    f->set_kind(zel::data::FIELD_FLOAT);
    p.set_row_count(rows);
    auto* numbers = p.add_columns();
    auto* values = p.add_columns();
    for (std::uint32_t r = 0; r < rows; ++r) {
        char n[16];
        std::snprintf(n, sizeof n, "%010u", r + 1);
        const std::string number = r + 1 == rows && !lastNumber.empty() ? lastNumber : std::string(n);
        numbers->mutable_text()->append(number);
        numbers->add_text_lengths(std::uint32_t(number.size()));
        values->add_floats(double(r) / 4);
    }
    return p;
}

TEST(LongLoad, TheEventLoopGoesOnDuringALongLoadWhichShowsTheOldRowsUntilItEnds)
{
    TClientDataSet ds(QStringLiteral("cdsPedido"));
    ds.AddField(QStringLiteral("NRPEDIDO"), TFieldType::ftString, 10);
    ds.AddField(QStringLiteral("VRPEDIDO"), TFieldType::ftFloat);
    ds.SetData(orders(3));
    ASSERT_EQ(ds.RecordCount(), 3);

    const std::uint32_t many = TClientDataSet::kLongLoadRows * 20;
    bool returned = false, handledDuringLoad = false;
    int rowsSeen = -1;
    // Posted before the load: handled while it runs, when the rows shown are
    // still the old ones.
    QTimer::singleShot(0, [&] {
        handledDuringLoad = !returned;
        rowsSeen = ds.RecordCount();
    });
    ds.SetData(orders(many));
    returned = true;
    EXPECT_TRUE(handledDuringLoad);
    EXPECT_EQ(rowsSeen, 3);
    EXPECT_EQ(ds.RecordCount(), int(many));
    ds.Last();
    EXPECT_EQ(ds.FieldByName(QStringLiteral("NRPEDIDO"))->AsString(),
              QStringLiteral("%1").arg(many, 10, 10, QChar(u'0')));

    // A refusal found while building reaches the caller; the rows stay.
    try {
        ds.SetData(orders(many, "00000000001"));
        FAIL() << "a number longer than its field was loaded";
    } catch (const EDatabaseError& e) {
        EXPECT_TRUE(e.Message().contains(QStringLiteral("NRPEDIDO"))) << e.what();
    }
    EXPECT_EQ(ds.RecordCount(), int(many));
}

} // namespace
