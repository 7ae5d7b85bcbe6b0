#include "tests/support/ForwardingServer.h"

namespace zel::test {

using zel::data::Result;

namespace {

QString describe(const zel::data::Value& v)
{
    switch (v.v_case()) {
    case zel::data::Value::kText:
        return QString::fromStdString(v.text());
    case zel::data::Value::kDatetimeMs:
        return QStringLiteral("@") + QString::number(v.datetime_ms());
    case zel::data::Value::kFloatValue:
        return QString::number(v.float_value());
    case zel::data::Value::kIntegerValue:
        return QString::number(v.integer_value());
    case zel::data::Value::V_NOT_SET:
        break;
    }
    return QStringLiteral("<null>");
}

QString ms(const TDateTime& d)
{
    return QString::number(d.msecs());
}

} // namespace

QStringList DescribeDelta(const zel::data::ChangePacket& delta)
{
    int key = -1;
    for (int f = 0; f < delta.fields_size(); ++f)
        if (delta.fields(f).name() == "NRINCONSPED" || delta.fields(f).name() == "NRITEMPED") key = f;
    QStringList rows;
    for (const zel::data::RowChange& r : delta.rows()) {
        QStringList changes;
        for (const zel::data::FieldChange& c : r.changes()) {
            const QString field = c.field() >= 0 && c.field() < delta.fields_size()
                                      ? QString::fromStdString(delta.fields(c.field()).name())
                                      : QStringLiteral("?");
            changes << field + QLatin1Char('=') + describe(c.value());
        }
        changes.sort();
        const QString id =
            key >= 0 && key < r.original().values_size() ? describe(r.original().values(key)) : QStringLiteral("?");
        rows << id + QLatin1Char(':') + changes.join(QLatin1Char(','));
    }
    return rows;
}

Result TForwardingServer::GetPedido(const QString& a1, const QString& a2, const QString& a3, const QString& a4,
                                    const QString& a5, const TDateTime& a6, const TDateTime& a7, const QString& a8,
                                    const TDateTime& a9, const TDateTime& a10, const QString& a11)
{
    return call(QStringLiteral("GetPedido"), {a1, a2, a3, a4, a5, ms(a6), ms(a7), a8, ms(a9), ms(a10), a11},
                [&] { return real_->GetPedido(a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11); });
}

Result TForwardingServer::GetIncPed(const QString& f, const QString& p)
{
    return call(QStringLiteral("GetIncPed"), {f, p}, [&] { return real_->GetIncPed(f, p); });
}

Result TForwardingServer::GetItem(const QString& f, const QString& p, const QString& i, const QString& a)
{
    return call(QStringLiteral("GetItem"), {f, p, i, a}, [&] { return real_->GetItem(f, p, i, a); });
}

Result TForwardingServer::GetGrupOper(const QString& f, const QString& o)
{
    return call(QStringLiteral("GetGrupOper"), {f, o}, [&] { return real_->GetGrupOper(f, o); });
}

Result TForwardingServer::GetNrPedido(const QString& f)
{
    return call(QStringLiteral("GetNrPedido"), {f}, [&] { return real_->GetNrPedido(f); });
}

Result TForwardingServer::SetIncPed(const zel::data::ChangePacket& d)
{
    return call(QStringLiteral("SetIncPed"), DescribeDelta(d), [&] { return real_->SetIncPed(d); });
}

Result TForwardingServer::SetItem(const zel::data::ChangePacket& d)
{
    return call(QStringLiteral("SetItem"), DescribeDelta(d), [&] { return real_->SetItem(d); });
}

} // namespace zel::test
