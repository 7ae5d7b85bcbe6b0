#include "host/DBGeral.h"

#include "platform/data/DataSource.h"
#include "platform/data/Exceptions.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace zel;

namespace {

// A branch table like the server's, in a real SQLite file.
class DBGeralTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir_.isValid());
        path_ = dir_.filePath(QStringLiteral("zel.db"));
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("setup"));
            db.setDatabaseName(path_);
            ASSERT_TRUE(db.open());
            QSqlQuery q(db);
            ASSERT_TRUE(q.exec(QStringLiteral("CREATE TABLE FILIAL (CDFILIAL VARCHAR(8) NOT NULL PRIMARY KEY, "
                                              "NMFILIAL VARCHAR(30), DTABERTURA TIMESTAMP)")));
            ASSERT_TRUE(
                q.exec(QStringLiteral("INSERT INTO FILIAL VALUES ('0002','Filial Campinas','2020-03-01 08:30:00'),"
                                      "('0001','Filial São Paulo',NULL),('0010','Filial Santos',NULL)")));
        }
        QSqlDatabase::removeDatabase(QStringLiteral("setup"));
        CreateDtmDBGeral(QStringLiteral("sqlite:") + path_);
    }
    void TearDown() override { FreeDtmDBGeral(); }

    QTemporaryDir dir_;
    QString path_;
};

void defineQryFilial(TADOIBQuery& q)
{
    q.SQL = QStringList{QStringLiteral("SELECT "),   QStringLiteral("   CDFILIAL,NMFILIAL"),
                        QStringLiteral("FROM "),     QStringLiteral("   FILIAL"),
                        QStringLiteral("ORDER BY "), QStringLiteral("   CDFILIAL")};
    q.AddField(QStringLiteral("CDFILIAL"), TFieldType::ftString, 8, QStringLiteral("Código"), true);
    q.AddField(QStringLiteral("NMFILIAL"), TFieldType::ftString, 30, QStringLiteral("Nome"));
}

void defineQryVdFilial(TADOIBQuery& q)
{
    q.SQL = QStringList{QStringLiteral("SELECT "), QStringLiteral("   CDFILIAL,NMFILIAL"),
                        QStringLiteral("FROM "),   QStringLiteral("   FILIAL"),
                        QStringLiteral("WHERE "),  QStringLiteral("   CDFILIAL = :P_CDFILIAL")};
    q.AddField(QStringLiteral("CDFILIAL"), TFieldType::ftString, 8, {}, true);
    q.AddField(QStringLiteral("NMFILIAL"), TFieldType::ftString, 30);
}

} // namespace

TEST_F(DBGeralTest, AListQueryLoadsEveryRowIntoItsInnerDatasetForADataSource)
{
    TADOIBQuery qryFilial(QStringLiteral("qryFilial"));
    defineQryFilial(qryFilial);
    EXPECT_EQ(qryFilial.Connection, &dtmDBGeral->adcGeral);
    EXPECT_EQ(qryFilial.Transaction, &dtmDBGeral->ibtGeral);
    EXPECT_FALSE(qryFilial.Active());

    int scrolls = 0;
    qryFilial.Query()->AfterScroll = [&](TDataSet*) { ++scrolls; };
    TDataSource dtsFilial(QStringLiteral("dtsFilial"), qryFilial.Query());
    qryFilial.Open();
    EXPECT_TRUE(qryFilial.Active());
    EXPECT_FALSE(qryFilial.IsEmpty());
    EXPECT_EQ(dtsFilial.State(), TDataSetState::dsBrowse);
    EXPECT_EQ(scrolls, 1); // opened on its first row
    ASSERT_EQ(qryFilial.RecordCount(), 3);
    QStringList codes;
    for (qryFilial.First(); !qryFilial.Eof(); qryFilial.Next())
        codes << qryFilial.FieldByName(QStringLiteral("CDFILIAL"))->AsString();
    EXPECT_EQ(codes, (QStringList{"0001", "0002", "0010"}));
    TField* code = qryFilial.FieldByName(QStringLiteral("CDFILIAL"));
    EXPECT_EQ(code->DisplayLabel(), QStringLiteral("Código"));
    EXPECT_TRUE(code->Required());
    EXPECT_EQ(code->Size(), 8);
    qryFilial.First();
    EXPECT_EQ(qryFilial.FieldByName(QStringLiteral("NMFILIAL"))->AsString(), QStringLiteral("Filial São Paulo"));

    qryFilial.Close();
    EXPECT_FALSE(qryFilial.Active());
    EXPECT_TRUE(qryFilial.IsEmpty());
}

TEST_F(DBGeralTest, AParameterisedQueryChecksACode)
{
    TADOIBQuery qry(QStringLiteral("qryVd_filial"));
    defineQryVdFilial(qry);
    ASSERT_EQ(qry.Params().size(), 1u);
    EXPECT_EQ(qry.Params()[0]->Name(), QStringLiteral("P_CDFILIAL"));

    struct Case {
        const char* code;
        bool found;
        const char* name;
    } cases[] = {
        {"0002", true, "Filial Campinas"}, {"0003", false, ""}, {"0002' OR '1'='1", false, ""}, {"", false, ""}};
    for (const auto& c : cases) {
        qry.Close();
        qry.ParamByName(QStringLiteral("P_CDFILIAL")).setAsString(QString::fromUtf8(c.code));
        qry.Open();
        EXPECT_EQ(!qry.IsEmpty(), c.found) << c.code;
        if (c.found) {
            EXPECT_EQ(qry.FieldByName(QStringLiteral("NMFILIAL"))->AsString(), QString::fromUtf8(c.name));
        }
    }
    EXPECT_THROW(qry.ParamByName(QStringLiteral("P_OUTRO")), EDatabaseError);
}

TEST_F(DBGeralTest, AQueryWithoutDeclaredFieldsTakesThemFromTheResult)
{
    TADOIBQuery qry(QStringLiteral("qryLivre"));
    qry.SQL = QStringList{QStringLiteral("SELECT cdfilial, nmfilial, dtabertura, 7 AS qt FROM FILIAL "
                                         "WHERE CDFILIAL = '0002'")};
    qry.Open();
    ASSERT_EQ(qry.Query()->FieldCount(), 4);
    EXPECT_EQ(qry.FieldByName(QStringLiteral("NMFILIAL"))->AsString(), QStringLiteral("Filial Campinas"));
    EXPECT_EQ(qry.FieldByName(QStringLiteral("QT"))->AsInteger(), 7);
}

TEST_F(DBGeralTest, DatabaseFailuresAreRaisedAsDatabaseErrors)
{
    TADOIBQuery bad(QStringLiteral("qryErrada"));
    bad.SQL = QStringList{QStringLiteral("SELECT CDFILIAL FROM TABELA_QUE_NAO_EXISTE")};
    try {
        bad.Open();
        FAIL() << "no failure";
    } catch (const EDatabaseError& e) {
        EXPECT_TRUE(e.Message().startsWith(QStringLiteral("qryErrada: erro na consulta"))) << e.what();
    }
    EXPECT_FALSE(bad.Active());

    TADOIBQuery missingColumn(QStringLiteral("qryFilial"));
    defineQryFilial(missingColumn);
    missingColumn.SQL = QStringList{QStringLiteral("SELECT CDFILIAL FROM FILIAL")};
    EXPECT_THROW(missingColumn.Open(), EDatabaseError);

    // A database file that does not exist is not created empty.
    TdtmDBGeral other;
    other.adcGeral.ConnectionString = QStringLiteral("sqlite:") + dir_.filePath(QStringLiteral("nao-existe.db"));
    EXPECT_THROW(other.adcGeral.Open(), EDatabaseError);
    EXPECT_FALSE(QFile::exists(dir_.filePath(QStringLiteral("nao-existe.db"))));
    other.adcGeral.ConnectionString = QStringLiteral("mysql://x");
    EXPECT_THROW(other.adcGeral.Open(), EDatabaseError);
}
