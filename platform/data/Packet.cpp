#include "Packet.h"

namespace zel {

zel::data::FieldKind ToWireKind(TFieldType t)
{
    switch (t) {
    case TFieldType::ftString: return zel::data::FIELD_TEXT;
    case TFieldType::ftFixedChar: return zel::data::FIELD_FIXED_TEXT;
    case TFieldType::ftDateTime: return zel::data::FIELD_DATETIME;
    case TFieldType::ftFloat: return zel::data::FIELD_FLOAT;
    case TFieldType::ftInteger: return zel::data::FIELD_INTEGER;
    }
    return zel::data::FIELD_TEXT;
}

TFieldType FromWireKind(zel::data::FieldKind k)
{
    switch (k) {
    case zel::data::FIELD_FIXED_TEXT: return TFieldType::ftFixedChar;
    case zel::data::FIELD_DATETIME: return TFieldType::ftDateTime;
    case zel::data::FIELD_FLOAT: return TFieldType::ftFloat;
    case zel::data::FIELD_INTEGER: return TFieldType::ftInteger;
    default: return TFieldType::ftString;
    }
}

zel::data::Value ToWire(const Variant& v, TFieldType t)
{
    zel::data::Value w;
    if (v.isNull())
        return w;
    switch (t) {
    case TFieldType::ftString:
    case TFieldType::ftFixedChar: w.set_text(v.toString().toStdString()); break;
    case TFieldType::ftDateTime: w.set_datetime_ms(v.toDateTime().msecs()); break;
    case TFieldType::ftFloat: w.set_float_value(v.toFloat()); break;
    case TFieldType::ftInteger: w.set_integer_value(v.toInteger()); break;
    }
    return w;
}

Variant FromWire(const zel::data::Value& v)
{
    switch (v.v_case()) {
    case zel::data::Value::kText: return QString::fromStdString(v.text());
    case zel::data::Value::kDatetimeMs: return TDateTime::fromMSecs(v.datetime_ms());
    case zel::data::Value::kFloatValue: return v.float_value();
    case zel::data::Value::kIntegerValue: return std::int64_t(v.integer_value());
    default: return {};
    }
}

QString FieldKindName(TFieldType t)
{
    switch (t) {
    case TFieldType::ftString: return QStringLiteral("texto");
    case TFieldType::ftFixedChar: return QStringLiteral("texto de tamanho fixo");
    case TFieldType::ftDateTime: return QStringLiteral("data e hora");
    case TFieldType::ftFloat: return QStringLiteral("número decimal");
    case TFieldType::ftInteger: return QStringLiteral("número inteiro");
    }
    return {};
}

} // namespace zel
