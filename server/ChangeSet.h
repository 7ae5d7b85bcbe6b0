#pragma once

#include "proto/datapacket.pb.h"
#include "server/Db.h"
#include "server/Packets.h"

#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace zel::server {

// What a change packet may do to one kind of row: which fields find the row,
// which may change, and the values a changeable field accepts.
struct ChangeSpec {
    const std::vector<FieldSpec>* fields; // the dataset's fields
    std::vector<std::string> key;
    struct Changeable {
        std::string name;
        bool nullable;
        std::vector<std::string> allowed; // empty = any text that fits
    };
    std::vector<Changeable> changeable;
    const char* rowName; // for messages: "Inconsistência", "Item do pedido"
    // The dataset positions of the key and changeable fields, found once
    // (Indexed); when left empty, they are looked up by name at each packet.
    std::vector<int> keyAt, changeableAt;
};

// The rules with the positions of their fields filled in.
ChangeSpec Indexed(ChangeSpec rules);

// One modified row, decoded and checked.
struct RowUpdate {
    std::vector<std::string> key;                // in ChangeSpec::key order
    std::vector<DbValue> original;               // per changeable field
    std::vector<std::optional<DbValue>> changes; // per changeable field; nullopt = unchanged
};

// The most rows one change packet may carry.
constexpr int kMaxChangeRows = 5000;

// Decodes a change packet strictly: every declared field is a field of the
// dataset with its kind and size, the key and changeable fields are present,
// each row is a modification whose original values have the declared kinds
// and whose changes touch only changeable fields with values that fit. Any
// deviation is an error naming what is wrong; nothing is partially accepted.
std::variant<std::vector<RowUpdate>, ServiceError> DecodeChanges(const zel::data::ChangePacket& packet,
                                                                 const ChangeSpec& rules);

namespace Changes {
const ChangeSpec& IncPed();
const ChangeSpec& ItemPedido();
} // namespace Changes

} // namespace zel::server
