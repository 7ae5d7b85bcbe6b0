#pragma once

#include "platform/data/DateTime.h"

#include <QString>

#include <cstdint>
#include <variant>

namespace zel {

// A loosely typed value: null, boolean, text, date-time, floating point or
// integer. Conversions are strict: what cannot be converted raises
// EConvertError (a null converts to nothing).
class Variant {
public:
    enum class Type { Null, Boolean, Text, DateTime, Float, Integer };

    Variant() = default;
    Variant(bool v) : v_(v) {}
    Variant(const QString& v) : v_(v) {}
    Variant(const char* v) : v_(QString::fromUtf8(v)) {}
    Variant(const TDateTime& v) : v_(v) {}
    Variant(double v) : v_(v) {}
    Variant(std::int64_t v) : v_(v) {}
    Variant(int v) : v_(std::int64_t(v)) {}

    static Variant Null() { return {}; }

    Type type() const { return Type(v_.index()); }
    bool isNull() const { return type() == Type::Null; }

    QString toString() const;
    bool toBool() const;
    TDateTime toDateTime() const;
    double toFloat() const;
    std::int64_t toInteger() const;

    bool operator==(const Variant& o) const { return v_ == o.v_; }

private:
    std::variant<std::monostate, bool, QString, TDateTime, double, std::int64_t> v_;
};

} // namespace zel
