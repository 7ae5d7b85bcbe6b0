#include "server/Backup.h"

#include "server/Db.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>

#include <chrono>
#include <cstdio>
#include <sqlite3.h>
#include <thread>

namespace zel::server {
namespace {

// The first bytes of the two kinds of copy.
const QByteArray kSqliteMagic("SQLite format 3", 15);
const QByteArray kPgDumpMagic("PGDMP", 5);

QByteArray head(const std::string& file)
{
    QFile f(QString::fromStdString(file));
    if (!f.open(QIODevice::ReadOnly))
        throw std::invalid_argument("cannot read " + file + ": " + f.errorString().toStdString());
    return f.read(16);
}

class Sqlite {
public:
    Sqlite(const std::string& path, int flags)
    {
        if (sqlite3_open_v2(path.c_str(), &db_, flags, nullptr) != SQLITE_OK) {
            const std::string why = db_ ? sqlite3_errmsg(db_) : "out of memory";
            sqlite3_close(db_);
            throw std::runtime_error("cannot open " + path + ": " + why);
        }
        sqlite3_busy_timeout(db_, 10000);
    }
    ~Sqlite() { sqlite3_close(db_); }
    Sqlite(const Sqlite&) = delete;
    Sqlite& operator=(const Sqlite&) = delete;
    sqlite3* get() const { return db_; }

    // The number of tables; raises when the file is no SQLite database.
    int tables() const
    {
        sqlite3_stmt* st = nullptr;
        int n = -1;
        if (sqlite3_prepare_v2(db_, "SELECT COUNT(*) FROM sqlite_master WHERE type = 'table'", -1, &st, nullptr) ==
                SQLITE_OK &&
            sqlite3_step(st) == SQLITE_ROW)
            n = sqlite3_column_int(st, 0);
        const std::string why = sqlite3_errmsg(db_);
        sqlite3_finalize(st);
        if (n < 0) throw std::runtime_error(why);
        return n;
    }

private:
    sqlite3* db_ = nullptr;
};

// Copies every page of `from` into `to` in one step: the reader sees one
// snapshot, and in WAL mode the writers of the source go on meanwhile.
void copyPages(const Sqlite& from, const Sqlite& to)
{
    sqlite3_backup* b = sqlite3_backup_init(to.get(), "main", from.get(), "main");
    if (!b) throw std::runtime_error(std::string("cannot start the copy: ") + sqlite3_errmsg(to.get()));
    int rc = SQLITE_OK;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    do {
        rc = sqlite3_backup_step(b, -1);
        if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    } while ((rc == SQLITE_BUSY || rc == SQLITE_LOCKED) && std::chrono::steady_clock::now() < until);
    sqlite3_backup_finish(b);
    if (rc != SQLITE_DONE) throw std::runtime_error(std::string("the copy failed: ") + sqlite3_errstr(rc));
}

std::string sqlitePath(const std::string& url)
{
    return url.substr(7);
}

// Runs a PostgreSQL client tool; its own messages go to our standard error.
void runTool(const QString& tool, const QStringList& args)
{
    const QString exe = QStandardPaths::findExecutable(tool);
    if (exe.isEmpty())
        throw std::invalid_argument(tool.toStdString() + " is not installed (Debian package postgresql-client)");
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedChannels);
    p.start(exe, args);
    if (!p.waitForStarted(30000)) throw std::runtime_error("cannot start " + exe.toStdString());
    p.waitForFinished(-1);
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        throw std::runtime_error(tool.toStdString() + " failed (exit status " + std::to_string(p.exitCode()) +
                                 "): see its messages above");
}

} // namespace

void Backup(const std::string& url, const std::string& file, std::ostream& notes)
{
    const Dialect dialect = DialectOf(url);
    if (QFileInfo::exists(QString::fromStdString(file)))
        throw std::invalid_argument(file + " exists already: a backup never overwrites a file");
    // Written under another name and renamed when complete: a file of this
    // name is always a whole copy.
    const std::string part = file + ".part";
    std::remove(part.c_str());
    try {
        if (dialect == Dialect::Sqlite) {
            const std::string path = sqlitePath(url);
            if (!QFileInfo::exists(QString::fromStdString(path)))
                throw std::invalid_argument("the database " + path + " does not exist");
            const Sqlite from(path, SQLITE_OPEN_READONLY);
            {
                const Sqlite to(part, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
                copyPages(from, to);
            }
            notes << "SQLite: online backup of " << path << "\n";
        } else {
            notes << "PostgreSQL: the copy is made by pg_dump (custom format), consistent as of its start\n"
                  << std::flush;
            runTool(QStringLiteral("pg_dump"),
                    {QStringLiteral("--format=custom"), QStringLiteral("--no-owner"), QStringLiteral("--no-privileges"),
                     QStringLiteral("--file=") + QString::fromStdString(part),
                     QStringLiteral("--dbname=") + QString::fromStdString(url)});
        }
        if (std::rename(part.c_str(), file.c_str()) != 0) throw std::runtime_error("cannot rename " + part);
    } catch (...) {
        std::remove(part.c_str());
        throw;
    }
    notes << "backup written to " << file << "\n";
}

void Restore(const std::string& url, const std::string& file, std::ostream& notes)
{
    const Dialect dialect = DialectOf(url);
    const QByteArray magic = head(file);
    if (dialect == Dialect::Sqlite) {
        if (!magic.startsWith(kSqliteMagic))
            throw std::invalid_argument(file + (magic.startsWith(kPgDumpMagic)
                                                    ? std::string(" is a PostgreSQL backup: restore it into PostgreSQL")
                                                    : std::string(" is no backup of zel-server")));
        const Sqlite from(file, SQLITE_OPEN_READONLY);
        if (from.tables() == 0) throw std::invalid_argument(file + " holds no table");
        const std::string path = sqlitePath(url);
        const Sqlite to(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
        if (to.tables() > 0)
            throw std::invalid_argument("the database " + path +
                                        " is not empty: a backup is restored into an empty database only");
        copyPages(from, to);
        notes << "SQLite: " << file << " restored into " << path << "\n";
    } else {
        if (!magic.startsWith(kPgDumpMagic))
            throw std::invalid_argument(file + (magic.startsWith(kSqliteMagic)
                                                    ? std::string(" is a SQLite backup: restore it into SQLite")
                                                    : std::string(" is no backup of zel-server")));
        {
            auto c = OpenConnection(url);
            const auto n = c->query("SELECT COUNT(*) FROM pg_catalog.pg_tables "
                                    "WHERE schemaname NOT IN ('pg_catalog', 'information_schema')")
                               .i64(0, 0);
            if (n > 0)
                throw std::invalid_argument("the database is not empty (" + std::to_string(n) +
                                            " table(s)): a backup is restored into an empty database only");
        }
        notes << "PostgreSQL: restoring with pg_restore in one transaction\n" << std::flush;
        runTool(QStringLiteral("pg_restore"),
                {QStringLiteral("--no-owner"), QStringLiteral("--no-privileges"), QStringLiteral("--exit-on-error"),
                 QStringLiteral("--single-transaction"), QStringLiteral("--dbname=") + QString::fromStdString(url),
                 QString::fromStdString(file)});
        notes << file << " restored\n";
    }
}

} // namespace zel::server
