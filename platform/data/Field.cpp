#include "platform/data/Field.h"

#include "platform/data/DataSet.h"
#include "platform/data/Exceptions.h"

#include <cmath>

namespace zel {

TField::TField(TDataSet* dataSet, const QString& fieldName, TFieldType type, int size)
    : dataSet_(dataSet), fieldName_(fieldName), type_(type), size_(size)
{
}

TField::~TField() = default;

int TField::DisplayWidth() const
{
    if (displayWidth_ > 0) return displayWidth_;
    switch (type_) {
    case TFieldType::ftString:
    case TFieldType::ftFixedChar:
        return size_ > 0 ? size_ : 20;
    case TFieldType::ftDateTime:
        return 18;
    case TFieldType::ftFloat:
        return 10;
    case TFieldType::ftInteger:
        return 10;
    }
    return 10;
}

bool TField::IsNull() const
{
    return Value().isNull();
}

Variant TField::Value() const
{
    return dataSet_->FieldValue(this);
}

void TField::setValue(const Variant& v)
{
    dataSet_->SetFieldValue(this, v);
}

QString TField::AsString() const
{
    const Variant v = Value();
    if (v.isNull()) return {};
    if (type_ == TFieldType::ftFloat) {
        QLocale l;
        l.setNumberOptions(QLocale::OmitGroupSeparator);
        return l.toString(v.toFloat(), 'g', 15);
    }
    return v.toString();
}

void TField::setAsString(const QString& v)
{
    switch (type_) {
    case TFieldType::ftString:
    case TFieldType::ftFixedChar:
        setValue(v);
        break;
    default:
        setValue(v.trimmed().isEmpty() ? Variant() : Variant(v));
        break;
    }
}

TDateTime TField::AsDateTime() const
{
    const Variant v = Value();
    return v.isNull() ? TDateTime() : v.toDateTime();
}

void TField::setAsDateTime(const TDateTime& v)
{
    setValue(v);
}

double TField::AsFloat() const
{
    const Variant v = Value();
    return v.isNull() ? 0.0 : v.toFloat();
}

void TField::setAsFloat(double v)
{
    setValue(v);
}

std::int64_t TField::AsInteger() const
{
    const Variant v = Value();
    return v.isNull() ? 0 : v.toInteger();
}

void TField::setAsInteger(std::int64_t v)
{
    setValue(v);
}

QString TField::GetText(bool displayText) const
{
    if (OnGetText) {
        QString text;
        OnGetText(const_cast<TField*>(this), text, displayText);
        return text;
    }
    return FormatValue(Value(), displayText);
}

QString TField::FormatValue(const Variant& v, bool displayText) const
{
    if (v.isNull()) return {};
    const QString& fmt = displayText || editFormat_.isEmpty() ? displayFormat_ : editFormat_;
    switch (type_) {
    case TFieldType::ftString:
    case TFieldType::ftFixedChar:
        return v.toString();
    case TFieldType::ftDateTime:
        if (!fmt.isEmpty()) return QLocale().toString(v.toDateTime().toQDateTime(), fmt);
        return DateTimeToStr(v.toDateTime());
    case TFieldType::ftFloat:
        if (!fmt.isEmpty()) return FormatFloat(fmt, v.toFloat());
        {
            QLocale l;
            l.setNumberOptions(QLocale::OmitGroupSeparator);
            return l.toString(v.toFloat(), 'g', 15);
        }
    case TFieldType::ftInteger:
        return QString::number(v.toInteger());
    }
    return {};
}

Variant TField::Coerce(const Variant& v) const
{
    if (v.isNull()) return v;
    try {
        switch (type_) {
        case TFieldType::ftString:
        case TFieldType::ftFixedChar: {
            QString s = v.toString();
            if (size_ > 0 && CharacterCount(s) > size_)
                throw EDatabaseError(QStringLiteral("O valor '%1' excede o tamanho do campo %2 (%3 caracteres).")
                                         .arg(s, fieldName_)
                                         .arg(size_));
            return s;
        }
        case TFieldType::ftDateTime:
            return v.toDateTime();
        case TFieldType::ftFloat:
            return v.toFloat();
        case TFieldType::ftInteger:
            return v.toInteger();
        }
    } catch (const EConvertError& e) {
        throw EConvertError(QStringLiteral("Valor inválido para o campo %1: %2").arg(fieldName_, e.Message()));
    }
    return v;
}

int CharacterCount(const QString& text)
{
    int n = 0;
    for (qsizetype i = 0; i < text.size(); ++i)
        if (!(text[i].isLowSurrogate() && i > 0 && text[i - 1].isHighSurrogate())) ++n;
    return n;
}

QString LeftCharacters(const QString& text, int count)
{
    qsizetype end = 0;
    for (int n = 0; n < count && end < text.size(); ++n)
        end += text[end].isHighSurrogate() && end + 1 < text.size() && text[end + 1].isLowSurrogate() ? 2 : 1;
    return text.left(end);
}

QString FormatFloat(const QString& format, double value, const QLocale& locale)
{
    QString fmt = format.section(QLatin1Char(';'), 0, 0);
    auto isPat = [](QChar c) { return c == '#' || c == '0' || c == ',' || c == '.'; };
    qsizetype first = -1, last = -1;
    for (qsizetype i = 0; i < fmt.size(); ++i)
        if (isPat(fmt[i])) {
            if (first < 0) first = i;
            last = i;
        }
    if (first < 0) return fmt;
    const QString prefix = fmt.left(first), suffix = fmt.mid(last + 1);
    const QString pat = fmt.mid(first, last - first + 1);
    const qsizetype dot = pat.indexOf(QLatin1Char('.'));
    const QString intPart = dot < 0 ? pat : pat.left(dot);
    const QString decPart = dot < 0 ? QString() : pat.mid(dot + 1);
    const bool grouping = intPart.contains(QLatin1Char(','));
    const int minInt = int(intPart.count(QLatin1Char('0')));
    const int minDec = int(decPart.count(QLatin1Char('0')));
    const int maxDec = minDec + int(decPart.count(QLatin1Char('#')));

    const double rounded = std::round(std::fabs(value) * std::pow(10.0, maxDec)) / std::pow(10.0, maxDec);
    QLocale l = locale;
    l.setNumberOptions(grouping ? QLocale::DefaultNumberOptions : QLocale::OmitGroupSeparator);
    QString digits = l.toString(rounded, 'f', maxDec);
    // Drop optional decimals that are zero.
    if (maxDec > minDec) {
        const QString dp = l.decimalPoint();
        qsizetype p = digits.indexOf(dp);
        if (p >= 0) {
            qsizetype keep = p + dp.size() + minDec;
            qsizetype end = digits.size();
            while (end > keep && digits[end - 1] == QLatin1Char('0'))
                --end;
            digits.truncate(end);
            if (digits.endsWith(dp)) digits.chop(dp.size());
        }
    }
    // Leading integer digits: "0.00" shows 0,50; "#.##" shows ,5.
    if (minInt == 0 && rounded < 1.0) {
        const QString zero = l.zeroDigit();
        if (digits.startsWith(zero)) digits.remove(0, zero.size());
    }
    const bool negative = value < 0 && rounded != 0.0;
    return (negative ? QStringLiteral("-") : QString()) + prefix + digits + suffix;
}

} // namespace zel
