#include "platform/data/Variant.h"

#include "platform/data/Exceptions.h"

#include <cmath>
#include <limits>

namespace zel {
namespace {

const char* typeName(Variant::Type t)
{
    switch (t) {
    case Variant::Type::Null:
        return "nulo";
    case Variant::Type::Boolean:
        return "lógico";
    case Variant::Type::Text:
        return "texto";
    case Variant::Type::DateTime:
        return "data";
    case Variant::Type::Float:
        return "número";
    case Variant::Type::Integer:
        return "inteiro";
    }
    return "?";
}

[[noreturn]] void cannotConvert(Variant::Type from, const char* to)
{
    throw EConvertError(QStringLiteral("Não é possível converter um valor do tipo %1 para %2.")
                            .arg(QString::fromUtf8(typeName(from)), QString::fromUtf8(to)));
}

} // namespace

QString Variant::toString() const
{
    switch (type()) {
    case Type::Null:
        cannotConvert(type(), "texto");
    case Type::Boolean:
        return std::get<bool>(v_) ? QStringLiteral("True") : QStringLiteral("False");
    case Type::Text:
        return std::get<QString>(v_);
    case Type::DateTime:
        return DateTimeToStr(std::get<TDateTime>(v_));
    case Type::Float:
        return QString::number(std::get<double>(v_), 'g', 15);
    case Type::Integer:
        return QString::number(std::get<std::int64_t>(v_));
    }
    return {};
}

bool Variant::toBool() const
{
    switch (type()) {
    case Type::Boolean:
        return std::get<bool>(v_);
    case Type::Integer:
        return std::get<std::int64_t>(v_) != 0;
    case Type::Float:
        return std::get<double>(v_) != 0.0;
    case Type::Text: {
        const QString t = std::get<QString>(v_).trimmed();
        if (t.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0) return true;
        if (t.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0) return false;
        bool ok = false;
        const qlonglong n = t.toLongLong(&ok);
        if (ok) return n != 0;
        throw EConvertError(QStringLiteral("'%1' não é um valor lógico válido.").arg(t));
    }
    default:
        cannotConvert(type(), "lógico");
    }
}

TDateTime Variant::toDateTime() const
{
    switch (type()) {
    case Type::DateTime:
        return std::get<TDateTime>(v_);
    case Type::Text:
        return StrToDate(std::get<QString>(v_));
    default:
        cannotConvert(type(), "data");
    }
}

double Variant::toFloat() const
{
    switch (type()) {
    case Type::Float:
        return std::get<double>(v_);
    case Type::Integer:
        return double(std::get<std::int64_t>(v_));
    case Type::Boolean:
        return std::get<bool>(v_) ? 1.0 : 0.0;
    case Type::Text: {
        const QString t = std::get<QString>(v_).trimmed();
        bool ok = false;
        double d = QLocale().toDouble(t, &ok);
        if (!ok) d = t.toDouble(&ok);
        if (!ok) throw EConvertError(QStringLiteral("'%1' não é um número válido.").arg(t));
        return d;
    }
    default:
        cannotConvert(type(), "número");
    }
}

std::int64_t Variant::toInteger() const
{
    switch (type()) {
    case Type::Integer:
        return std::get<std::int64_t>(v_);
    case Type::Boolean:
        return std::get<bool>(v_) ? 1 : 0;
    case Type::Float: {
        double d = std::get<double>(v_);
        if (!std::isfinite(d) || d >= 9.2e18 || d <= -9.2e18) cannotConvert(type(), "inteiro");
        return std::int64_t(std::llround(d));
    }
    case Type::Text: {
        bool ok = false;
        const qlonglong n = std::get<QString>(v_).trimmed().toLongLong(&ok);
        if (!ok) throw EConvertError(QStringLiteral("'%1' não é um número inteiro válido.").arg(std::get<QString>(v_)));
        return n;
    }
    default:
        cannotConvert(type(), "inteiro");
    }
}

} // namespace zel
