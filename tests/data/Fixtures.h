#pragma once

#include "DataSet.h"
#include "DataSource.h"
#include "Packet.h"

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
        auto* f = p_.add_fields();
        f->set_name(name);
        f->set_kind(kind);
        f->set_size(size);
        return *this;
    }
    PacketBuilder& row(const std::vector<Variant>& values)
    {
        auto* r = p_.add_rows();
        for (std::size_t i = 0; i < values.size(); ++i)
            *r->add_values() = ToWire(values[i], FromWireKind(p_.fields(int(i)).kind()));
        return *this;
    }
    const zel::data::DataPacket& packet() const { return p_; }
    operator const zel::data::DataPacket&() const { return p_; }

private:
    zel::data::DataPacket p_;
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
        if (onUpdateData)
            onUpdateData();
    }
    std::function<void()> onUpdateData;
    QStringList events;
};

} // namespace zel::test
