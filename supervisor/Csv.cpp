#include "supervisor/Csv.h"

#include <QLocale>

namespace Pkg_zel08200 {

QString CsvField(const QString& text)
{
    static const QString special = QStringLiteral(";\"\r\n");
    bool quote = false;
    for (QChar c : text)
        if (special.contains(c)) {
            quote = true;
            break;
        }
    // Spreadsheets drop the spaces around an unquoted field.
    if (!text.isEmpty() && (text.front().isSpace() || text.back().isSpace())) quote = true;
    if (!quote) return text;
    QString out = text;
    out.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + out + QLatin1Char('"');
}

QString CsvValue(const zel::Variant& v)
{
    static const QLocale brazil(QLocale::Portuguese, QLocale::Brazil);
    using T = zel::Variant::Type;
    switch (v.type()) {
    case T::Null:
        return {};
    case T::DateTime:
        return brazil.toString(v.toDateTime().toQDateTime(), QStringLiteral("dd/MM/yyyy HH:mm:ss"));
    case T::Float:
        return brazil.toString(v.toFloat(), 'f', 2);
    default:
        return v.toString();
    }
}

QByteArray ToCsv(const TRows& rows)
{
    const auto line = [](const QStringList& fields) {
        QStringList quoted;
        for (const QString& f : fields)
            quoted << CsvField(f);
        return quoted.join(QLatin1Char(';')) + QStringLiteral("\r\n");
    };
    QString text;
    QStringList header;
    for (const TColumnSpec& c : rows.Columns())
        header << c.caption;
    text += line(header);
    for (int r = 0; r < rows.Count(); ++r) {
        QStringList fields;
        for (int c = 0; c < int(rows.Columns().size()); ++c)
            fields << CsvValue(rows.Value(r, c));
        text += line(fields);
    }
    return QByteArray("\xEF\xBB\xBF") + text.toUtf8();
}

} // namespace Pkg_zel08200
