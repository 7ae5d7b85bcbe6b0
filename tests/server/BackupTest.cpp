// zel-server backup and restore, run as the real executable against a real
// database that another connection keeps writing to: the restored copy
// holds every table as it was at one moment.
#include "server/Db.h"
#include "tests/server/TestSupport.h"
#include "tests/support/ChildProcess.h"

#include <QTemporaryDir>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <map>
#include <thread>
#include <unistd.h>

namespace zel::server::test {
namespace {

struct Run {
    int code;
    std::string out;
};

Run RunServer(std::vector<std::string> args)
{
    args.insert(args.begin(), ZEL_SERVER_BIN);
    zel::test::ChildProcess c;
    c.mergeErrors();
    std::string error;
    if (!c.Start(args, error)) {
        ADD_FAILURE() << error;
        return {-1, {}};
    }
    std::string out = c.ReadAll(std::chrono::minutes(3));
    return {c.Wait(), out};
}

// Two fresh, empty databases of one kind: whole PostgreSQL databases (a
// backup holds the whole database) in the cluster of ZEL_TEST_PG_URL, or two
// SQLite files. Dropped at the end.
class Databases {
public:
    explicit Databases(Backend backend) : backend_(backend)
    {
        if (backend == Backend::Sqlite) {
            source_ = "sqlite:" + dir_.filePath(QStringLiteral("source.db")).toStdString();
            target_ = "sqlite:" + dir_.filePath(QStringLiteral("target.db")).toStdString();
            return;
        }
        const char* env = std::getenv("ZEL_TEST_PG_URL");
        if (!env || !*env) return;
        base_ = env;
        const std::string stem = base_.substr(0, base_.find('?'));
        const std::string prefix = stem.substr(0, stem.rfind('/') + 1);
        const std::string tag = "zel_backup_" + std::to_string(::getpid());
        auto c = OpenConnection(base_);
        for (const char* side : {"_source", "_target"}) {
            c->exec("DROP DATABASE IF EXISTS " + tag + side);
            c->exec("CREATE DATABASE " + tag + side);
            names_.push_back(tag + side);
        }
        source_ = prefix + names_[0];
        target_ = prefix + names_[1];
    }
    ~Databases()
    {
        if (names_.empty()) return;
        try {
            auto c = OpenConnection(base_);
            for (const auto& n : names_)
                c->exec("DROP DATABASE IF EXISTS " + n + " WITH (FORCE)");
        } catch (const std::exception& e) {
            ADD_FAILURE() << "cannot drop the test databases: " << e.what();
        }
    }
    bool available() const { return !source_.empty(); }
    const std::string& source() const { return source_; }
    const std::string& target() const { return target_; }
    std::string file(const char* name) const { return dir_.filePath(QString::fromLatin1(name)).toStdString(); }

    // Every table of the database, each as its rows in text, sorted.
    std::map<std::string, std::vector<std::string>> Tables(const std::string& url) const
    {
        auto c = OpenConnection(url);
        const auto names = c->query(backend_ == Backend::Sqlite
                                        ? "SELECT name FROM sqlite_master WHERE type = 'table'"
                                        : "SELECT tablename FROM pg_catalog.pg_tables WHERE schemaname = 'public'");
        std::map<std::string, std::vector<std::string>> out;
        for (std::size_t i = 0; i < names.size(); ++i) {
            const std::string table = names.text(i, 0);
            const auto rows = c->query("SELECT * FROM " + table);
            auto& list = out[table];
            for (std::size_t r = 0; r < rows.size(); ++r) {
                std::string line;
                for (int col = 0; col < rows.columns(); ++col)
                    line += (rows.isNull(r, col) ? std::string("<null>") : rows.text(r, col)) + "|";
                list.push_back(line);
            }
            std::sort(list.begin(), list.end());
        }
        return out;
    }

private:
    Backend backend_;
    QTemporaryDir dir_;
    std::string base_, source_, target_;
    std::vector<std::string> names_;
};

class BackupTest : public ::testing::TestWithParam<Backend> {};

TEST_P(BackupTest, RestoresOneMomentOfADatabaseBeingWritten)
{
    Databases dbs(GetParam());
    if (!dbs.available()) GTEST_SKIP() << "ZEL_TEST_PG_URL is not set: no PostgreSQL to test on";
    ASSERT_EQ(RunServer({"seed", "--db", dbs.source(), "--orders", "2000", "--branches", "2"}).code, 0);

    // Each write changes two tables in one transaction, both to the number of
    // the write: a copy of one moment has the same number in both.
    auto probe = OpenConnection(dbs.source());
    const auto first = probe->query("SELECT CDFILIAL, NRPEDIDO, NRINCONSPED FROM INCONSPED ORDER BY 1, 2, 3");
    ASSERT_FALSE(first.empty());
    const std::string order = first.text(0, 1), inc = first.text(0, 2), branch = first.text(0, 0);
    std::atomic<bool> stop{false};
    std::atomic<int> written{0};
    std::string writerError;
    std::thread writer([&] {
        try {
            auto c = OpenConnection(dbs.source());
            for (int n = 1; !stop; ++n) {
                const DbValue a[] = {std::string("w") + std::to_string(n), branch};
                const DbValue b[] = {std::string("w") + std::to_string(n), branch, order, inc};
                c->begin(true);
                c->exec("UPDATE FILIAL SET NMFILIAL = ? WHERE CDFILIAL = ?", a);
                c->exec("UPDATE INCONSPED SET TXOBSLIBINCO = ? WHERE CDFILIAL = ? AND NRPEDIDO = ? AND NRINCONSPED = ?",
                        b);
                c->commit();
                written = n;
            }
        } catch (const std::exception& e) {
            writerError = e.what();
        }
    });
    const auto waitFor = [&](int n) {
        for (int i = 0; i < 3000 && written < n && writerError.empty(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return written >= n;
    };
    EXPECT_TRUE(waitFor(20)) << writerError;
    const int before = written;
    const std::string file = dbs.file("copy.backup");
    const auto backup = RunServer({"backup", "--db", dbs.source(), file});
    const int after = written;
    EXPECT_TRUE(waitFor(after + 20)) << "the writer stopped during the backup: " << writerError;
    stop = true;
    writer.join();
    ASSERT_EQ(backup.code, 0) << backup.out;
    if (GetParam() == Backend::Postgres) {
        EXPECT_NE(backup.out.find("pg_dump"), std::string::npos) << backup.out;
    }

    const auto restore = RunServer({"restore", "--db", dbs.target(), file});
    ASSERT_EQ(restore.code, 0) << restore.out;

    auto copy = OpenConnection(dbs.target());
    const DbValue k[] = {branch, order, inc};
    const std::string inFilial = copy->query("SELECT NMFILIAL FROM FILIAL WHERE CDFILIAL = ?", {k, 1}).text(0, 0);
    const std::string inIncons =
        copy->query("SELECT TXOBSLIBINCO FROM INCONSPED WHERE CDFILIAL = ? AND NRPEDIDO = ? AND NRINCONSPED = ?", k)
            .text(0, 0);
    EXPECT_EQ(inFilial, inIncons) << "the copy holds half of a transaction";
    const int moment = std::atoi(inFilial.c_str() + 1);
    EXPECT_GE(moment, before);
    EXPECT_LE(moment, after);

    // Apart from the last write, every table is as in the source.
    const auto source = OpenConnection(dbs.source());
    const DbValue last[] = {std::string("w") + std::to_string(int(written)), branch};
    copy->exec("UPDATE FILIAL SET NMFILIAL = ? WHERE CDFILIAL = ?", last);
    const DbValue lastInc[] = {last[0], branch, order, inc};
    copy->exec("UPDATE INCONSPED SET TXOBSLIBINCO = ? WHERE CDFILIAL = ? AND NRPEDIDO = ? AND NRINCONSPED = ?",
               lastInc);
    copy.reset();
    const auto want = dbs.Tables(dbs.source());
    const auto got = dbs.Tables(dbs.target());
    EXPECT_GE(want.size(), 10u);
    ASSERT_EQ(want.size(), got.size());
    for (const auto& [table, rows] : want) {
        ASSERT_TRUE(got.count(table)) << table;
        EXPECT_EQ(got.at(table).size(), rows.size()) << table;
        EXPECT_TRUE(got.at(table) == rows) << "table " << table << " differs";
    }

    // A database that holds tables is never restored into; a file is never
    // overwritten by a backup.
    const auto again = RunServer({"restore", "--db", dbs.target(), file});
    EXPECT_EQ(again.code, 2);
    EXPECT_NE(again.out.find("is not empty"), std::string::npos) << again.out;
    const auto over = RunServer({"backup", "--db", dbs.source(), file});
    EXPECT_EQ(over.code, 2);
    EXPECT_NE(over.out.find("exists already"), std::string::npos) << over.out;
}

ZEL_INSTANTIATE(BackupTest);

} // namespace
} // namespace zel::server::test
