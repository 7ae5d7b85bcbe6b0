#include "server/Operators.h"

#include "server/Auth.h"
#include "server/Packets.h"

#include <stdexcept>

namespace zel::server {
namespace {

void checkText(const std::string& what, const std::string& v, long max)
{
    const long n = Utf8Length(v);
    if (v.empty() || n < 0 || n > max)
        throw std::invalid_argument(what + " must have 1 to " + std::to_string(max) + " characters");
}

void requireOperator(DbConn& c, const std::string& code)
{
    const DbValue p[] = {Text(code)};
    if (c.query("SELECT 1 FROM OPERADOR WHERE CDOPERADOR = ?", p).empty())
        throw std::invalid_argument("unknown operator " + code);
}

void requireBranch(DbConn& c, const std::string& branch)
{
    const DbValue p[] = {Text(branch)};
    if (c.query("SELECT 1 FROM FILIAL WHERE CDFILIAL = ?", p).empty())
        throw std::invalid_argument("unknown branch " + branch);
}

} // namespace

void AddOperator(DbConn& c, const std::string& code, const std::string& name, const std::string& branch,
                 bool fixedBranch, const std::string& password)
{
    checkText("operator code", code, 12);
    checkText("operator name", name, 40);
    checkText("password", password, 256);
    AddOperatorHashed(c, code, name, branch, fixedBranch, HashPassword(password));
}

void AddOperatorHashed(DbConn& c, const std::string& code, const std::string& name, const std::string& branch,
                       bool fixedBranch, const std::string& passwordHash)
{
    checkText("operator code", code, 12);
    checkText("operator name", name, 40);
    requireBranch(c, branch);
    const DbValue p0[] = {Text(code)};
    if (!c.query("SELECT 1 FROM OPERADOR WHERE CDOPERADOR = ?", p0).empty())
        throw std::invalid_argument("operator " + code + " already exists");
    const DbValue p[] = {Text(code), Text(name), Text(branch), Text(fixedBranch ? "S" : "N"), Text(passwordHash)};
    c.exec("INSERT INTO OPERADOR (CDOPERADOR, NMOPERADOR, CDFILIAL, IDMODUFILI, DSSENHA) VALUES (?, ?, ?, ?, ?)", p);
}

void SetPassword(DbConn& c, const std::string& code, const std::string& password)
{
    checkText("password", password, 256);
    requireOperator(c, code);
    const DbValue p[] = {Text(HashPassword(password)), Text(code)};
    c.exec("UPDATE OPERADOR SET DSSENHA = ? WHERE CDOPERADOR = ?", p);
}

void Grant(DbConn& c, const std::string& code, const std::string& branch, const std::string& group)
{
    checkText("group", group, 2);
    requireOperator(c, code);
    requireBranch(c, branch);
    Transaction tx(c, true);
    const DbValue pg[] = {Text(branch), Text(group)};
    if (c.query("SELECT 1 FROM GRUPOLIBINC WHERE CDFILIAL = ? AND CDGROPLIBINC = ?", pg).empty()) {
        const DbValue pn[] = {Text(branch), Text(group), Text("Liberação de inconsistências " + group)};
        c.exec("INSERT INTO GRUPOLIBINC (CDFILIAL, CDGROPLIBINC, NMGROPLIBINC) VALUES (?, ?, ?)", pn);
    }
    const DbValue pm[] = {Text(branch), Text(group), Text(code)};
    if (c.query("SELECT 1 FROM OPERGRUPLIB WHERE CDFILIAL = ? AND CDGROPLIBINC = ? AND CDOPERADOR = ?", pm).empty())
        c.exec("INSERT INTO OPERGRUPLIB (CDFILIAL, CDGROPLIBINC, CDOPERADOR) VALUES (?, ?, ?)", pm);
    tx.commit();
}

int Revoke(DbConn& c, const std::string& code, const std::string& branch, const std::string& group)
{
    requireOperator(c, code);
    if (group.empty()) {
        const DbValue p[] = {Text(branch), Text(code)};
        return int(c.exec("DELETE FROM OPERGRUPLIB WHERE CDFILIAL = ? AND CDOPERADOR = ?", p));
    }
    const DbValue p[] = {Text(branch), Text(group), Text(code)};
    return int(c.exec("DELETE FROM OPERGRUPLIB WHERE CDFILIAL = ? AND CDGROPLIBINC = ? AND CDOPERADOR = ?", p));
}

void GrantHistory(DbConn& c, const std::string& code, const std::string& branch)
{
    requireOperator(c, code);
    requireBranch(c, branch);
    const DbValue p[] = {Text(branch), Text(code)};
    Transaction tx(c, true);
    if (c.query("SELECT 1 FROM OPERVERHIST WHERE CDFILIAL = ? AND CDOPERADOR = ?", p).empty())
        c.exec("INSERT INTO OPERVERHIST (CDFILIAL, CDOPERADOR) VALUES (?, ?)", p);
    tx.commit();
}

int RevokeHistory(DbConn& c, const std::string& code, const std::string& branch)
{
    requireOperator(c, code);
    const DbValue p[] = {Text(branch), Text(code)};
    return int(c.exec("DELETE FROM OPERVERHIST WHERE CDFILIAL = ? AND CDOPERADOR = ?", p));
}

} // namespace zel::server
