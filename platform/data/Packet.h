#pragma once

#include "Field.h"
#include "Variant.h"
#include "datapacket.pb.h"

namespace zel {

// Conversions between the platform's values and their wire encoding.
zel::data::FieldKind ToWireKind(TFieldType t);
TFieldType FromWireKind(zel::data::FieldKind k);
// The value converted to the field kind's wire form; null stays unset.
zel::data::Value ToWire(const Variant& v, TFieldType t);
Variant FromWire(const zel::data::Value& v);
QString FieldKindName(TFieldType t);

} // namespace zel
