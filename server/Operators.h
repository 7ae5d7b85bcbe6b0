#pragma once

#include "server/Db.h"

#include <string>

namespace zel::server {

// Operator management. Each raises std::invalid_argument with a message for
// the command line when the input is not acceptable (unknown operator or
// branch, code too long, empty password).
void AddOperator(DbConn& c, const std::string& code, const std::string& name, const std::string& branch,
                 bool fixedBranch, const std::string& password);
// The same with the password's hash made already (HashPassword): many
// operators with one password are added without hashing it for each.
void AddOperatorHashed(DbConn& c, const std::string& code, const std::string& name, const std::string& branch,
                       bool fixedBranch, const std::string& passwordHash);
void SetPassword(DbConn& c, const std::string& code, const std::string& password);
// Adds the operator to a release group of a branch; the group is created
// when the branch does not have it yet.
void Grant(DbConn& c, const std::string& code, const std::string& branch, const std::string& group);
// Removes the operator from one release group of a branch, or from all of
// the branch's groups when `group` is empty. Returns the memberships removed.
int Revoke(DbConn& c, const std::string& code, const std::string& branch, const std::string& group);

// Lets the operator read the release history of a branch (GrantHistory) or
// no longer (RevokeHistory; returns 1 when the right was held, else 0).
void GrantHistory(DbConn& c, const std::string& code, const std::string& branch);
int RevokeHistory(DbConn& c, const std::string& code, const std::string& branch);

} // namespace zel::server
