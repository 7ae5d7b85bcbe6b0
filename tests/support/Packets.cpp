#include "tests/support/Packets.h"

#include <gtest/gtest.h>

namespace zel::test {

PacketFor::PacketFor(const TDataSet& layout) : layout_(layout.Name())
{
    for (int i = 0; i < layout.FieldCount(); ++i) {
        const TField* f = layout.Field(i);
        writer_.field(f->FieldName().toStdString(), f->DataType(), f->Size());
        index_.insert(f->FieldName(), i);
    }
    row_.resize(std::size_t(layout.FieldCount()));
}

PacketFor& PacketFor::row(std::initializer_list<std::pair<const char*, Variant>> values)
{
    std::fill(row_.begin(), row_.end(), Variant());
    for (const auto& [name, value] : values) {
        const auto it = index_.constFind(QLatin1String(name));
        if (it == index_.constEnd())
            ADD_FAILURE() << layout_.toStdString() << " has no field " << name;
        else
            row_[std::size_t(*it)] = value;
    }
    writer_.row(row_);
    return *this;
}

} // namespace zel::test
