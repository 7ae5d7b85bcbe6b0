#include "review/IncPedData.h"

#include "platform/data/Field.h"

namespace Cli_zel08100 {

using zel::TClientDataSet;
using zel::TField;
using zel::TFieldType;

namespace {

struct FieldDef {
    const char* name;
    TFieldType type;
    int size;
    const char* label; // empty: the field name is its label
    bool visible;
    const char* origin;
};

void define(TClientDataSet& ds, std::initializer_list<FieldDef> defs, zel::TProviderFlags flags)
{
    for (const FieldDef& d : defs) {
        TField* f = ds.AddField(QString::fromUtf8(d.name), d.type, d.size);
        f->setName(ds.Name() + f->FieldName());
        if (*d.label) f->setDisplayLabel(QString::fromUtf8(d.label));
        f->setVisible(d.visible);
        f->setOrigin(QString::fromUtf8(d.origin));
        f->setProviderFlags(flags);
    }
}

constexpr TFieldType ftString = TFieldType::ftString;
constexpr TFieldType ftFixedChar = TFieldType::ftFixedChar;
constexpr TFieldType ftDateTime = TFieldType::ftDateTime;
constexpr TFieldType ftFloat = TFieldType::ftFloat;

} // namespace

void DefinePedidoFields(TClientDataSet& cdsPedido)
{
    define(cdsPedido,
           {
               {"IDSITPEDIDO", ftString, 1, "Situação", true, "DBKORVANI.PEDIDO.IDSITPEDIDO"},
               {"NRPEDIDO", ftString, 10, "Nr. Pedido", true, "DBKORVANI.PEDIDO.NRPEDIDO"},
               {"CDCLIENTE", ftString, 21, "", false, "DBKORVANI.PEDIDO.CDCLIENTE"},
               {"NMFANTCLIE", ftString, 50, "Cliente", true, "DBKORVANI.CLIENTE.NMFANTCLIE"},
               {"DTPEDIDO", ftDateTime, 0, "Data Pedido", true, "DBKORVANI.PEDIDO.DTPEDIDO"},
               {"DTENTPED", ftDateTime, 0, "Data Entrega", true, "DBKORVANI.PEDIDO.DTENTPED"},
               {"CDVENDEDOR", ftString, 4, "", false, "DBKORVANI.PEDIDO.CDVENDEDOR"},
               {"NMFANVEN", ftString, 50, "Vendedor", true, "DBKORVANI.VENDEDOR.NMFANVEN"},
               {"VRPEDIDO", ftFloat, 0, "Vr. Pedido", true, "DBKORVANI.ITEMPEDIDO.QTITEMPED"},
               {"CDFILIAL", ftString, 4, "", false, "DBKORVANI.PEDIDO.CDFILIAL"},
           },
           zel::kDefaultProviderFlags);
    TField* vrPedido = cdsPedido.FieldByName(QStringLiteral("VRPEDIDO"));
    vrPedido->setDisplayFormat(QStringLiteral("#,##0.00"));
    vrPedido->setEditFormat(QStringLiteral("#,##0.00"));
}

void DefineIncPedFields(TClientDataSet& cdsIncPed)
{
    // No field takes part in the standard update or key resolution: the
    // server stores the inconsistencies by their own keys.
    define(cdsIncPed,
           {
               {"CDFILIAL", ftString, 4, "", false, ""},
               {"NRPEDIDO", ftString, 10, "Nr.Pedido", true, ""},
               {"CDPRODUTO", ftString, 10, "Cod.Produto", true, ""},
               {"NMPRODUTO", ftString, 50, "Produto", true, ""},
               {"NRINCONSPED", ftString, 3, "", false, ""},
               {"CDCONSPEDIDO", ftString, 3, "Código", true, ""},
               {"NMCONSPEDIDO", ftString, 50, "Descrição", true, ""},
               {"NRITEMPED", ftString, 10, "Nr.Item", true, ""},
               {"CDOPERLIBE", ftString, 12, "", false, ""},
               {"NMOPERADOR", ftString, 40, "", false, ""},
               {"DTLIBEINCONS", ftDateTime, 0, "", false, ""},
               {"TXOBSLIBINCO", ftString, 2000, "", false, ""},
               {"ATIVA", ftFixedChar, 1, "Check", true, ""},
           },
           0);
}

void DefineItemPedidoFields(TClientDataSet& cdsItemPedido)
{
    define(cdsItemPedido,
           {
               {"CDFILIAL", ftString, 4, "", true, ""},
               {"NRPEDIDO", ftString, 10, "", true, ""},
               {"NRITEMPED", ftString, 10, "", true, ""},
               {"IDSITITEMPED", ftString, 1, "", true, ""},
           },
           zel::kDefaultProviderFlags);
}

void DefineGrupOperFields(TClientDataSet& cdsGrupOper)
{
    define(cdsGrupOper, {{"CDGROPLIBINC", ftString, 2, "", true, "DBKORVANI.PARAMPEDIDO.CDGROPLIBINC"}},
           zel::kDefaultProviderFlags);
}

void DefineQryFilial(zel::TADOIBQuery& qryFilial)
{
    qryFilial.SQL = {QStringLiteral("SELECT "),   QStringLiteral("   CDFILIAL,NMFILIAL"),
                     QStringLiteral("FROM "),     QStringLiteral("   FILIAL"),
                     QStringLiteral("ORDER BY "), QStringLiteral("   CDFILIAL")};
    qryFilial.AddField(QStringLiteral("CDFILIAL"), TFieldType::ftString, 8, QStringLiteral("Código"), true);
    qryFilial.AddField(QStringLiteral("NMFILIAL"), TFieldType::ftString, 30, QStringLiteral("Nome"));
}

void DefineQryVdFilial(zel::TADOIBQuery& qryVd_filial)
{
    qryVd_filial.SQL = {QStringLiteral("SELECT "), QStringLiteral("   CDFILIAL,NMFILIAL"),
                        QStringLiteral("FROM "),   QStringLiteral("   FILIAL"),
                        QStringLiteral("WHERE "),  QStringLiteral("   CDFILIAL = :P_CDFILIAL")};
    qryVd_filial.AddField(QStringLiteral("CDFILIAL"), TFieldType::ftString, 8, {}, true);
    qryVd_filial.AddField(QStringLiteral("NMFILIAL"), TFieldType::ftString, 30);
}

QStringList MsgPadraoLines()
{
    return {
        QStringLiteral("Excl|Confirma exclusão?"),
        QStringLiteral("FILI_INF|Filial deve ser informada."),
        QStringLiteral("FILI_N_CAD|Filial não cadastrada."),
        QStringLiteral("Oper_Inv|Operador não possui permissão para liberar inconsistências. "),
    };
}

QStringList MsgMensagensPadroesLines()
{
    return {
        QStringLiteral("Excl|Confirma exclusão?"),
        QStringLiteral("Canc|Cancelar operação?"),
        QStringLiteral("Conf|Confirma operação?"),
    };
}

} // namespace Cli_zel08100
