#pragma once

#include "platform/data/DataSet.h"
#include "platform/data/DataSource.h"
#include "platform/data/Packet.h"

#include <QStringList>

#include <memory>
#include <string>
#include <vector>

namespace zel::test {

// Builds data packets the way the server sends them.
class PacketBuilder {
public:
    PacketBuilder& field(const char* name, zel::data::FieldKind kind, int size = 0)
    {
        w_.field(name, FromWireKind(kind), size);
        return *this;
    }
    PacketBuilder& row(const std::vector<Variant>& values)
    {
        w_.row(values);
        return *this;
    }
    zel::data::DataPacket packet() { return PacketWriter(w_).Take(); }
    operator zel::data::DataPacket() { return packet(); }

private:
    PacketWriter w_;
};

// An inconsistency list with the three fields these tests need.
inline std::unique_ptr<TClientDataSet> makeIncList()
{
    auto ds = std::make_unique<TClientDataSet>(QStringLiteral("cdsIncPed"));
    ds->AddField("NRINCONSPED", TFieldType::ftString, 3);
    ds->AddField("TXOBSLIBINCO", TFieldType::ftString, 2000);
    ds->AddField("ATIVA", TFieldType::ftFixedChar, 1);
    return ds;
}

inline PacketBuilder incPacket(int rows)
{
    PacketBuilder b;
    b.field("NRINCONSPED", zel::data::FIELD_TEXT, 3)
        .field("TXOBSLIBINCO", zel::data::FIELD_TEXT, 2000)
        .field("ATIVA", zel::data::FIELD_FIXED_TEXT, 1);
    for (int i = 1; i <= rows; ++i)
        b.row({QStringLiteral("%1").arg(i, 3, 10, QLatin1Char('0')), Variant(), QStringLiteral("N")});
    return b;
}

// Records what a data source and its link see, in order.
class Recorder : public TDataLink {
public:
    explicit Recorder(TDataSource* src)
    {
        setDataSource(src);
        events.clear();
    }
    void ActiveChanged() override { events << "active"; }
    void DataSetChanged() override { events << "changed"; }
    void DataSetScrolled() override { events << "scrolled"; }
    void RecordChanged(TField*) override { events << "record"; }
    void EditingChanged() override { events << "editing"; }
    void UpdateData() override
    {
        events << "updatedata";
        if (onUpdateData) onUpdateData();
    }
    std::function<void()> onUpdateData;
    QStringList events;
};

} // namespace zel::test
