#pragma once

#include "server/Db.h"

namespace zel::server {

// Versioned migrations. Each runs once, in its own numbered step, inside
// one transaction with the others still to run; running Migrate again
// applies nothing. Concurrent runs are serialised by the database.
int LatestSchemaVersion();
// 0 for a database that was never initialised.
int SchemaVersion(DbConn& c);
// Brings the schema to the latest version; returns the steps applied.
int Migrate(DbConn& c);

} // namespace zel::server
