#pragma once

// Data packets shaped by a dataset's persistent fields: built from the
// product's own record layouts (the review screen's order list, say), a test's
// packet has the fields, kinds and sizes the screen expects of the server.

#include "platform/data/DataSet.h"
#include "platform/data/Packet.h"

#include <QHash>

#include <initializer_list>
#include <utility>

namespace zel::test {

class PacketFor {
public:
    explicit PacketFor(const TDataSet& layout);

    // One row: the named fields take the values, every other field is null.
    // A name the layout lacks fails the test.
    PacketFor& row(std::initializer_list<std::pair<const char*, Variant>> values);
    int rowCount() const { return writer_.rowCount(); }
    zel::data::DataPacket Take() { return writer_.Take(); }

private:
    QString layout_;
    QHash<QString, int> index_;
    std::vector<Variant> row_;
    PacketWriter writer_;
};

} // namespace zel::test
