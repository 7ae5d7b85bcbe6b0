#include "host/DBGeral.h"

#include "platform/data/Exceptions.h"
#include "platform/data/Packet.h"
#include "proto/datapacket.pb.h"

#include <QFileInfo>
#include <QSqlError>
#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QUrl>
#include <QUuid>

#include <algorithm>

namespace zel {

TdtmDBGeral* dtmDBGeral = nullptr;

namespace {

[[noreturn]] void fail(const QString& message)
{
    throw EDatabaseError(message);
}

QString driverText(const QSqlError& e)
{
    QString t = e.driverText().trimmed();
    const QString d = e.databaseText().trimmed();
    if (!d.isEmpty() && d != t) t += (t.isEmpty() ? QString() : QStringLiteral(": ")) + d;
    return t;
}

} // namespace

// ---- connection ------------------------------------------------------------

TADOConnection::TADOConnection(const QString& name)
    : name_(name), qtName_(QStringLiteral("zel-%1-%2").arg(name, QUuid::createUuid().toString(QUuid::Id128)))
{
}

TADOConnection::~TADOConnection()
{
    Close();
}

bool TADOConnection::Connected() const
{
    return QSqlDatabase::contains(qtName_) && QSqlDatabase::database(qtName_, false).isOpen();
}

QSqlDatabase TADOConnection::Database() const
{
    return QSqlDatabase::database(qtName_, false);
}

void TADOConnection::Open()
{
    if (Connected()) return;
    Close();
    const QString url = ConnectionString.trimmed();
    if (url.isEmpty()) fail(QStringLiteral("O banco de dados não foi informado."));
    QSqlDatabase db;
    if (url.startsWith(QLatin1String("sqlite:"))) {
        const QString path = url.mid(7);
        if (path.isEmpty() || !QFileInfo::exists(path))
            fail(QStringLiteral("O banco de dados \"%1\" não existe.").arg(path));
        db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), qtName_);
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=5000"));
    } else if (url.startsWith(QLatin1String("postgresql://")) || url.startsWith(QLatin1String("postgres://"))) {
        const QUrl u(url);
        if (!u.isValid() || u.host().isEmpty())
            fail(QStringLiteral("Endereço de banco de dados inválido: \"%1\".").arg(url));
        db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), qtName_);
        db.setHostName(u.host());
        db.setPort(u.port(5432));
        db.setUserName(u.userName());
        db.setPassword(u.password());
        QString name = u.path();
        if (name.startsWith(QLatin1Char('/'))) name.remove(0, 1);
        db.setDatabaseName(name);
        db.setConnectOptions(QStringLiteral("connect_timeout=5"));
    } else {
        fail(QStringLiteral("Endereço de banco de dados não suportado: \"%1\" "
                            "(use sqlite:ARQUIVO ou postgresql://...).")
                 .arg(url));
    }
    if (!db.isValid()) fail(QStringLiteral("O driver do banco de dados não está instalado (%1).").arg(db.driverName()));
    if (!db.open()) {
        const QString why = driverText(db.lastError());
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(qtName_);
        fail(QStringLiteral("Não foi possível abrir o banco de dados: %1").arg(why));
    }
}

void TADOConnection::Close()
{
    if (!QSqlDatabase::contains(qtName_)) return;
    {
        QSqlDatabase db = QSqlDatabase::database(qtName_, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(qtName_);
}

// ---- transaction -------------------------------------------------------------

// ---- data module ----------------------------------------------------------------

TdtmDBGeral::TdtmDBGeral() = default;

TdtmDBGeral* CreateDtmDBGeral(const QString& url)
{
    FreeDtmDBGeral();
    dtmDBGeral = new TdtmDBGeral;
    dtmDBGeral->adcGeral.ConnectionString = url;
    return dtmDBGeral;
}

void FreeDtmDBGeral()
{
    delete dtmDBGeral;
    dtmDBGeral = nullptr;
}

// ---- query --------------------------------------------------------------------------

namespace {
std::vector<TADOIBQuery*>& queries()
{
    static std::vector<TADOIBQuery*> all;
    return all;
}
} // namespace

TADOIBQuery* TADOIBQuery::OwnerOf(const TDataSet* dataSet)
{
    for (TADOIBQuery* q : queries())
        if (q->Query() == dataSet) return q;
    return nullptr;
}

TADOIBQuery::TADOIBQuery(const QString& name, TdtmDBGeral* dm) : name_(name), query_(name)
{
    queries().push_back(this);
    if (!dm) dm = dtmDBGeral;
    if (dm) {
        Connection = &dm->adcGeral;
        Database = &dm->dtbGeral;
        Transaction = &dm->ibtGeral;
    }
}

TADOIBQuery::~TADOIBQuery()
{
    auto& all = queries();
    all.erase(std::remove(all.begin(), all.end(), this), all.end());
}

TField* TADOIBQuery::AddField(const QString& fieldName, TFieldType type, int size, const QString& displayLabel,
                              bool required)
{
    TField* f = query_.AddField(fieldName, type, size);
    f->setName(name_ + fieldName);
    f->setDisplayLabel(displayLabel);
    f->setRequired(required);
    return f;
}

namespace {

// Names of the ":NAME" parameters of a text, outside quotes, in order, once each.
QStringList parameterNames(const QString& sql)
{
    QStringList names;
    QChar quote;
    for (qsizetype i = 0; i < sql.size(); ++i) {
        const QChar c = sql.at(i);
        if (!quote.isNull()) {
            if (c == quote) quote = QChar();
            continue;
        }
        if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
            quote = c;
            continue;
        }
        if (c != QLatin1Char(':')) continue;
        // "::" is a PostgreSQL cast, not a parameter.
        if (i + 1 < sql.size() && sql.at(i + 1) == QLatin1Char(':')) {
            ++i;
            continue;
        }
        qsizetype j = i + 1;
        while (j < sql.size() && (sql.at(j).isLetterOrNumber() || sql.at(j) == QLatin1Char('_')))
            ++j;
        if (j > i + 1) {
            const QString n = sql.mid(i + 1, j - i - 1);
            if (!names.contains(n, Qt::CaseInsensitive)) names << n;
        }
        i = j - 1;
    }
    return names;
}

TFieldType typeOfColumn(const QSqlField& f)
{
    switch (f.metaType().id()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
        return TFieldType::ftInteger;
    case QMetaType::Double:
    case QMetaType::Float:
        return TFieldType::ftFloat;
    case QMetaType::QDateTime:
    case QMetaType::QDate:
        return TFieldType::ftDateTime;
    default:
        return TFieldType::ftString;
    }
}

Variant toVariant(const QVariant& v, TFieldType type)
{
    if (v.isNull()) return {};
    switch (type) {
    case TFieldType::ftString:
    case TFieldType::ftFixedChar:
        return Variant(v.toString());
    case TFieldType::ftDateTime: {
        QDateTime dt = v.toDateTime();
        if (!dt.isValid()) dt = QDateTime(v.toDate(), QTime(0, 0));
        if (!dt.isValid()) dt = QDateTime::fromString(v.toString(), Qt::ISODateWithMs);
        return dt.isValid() ? Variant(TDateTime::fromQDateTime(dt)) : Variant();
    }
    case TFieldType::ftFloat:
        return Variant(v.toDouble());
    case TFieldType::ftInteger:
        return Variant(std::int64_t(v.toLongLong()));
    }
    return {};
}

} // namespace

void TADOIBQuery::syncParams()
{
    const QString text = SQL.join(QLatin1Char('\n'));
    if (text == paramsOf_ && !params_.empty()) return;
    std::vector<std::unique_ptr<TParam>> next;
    for (const QString& n : parameterNames(text)) {
        std::unique_ptr<TParam> p;
        for (auto& old : params_)
            if (old && old->Name().compare(n, Qt::CaseInsensitive) == 0) p = std::move(old);
        next.push_back(p ? std::move(p) : std::make_unique<TParam>(n));
    }
    params_ = std::move(next);
    paramsOf_ = text;
}

std::vector<TParam*> TADOIBQuery::Params()
{
    syncParams();
    std::vector<TParam*> out;
    for (auto& p : params_)
        out.push_back(p.get());
    return out;
}

TParam& TADOIBQuery::ParamByName(const QString& name)
{
    syncParams();
    for (auto& p : params_)
        if (p->Name().compare(name, Qt::CaseInsensitive) == 0) return *p;
    fail(QStringLiteral("%1: parâmetro \"%2\" não encontrado.").arg(name_, name));
}

namespace {

// A value as the driver binds it; a null binds as a null text.
QVariant boundValue(const Variant& v)
{
    switch (v.type()) {
    case Variant::Type::Null:
        return QVariant(QMetaType::fromType<QString>());
    case Variant::Type::Boolean:
        return v.toBool();
    case Variant::Type::Text:
        return v.toString();
    case Variant::Type::DateTime:
        return v.toDateTime().toQDateTime();
    case Variant::Type::Float:
        return v.toFloat();
    case Variant::Type::Integer:
        return qlonglong(v.toInteger());
    }
    return {};
}

} // namespace

// Opens with the rows of the SQL text: read into the persistent fields, or,
// when the query has none, into fields made after the result's columns.
void TADOIBQuery::Open()
{
    if (Active()) return;
    if (!Connection) fail(QStringLiteral("%1: a consulta não tem conexão com o banco de dados.").arg(name_));
    Connection->Open();
    syncParams();
    std::vector<Row> rows;
    {
        // The driver's statement ends before the rows are loaded.
        QSqlQuery q = execute();
        const QSqlRecord rec = q.record();
        const bool dynamic = query_.FieldCount() == 0;
        const ResultColumns columns = dynamic ? allColumns(rec) : fieldColumns(rec);
        rows = readRows(q, columns);
        if (dynamic) addResultFields(rec, columns, rows);
    }
    PacketWriter writer;
    for (int i = 0; i < query_.FieldCount(); ++i) {
        const TField* f = query_.Field(i);
        writer.field(f->FieldName().toStdString(), f->DataType(), f->Size());
    }
    for (const Row& r : rows)
        writer.row(r);
    query_.SetData(writer.Take());
}

void TADOIBQuery::sqlFailure(const QSqlError& error) const
{
    fail(QStringLiteral("%1: erro na consulta ao banco de dados: %2").arg(name_, driverText(error)));
}

QSqlQuery TADOIBQuery::execute() const
{
    QSqlQuery q(Connection->Database());
    q.setForwardOnly(true);
    if (!q.prepare(SQL.join(QLatin1Char('\n')))) sqlFailure(q.lastError());
    for (const auto& p : params_)
        q.bindValue(QLatin1Char(':') + p->Name(), boundValue(p->Value()));
    if (!q.exec()) sqlFailure(q.lastError());
    return q;
}

TADOIBQuery::ResultColumns TADOIBQuery::allColumns(const QSqlRecord& rec)
{
    ResultColumns out;
    for (int c = 0; c < rec.count(); ++c) {
        out.index.push_back(c);
        out.types.push_back(typeOfColumn(rec.field(c)));
    }
    return out;
}

TADOIBQuery::ResultColumns TADOIBQuery::fieldColumns(const QSqlRecord& rec) const
{
    ResultColumns out;
    for (int i = 0; i < query_.FieldCount(); ++i) {
        const TField* f = query_.Field(i);
        int c = -1;
        for (int k = 0; k < rec.count(); ++k)
            if (rec.fieldName(k).compare(f->FieldName(), Qt::CaseInsensitive) == 0) c = k;
        if (c < 0) fail(QStringLiteral("%1: a consulta não devolve o campo \"%2\".").arg(name_, f->FieldName()));
        out.index.push_back(c);
        out.types.push_back(f->DataType());
    }
    return out;
}

std::vector<TADOIBQuery::Row> TADOIBQuery::readRows(QSqlQuery& q, const ResultColumns& columns) const
{
    std::vector<Row> rows;
    while (q.next()) {
        Row row;
        row.reserve(columns.index.size());
        for (std::size_t i = 0; i < columns.index.size(); ++i)
            row.push_back(toVariant(q.value(columns.index[i]), columns.types[i]));
        rows.push_back(std::move(row));
    }
    if (q.lastError().isValid()) sqlFailure(q.lastError());
    return rows;
}

void TADOIBQuery::addResultFields(const QSqlRecord& rec, const ResultColumns& columns, const std::vector<Row>& rows)
{
    for (std::size_t i = 0; i < columns.index.size(); ++i) {
        // A text field is as wide as the column says, or as its widest value.
        int size = 0;
        if (columns.types[i] == TFieldType::ftString) {
            size = std::max(1, rec.field(columns.index[i]).length());
            for (const Row& r : rows)
                if (!r[i].isNull()) size = std::max(size, int(r[i].toString().size()));
        }
        AddField(rec.fieldName(columns.index[i]).toUpper(), columns.types[i], size);
    }
}

void TADOIBQuery::Close()
{
    query_.Close();
}

} // namespace zel
