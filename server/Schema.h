#pragma once

#include "server/Db.h"

#include <limits>
#include <string>

namespace zel::server {

// Versioned migrations. Each runs once, in its own numbered step, inside
// one transaction with the others still to run; running Migrate again
// applies nothing. Concurrent runs are serialised by the database.
int LatestSchemaVersion();
// 0 for a database that was never initialised.
int SchemaVersion(DbConn& c);
// Brings the schema to the latest version (or to `upTo`, to make a database
// as an earlier version left it); returns the steps applied. Raises
// std::runtime_error, changing nothing, for a schema newer than this build.
int Migrate(DbConn& c, int upTo = std::numeric_limits<int>::max());
// Why a database whose schema is newer than this build is refused.
std::string NewerSchemaMessage(int version);

} // namespace zel::server
