// A connection's transactions: statements queued for the commit, the BEGIN
// that goes with the first statement, and what a failure leaves behind.
// PostgreSQL sends them in pipelines; SQLite runs them at once. Either way
// a transaction is all or nothing and the connection stays usable.
#include "tests/server/TestSupport.h"

#include <optional>
#include <sqlite3.h>
#include <string>

namespace zel::server::test {
namespace {

class ConnectionTest : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override
    {
        db_ = std::make_unique<TestDatabase>(GetParam());
        if (!db_->available()) GTEST_SKIP() << "ZEL_TEST_PG_URL is not set: no PostgreSQL to test on";
        LoadFixture(db_->url());
        c_ = OpenConnection(db_->url());
    }

    // The branch's name as another connection reads it (committed data only).
    std::string BranchName(const std::string& code)
    {
        auto other = OpenConnection(db_->url());
        const DbValue p[] = {Text(code)};
        DbRows r = other->query("SELECT NMFILIAL FROM FILIAL WHERE CDFILIAL = ?", p);
        return r.empty() ? "(none)" : r.text(0, 0);
    }

    // Queues a rename of a branch.
    void Rename(const std::string& code, const std::string& name)
    {
        const DbValue p[] = {Text(name), Text(code)};
        c_->queue("UPDATE FILIAL SET NMFILIAL = ? WHERE CDFILIAL = ?", p);
    }

    // Queues a branch that already exists: refused by the key.
    void InsertExistingBranch()
    {
        const DbValue p[] = {Text("0001"), Text("Duplicada")};
        c_->queue("INSERT INTO FILIAL (CDFILIAL, NMFILIAL) VALUES (?, ?)", p);
    }

    // Runs a transaction; the failure's kind when it failed.
    template <class F> std::optional<DbError::Kind> InTransaction(F&& body)
    {
        try {
            Transaction tx(*c_, true);
            body();
            tx.commit();
        } catch (const DbError& e) {
            return e.kind();
        }
        return std::nullopt;
    }

    std::unique_ptr<TestDatabase> db_;
    std::unique_ptr<DbConn> c_;
};

TEST_P(ConnectionTest, QueuedWritesCommitWithTheTransactionAndAreSeenByItsReads)
{
    EXPECT_EQ(InTransaction([&] {
                  Rename("0001", "Matriz renomeada");
                  Rename("0002", "Campinas renomeada");
                  // A read of the same transaction sees what was queued before it.
                  DbRows r = c_->query("SELECT NMFILIAL FROM FILIAL ORDER BY CDFILIAL");
                  ASSERT_EQ(r.size(), 2u);
                  EXPECT_EQ(r.text(0, 0), "Matriz renomeada");
                  EXPECT_EQ(r.text(1, 0), "Campinas renomeada");
                  Rename("0002", "Campinas de novo");
              }),
              std::nullopt);
    EXPECT_EQ(BranchName("0001"), "Matriz renomeada");
    EXPECT_EQ(BranchName("0002"), "Campinas de novo");
    EXPECT_TRUE(c_->healthy());
}

TEST_P(ConnectionTest, AFailingQueuedStatementCommitsNothingAndLeavesTheConnectionUsable)
{
    // The failure comes out at the commit (PostgreSQL) or at once (SQLite):
    // either way nothing of the transaction stays, also not what ran before.
    const auto failure = InTransaction([&] {
        const DbValue p[] = {Text("Matriz imediata"), Text("0001")};
        c_->exec("UPDATE FILIAL SET NMFILIAL = ? WHERE CDFILIAL = ?", p);
        Rename("0002", "Campinas perdida");
        InsertExistingBranch();
        Rename("0002", "Campinas depois da falha");
    });
    EXPECT_EQ(failure, DbError::Kind::Constraint);
    EXPECT_EQ(BranchName("0001"), "Matriz São Paulo");
    EXPECT_EQ(BranchName("0002"), "Filial Campinas");
    EXPECT_TRUE(c_->healthy());

    // The same statements work on the same connection afterwards.
    EXPECT_EQ(InTransaction([&] { Rename("0002", "Campinas"); }), std::nullopt);
    EXPECT_EQ(BranchName("0002"), "Campinas");
}

TEST_P(ConnectionTest, StatementsFirstSentBesideAFailureCanBeUsedAgain)
{
    // One statement new to the connection before the failure (it is
    // prepared, then the failure comes), one after it (never run).
    const char* before = "UPDATE FILIAL SET NMFILIAL = ? || '' WHERE CDFILIAL = ?";
    const char* after = "UPDATE FILIAL SET NMFILIAL = '' || ? WHERE CDFILIAL = ?";
    const DbValue p1[] = {Text("Antes"), Text("0001")};
    const DbValue p2[] = {Text("Depois"), Text("0002")};
    EXPECT_EQ(InTransaction([&] {
                  c_->queue(before, p1);
                  InsertExistingBranch();
                  c_->queue(after, p2);
              }),
              DbError::Kind::Constraint);
    EXPECT_EQ(InTransaction([&] {
                  c_->queue(before, p1);
                  c_->queue(after, p2);
              }),
              std::nullopt);
    EXPECT_EQ(BranchName("0001"), "Antes");
    EXPECT_EQ(BranchName("0002"), "Depois");
}

TEST_P(ConnectionTest, ARolledBackOrEmptyTransactionChangesNothing)
{
    {
        Transaction tx(*c_, true);
        Rename("0001", "Nunca");
    } // not committed
    EXPECT_EQ(BranchName("0001"), "Matriz São Paulo");
    EXPECT_TRUE(c_->healthy());
    EXPECT_EQ(InTransaction([] {}), std::nullopt);
    EXPECT_TRUE(c_->healthy());
    // Outside a transaction a queued statement runs at once.
    Rename("0001", "Sem transação");
    EXPECT_EQ(BranchName("0001"), "Sem transação");
}

TEST_P(ConnectionTest, AThousandQueuedStatementsCommitTogether)
{
    // More than one pipeline's worth: each part is sent and answered before
    // the next, so the connection never waits on itself.
    EXPECT_EQ(InTransaction([&] {
                  for (int i = 0; i < 1000; ++i)
                      Rename(i % 2 ? "0001" : "0002", "Nome " + std::to_string(i));
              }),
              std::nullopt);
    EXPECT_EQ(BranchName("0001"), "Nome 999");
    EXPECT_EQ(BranchName("0002"), "Nome 998");

    // A failure in the last part undoes the parts already sent.
    EXPECT_EQ(InTransaction([&] {
                  for (int i = 0; i < 1000; ++i)
                      Rename("0001", "Desfeito " + std::to_string(i));
                  InsertExistingBranch();
              }),
              DbError::Kind::Constraint);
    EXPECT_EQ(BranchName("0001"), "Nome 999");
}

ZEL_INSTANTIATE(ConnectionTest);

// SQLite's memory statistics make every allocation of every connection take
// one lock of the whole process; the server's connections go without them,
// so SQLite counts nothing however much they read.
TEST(SqliteConnection, KeepsNoMemoryStatistics)
{
    TestDatabase db(Backend::Sqlite);
    LoadFixture(db.url());
    auto c = OpenConnection(db.url());
    const DbValue p[] = {Text("0001")};
    DbRows r = c->query("SELECT * FROM PEDIDO WHERE CDFILIAL = ?", p);
    ASSERT_FALSE(r.empty());
    EXPECT_EQ(sqlite3_memory_used(), 0);
    EXPECT_EQ(sqlite3_memory_highwater(false), 0);
}

} // namespace
} // namespace zel::server::test
