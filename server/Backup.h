#pragma once

#include <ostream>
#include <string>

namespace zel::server {

// A consistent copy of the database in `file`, taken while servers keep
// writing to it. SQLite: the library's online backup, one snapshot of the
// whole file. PostgreSQL: pg_dump's custom format, consistent as of the
// moment pg_dump starts. The file must not exist yet; it appears only when
// the copy is complete. What is done is told on `notes`. Raises
// std::invalid_argument for a request that cannot be met (file exists, tool
// missing), std::runtime_error when the copy fails.
void Backup(const std::string& url, const std::string& file, std::ostream& notes);

// Puts a copy made by Backup into an empty database of the same kind,
// refusing a database that holds any table. PostgreSQL: pg_restore in one
// transaction (all or nothing).
void Restore(const std::string& url, const std::string& file, std::ostream& notes);

} // namespace zel::server
