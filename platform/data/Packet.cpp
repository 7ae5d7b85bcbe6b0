#include "platform/data/Packet.h"

namespace zel {

zel::data::FieldKind ToWireKind(TFieldType t)
{
    switch (t) {
    case TFieldType::ftString:
        return zel::data::FIELD_TEXT;
    case TFieldType::ftFixedChar:
        return zel::data::FIELD_FIXED_TEXT;
    case TFieldType::ftDateTime:
        return zel::data::FIELD_DATETIME;
    case TFieldType::ftFloat:
        return zel::data::FIELD_FLOAT;
    case TFieldType::ftInteger:
        return zel::data::FIELD_INTEGER;
    }
    return zel::data::FIELD_TEXT;
}

TFieldType FromWireKind(zel::data::FieldKind k)
{
    switch (k) {
    case zel::data::FIELD_FIXED_TEXT:
        return TFieldType::ftFixedChar;
    case zel::data::FIELD_DATETIME:
        return TFieldType::ftDateTime;
    case zel::data::FIELD_FLOAT:
        return TFieldType::ftFloat;
    case zel::data::FIELD_INTEGER:
        return TFieldType::ftInteger;
    default:
        return TFieldType::ftString;
    }
}

zel::data::Value ToWire(const Variant& v, TFieldType t)
{
    zel::data::Value w;
    if (v.isNull()) return w;
    switch (t) {
    case TFieldType::ftString:
    case TFieldType::ftFixedChar:
        w.set_text(v.toString().toStdString());
        break;
    case TFieldType::ftDateTime:
        w.set_datetime_ms(v.toDateTime().msecs());
        break;
    case TFieldType::ftFloat:
        w.set_float_value(v.toFloat());
        break;
    case TFieldType::ftInteger:
        w.set_integer_value(v.toInteger());
        break;
    }
    return w;
}

Variant FromWire(const zel::data::Value& v)
{
    switch (v.v_case()) {
    case zel::data::Value::kText:
        return QString::fromStdString(v.text());
    case zel::data::Value::kDatetimeMs:
        return TDateTime::fromMSecs(v.datetime_ms());
    case zel::data::Value::kFloatValue:
        return v.float_value();
    case zel::data::Value::kIntegerValue:
        return std::int64_t(v.integer_value());
    default:
        return {};
    }
}

QString FieldKindName(TFieldType t)
{
    switch (t) {
    case TFieldType::ftString:
        return QStringLiteral("texto");
    case TFieldType::ftFixedChar:
        return QStringLiteral("texto de tamanho fixo");
    case TFieldType::ftDateTime:
        return QStringLiteral("data e hora");
    case TFieldType::ftFloat:
        return QStringLiteral("número decimal");
    case TFieldType::ftInteger:
        return QStringLiteral("número inteiro");
    }
    return {};
}

} // namespace zel

#include "platform/data/Exceptions.h"

namespace zel {
namespace {
bool isTextType(TFieldType t)
{
    return t == TFieldType::ftString || t == TFieldType::ftFixedChar;
}
} // namespace

PacketWriter& PacketWriter::field(std::string_view name, TFieldType type, int size)
{
    auto* f = p_.add_fields();
    f->set_name(std::string(name));
    f->set_kind(ToWireKind(type));
    f->set_size(size);
    p_.add_columns();
    types_.push_back(type);
    return *this;
}

zel::data::Column& PacketWriter::next(TFieldType expected)
{
    if (types_.empty()) DatabaseError(QStringLiteral("Pacote de dados sem campos."));
    const TFieldType t = types_[col_];
    const bool ok = isTextType(expected)
                        ? isTextType(t)
                        : (t == expected || (expected == TFieldType::ftInteger && t == TFieldType::ftDateTime));
    if (!ok)
        DatabaseError(
            QStringLiteral("Valor de tipo %1 para o campo '%2' (%3).")
                .arg(FieldKindName(expected), QString::fromStdString(p_.fields(int(col_)).name()), FieldKindName(t)));
    zel::data::Column& c = *p_.mutable_columns(int(col_));
    if (++col_ == types_.size()) {
        col_ = 0;
        p_.set_row_count(p_.row_count() + 1);
    }
    return c;
}

void PacketWriter::markNull(zel::data::Column& c)
{
    // The row being written is row_count, or row_count - 1 when this value
    // completed it.
    const std::uint32_t row = col_ == 0 ? p_.row_count() - 1 : p_.row_count();
    std::string* bits = c.mutable_nulls();
    if (bits->size() <= row / 8) bits->resize(row / 8 + 1, '\0');
    (*bits)[row / 8] = char((unsigned char)(*bits)[row / 8] | (1u << (row % 8)));
}

PacketWriter& PacketWriter::text(std::string_view utf8)
{
    zel::data::Column& c = next(TFieldType::ftString);
    c.mutable_text()->append(utf8);
    c.add_text_lengths(std::uint32_t(utf8.size()));
    return *this;
}

PacketWriter& PacketWriter::text(const QString& s)
{
    const QByteArray b = s.toUtf8();
    return text(std::string_view(b.constData(), std::size_t(b.size())));
}

PacketWriter& PacketWriter::null()
{
    const TFieldType t = types_.empty() ? TFieldType::ftString : types_[col_];
    zel::data::Column& c = next(t);
    if (isTextType(t))
        c.add_text_lengths(0);
    else if (t == TFieldType::ftFloat)
        c.add_floats(0.0);
    else
        c.add_integers(0);
    markNull(c);
    return *this;
}

PacketWriter& PacketWriter::dateTime(const TDateTime& d)
{
    next(TFieldType::ftDateTime).add_integers(d.msecs());
    return *this;
}

PacketWriter& PacketWriter::number(double v)
{
    next(TFieldType::ftFloat).add_floats(v);
    return *this;
}

PacketWriter& PacketWriter::integer(std::int64_t v)
{
    next(TFieldType::ftInteger).add_integers(v);
    return *this;
}

PacketWriter& PacketWriter::value(const Variant& v)
{
    if (v.isNull()) return null();
    switch (types_.empty() ? TFieldType::ftString : types_[col_]) {
    case TFieldType::ftString:
    case TFieldType::ftFixedChar:
        return text(v.toString());
    case TFieldType::ftDateTime:
        return dateTime(v.toDateTime());
    case TFieldType::ftFloat:
        return number(v.toFloat());
    case TFieldType::ftInteger:
        return integer(v.toInteger());
    }
    return *this;
}

PacketWriter& PacketWriter::row(const std::vector<Variant>& values)
{
    for (const Variant& v : values)
        value(v);
    return *this;
}

zel::data::DataPacket PacketWriter::Take()
{
    if (col_ != 0) DatabaseError(QStringLiteral("Pacote de dados com uma linha incompleta."));
    zel::data::DataPacket out;
    out.Swap(&p_);
    types_.clear();
    return out;
}

QString PacketReader::Validate(const zel::data::DataPacket& p)
{
    const std::size_t rows = p.row_count();
    if (p.columns_size() != p.fields_size())
        return QStringLiteral("%1 campos e %2 colunas.").arg(p.fields_size()).arg(p.columns_size());
    for (int i = 0; i < p.fields_size(); ++i) {
        const auto& c = p.columns(i);
        const QString name = QString::fromStdString(p.fields(i).name());
        const TFieldType t = FromWireKind(p.fields(i).kind());
        if (c.nulls().size() > (rows + 7) / 8) return QStringLiteral("marcas de nulo demais no campo '%1'.").arg(name);
        std::size_t count = 0;
        if (isTextType(t)) {
            count = std::size_t(c.text_lengths_size());
            std::uint64_t total = 0;
            for (std::uint32_t l : c.text_lengths())
                total += l;
            if (total != c.text().size())
                return QStringLiteral("tamanhos de texto incoerentes no campo '%1'.").arg(name);
            if (c.integers_size() || c.floats_size())
                return QStringLiteral("valores de outro tipo no campo '%1'.").arg(name);
        } else if (t == TFieldType::ftFloat) {
            count = std::size_t(c.floats_size());
            if (c.integers_size() || c.text_lengths_size() || !c.text().empty())
                return QStringLiteral("valores de outro tipo no campo '%1'.").arg(name);
        } else {
            count = std::size_t(c.integers_size());
            if (c.floats_size() || c.text_lengths_size() || !c.text().empty())
                return QStringLiteral("valores de outro tipo no campo '%1'.").arg(name);
        }
        if (count != rows)
            return QStringLiteral("%1 valores para %2 linhas no campo '%3'.").arg(count).arg(rows).arg(name);
    }
    return {};
}

PacketReader::PacketReader(const zel::data::DataPacket& p) : p_(p)
{
    offsets_.resize(std::size_t(p.columns_size()));
    for (int i = 0; i < p.columns_size(); ++i) {
        const auto& lens = p.columns(i).text_lengths();
        auto& offs = offsets_[std::size_t(i)];
        offs.reserve(std::size_t(lens.size()));
        std::uint32_t off = 0;
        for (std::uint32_t l : lens) {
            offs.push_back(off);
            off += l;
        }
    }
}

int PacketReader::fieldIndex(std::string_view name) const
{
    for (int i = 0; i < p_.fields_size(); ++i)
        if (QString::fromStdString(p_.fields(i).name())
                .compare(QString::fromUtf8(name.data(), qsizetype(name.size())), Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

bool PacketReader::isNull(int row, int col) const
{
    const std::string& bits = p_.columns(col).nulls();
    const std::size_t r = std::size_t(row);
    return r / 8 < bits.size() && ((unsigned char)bits[r / 8] >> (r % 8)) & 1;
}

Variant PacketReader::value(int row, int col) const
{
    if (col < 0 || row < 0 || row >= rowCount() || isNull(row, col)) return {};
    const auto& c = p_.columns(col);
    switch (FromWireKind(p_.fields(col).kind())) {
    case TFieldType::ftString:
    case TFieldType::ftFixedChar:
        return QString::fromUtf8(c.text().data() + offsets_[std::size_t(col)][std::size_t(row)],
                                 qsizetype(c.text_lengths(row)));
    case TFieldType::ftDateTime:
        return TDateTime::fromMSecs(c.integers(row));
    case TFieldType::ftFloat:
        return c.floats(row);
    case TFieldType::ftInteger:
        return std::int64_t(c.integers(row));
    }
    return {};
}

QString PacketReader::text(int row, std::string_view name) const
{
    const Variant v = value(row, fieldIndex(name));
    return v.isNull() ? QString() : v.toString();
}

} // namespace zel
