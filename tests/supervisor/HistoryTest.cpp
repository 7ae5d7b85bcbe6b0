// "Histórico de liberações" through the shell against the server: what the
// grid shows is what the database holds for the criteria, every page of it;
// a click on a title sorts; the exported file, read back, is the grid.
#include "host/Dialogs.h"
#include "host/WaitAnimation.h"
#include "platform/data/DateTime.h"
#include "platform/widgets/DBGrid.h"
#include "tests/supervisor/SupervisorFixture.h"
#include "tests/support/Modal.h"

#include <QAction>
#include <QBarCategoryAxis>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlQuery>
#include <QStackedBarSeries>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <map>
#include <set>

namespace zel::test {
namespace {

const QDate kOrderDay(2031, 3, 10);

// Reads a file of ";"-separated fields as a spreadsheet would: quoted
// fields may hold separators, doubled quotes and line breaks.
std::vector<QStringList> ReadCsv(const QByteArray& bytes)
{
    std::vector<QStringList> rows;
    const QString text = QString::fromUtf8(bytes);
    QStringList row;
    QString field;
    bool quoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c == u'"' && i + 1 < text.size() && text[i + 1] == u'"') {
                field += u'"';
                ++i;
            } else if (c == u'"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == u'"') {
            quoted = true;
        } else if (c == u';') {
            row << field;
            field.clear();
        } else if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') {
            row << field;
            field.clear();
            rows.push_back(row);
            row.clear();
            ++i;
        } else {
            field += c;
        }
    }
    if (!field.isEmpty() || !row.isEmpty()) rows.push_back(row << field);
    return rows;
}

class HistoryTest : public SupervisorTest {
protected:
    // 30 orders with two inconsistencies each; 0001 releases the first 20
    // rows with a note that needs quoting in a file, 0010 the next 20.
    void Prepare()
    {
        AddPending(900000001, 30, kOrderDay);
        std::vector<Incons> first, second;
        for (int i = 0; i < 40; ++i) {
            Incons r{QStringLiteral("0001"), QStringLiteral("%1").arg(900000001 + i / 2, 10, 10, QLatin1Char('0')),
                     i % 2 ? QStringLiteral("002") : QStringLiteral("001")};
            (i < 20 ? first : second).push_back(r);
        }
        ReleaseElsewhere(QStringLiteral("0001"), first, QStringLiteral("Conferido; \"ok\" do gerente"));
        ReleaseElsewhere(QStringLiteral("0010"), second);
    }
    // More history today than one page of the server holds: 5 100 rows of
    // operator 0009 on one released inconsistency, a second apart.
    void AddManyHistoryRows()
    {
        QSqlDatabase db = Db();
        ASSERT_TRUE(db.transaction());
        QSqlQuery q(db);
        q.prepare(QStringLiteral("INSERT INTO HISTLIBINC (CDFILIAL, NRPEDIDO, NRINCONSPED, CDOPERLIBE, DTLIBEINCONS, "
                                 "DTREGISTRO, TXOBSLIBINCO) VALUES ('0001', '0900000030', '001', '0009', ?, ?, ?)"));
        const qint64 start = TDateTime::Today().msecs() + 60'000;
        for (int i = 0; i < 5100; ++i) {
            q.addBindValue(start + i * 1000);
            q.addBindValue(start + i * 1000);
            q.addBindValue(QStringLiteral("nota %1").arg(i));
            ASSERT_TRUE(q.exec());
        }
        ASSERT_TRUE(db.commit());
    }

    // The rows of the history of branch 0001 released today, as the grid
    // shows them (order, inconsistency, who, when, note), from the database.
    std::vector<QStringList> Expected(const QString& operador = {}, const QString& pedido = {})
    {
        const TDateTime today = TDateTime::Today();
        QSqlQuery q(Db());
        q.prepare(QStringLiteral("SELECT NRPEDIDO, NRINCONSPED, CDOPERLIBE, DTLIBEINCONS, TXOBSLIBINCO FROM HISTLIBINC "
                                 "WHERE CDFILIAL = '0001' AND DTLIBEINCONS >= ? AND DTLIBEINCONS < ? "
                                 "AND (? = '' OR CDOPERLIBE = ?) AND (? = '' OR NRPEDIDO = ?)"));
        q.addBindValue(qint64(today.msecs()));
        q.addBindValue(qint64(today.msecs() + TDateTime::kMsPerDay));
        for (const QString& v : {operador, operador, pedido, pedido})
            q.addBindValue(v.isNull() ? QStringLiteral("") : v);
        EXPECT_TRUE(q.exec());
        std::vector<QStringList> rows;
        while (q.next())
            rows.push_back({q.value(0).toString(), q.value(1).toString(), q.value(2).toString(),
                            TDateTime::fromMSecs(q.value(3).toLongLong())
                                .toQDateTime()
                                .toString(QStringLiteral("dd/MM/yyyy HH:mm:ss")),
                            q.value(4).toString()});
        std::sort(rows.begin(), rows.end());
        return rows;
    }

    // The same five cells of every grid row, sorted.
    static std::vector<QStringList> Shown(TDBGrid* grid)
    {
        const QStringList titles = GridTitles(grid);
        std::vector<QStringList> rows;
        for (const QStringList& r : GridRows(grid)) {
            QStringList cells;
            for (const char* t : {"Pedido", "Nr.incons.", "Liberado por", "Liberado em", "Observação"})
                cells << r[titles.indexOf(QString::fromUtf8(t))];
            rows.push_back(cells);
        }
        std::sort(rows.begin(), rows.end());
        return rows;
    }
};

TEST_F(HistoryTest, TheGridHoldsWhatTheDatabaseHoldsForTheCriteria)
{
    Prepare();
    AddManyHistoryRows();
    OpenShell(QStringLiteral("0010"));
    QWidget* screen = Open("mnuHistLib", "frmHistLib");
    ASSERT_NE(screen, nullptr);
    auto* grid = screen->findChild<TDBGrid*>(QStringLiteral("dbgPadrao"));
    ASSERT_NE(grid, nullptr);
    const QString today = DateToStr(TDateTime::Today());
    Type(screen, "edtDtDe", today);
    Type(screen, "edtDtAte", today);

    struct Case {
        QString operador, pedido;
        int atLeast; // of this test's own releases
    };
    // The wait animation turns while the pages come.
    int aviDepth = 0;
    QTimer sampler;
    sampler.setInterval(1);
    QObject::connect(&sampler, &QTimer::timeout, [&] { aviDepth = std::max(aviDepth, ShowAviDepth()); });
    sampler.start();
    for (const Case& c :
         {Case{{}, {}, 40}, Case{QStringLiteral("0001"), {}, 20}, Case{{}, QStringLiteral("0900000003"), 2},
          Case{QStringLiteral("0010"), QStringLiteral("0900000003"), 0}}) {
        SCOPED_TRACE(("operator " + c.operador + " order " + c.pedido).toStdString());
        Type(screen, "edtOperador", c.operador);
        Type(screen, "edtPedido", c.pedido);
        Click(screen, "btnConsultar");
        const std::vector<QStringList> expected = Expected(c.operador, c.pedido);
        EXPECT_GE(int(expected.size()), c.atLeast);
        EXPECT_EQ(Shown(grid), expected);
        EXPECT_EQ(screen->findChild<QLabel*>(QStringLiteral("lblContagem"))->text(),
                  QStringLiteral("%1 linhas").arg(expected.size()));
    }
    sampler.stop();
    EXPECT_GE(aviDepth, 1);
    // Nothing matches: the grid empties and the operator is told.
    MessageSeam::clearHistory();
    Type(screen, "edtOperador", QStringLiteral("9999"));
    Type(screen, "edtPedido", QString());
    Click(screen, "btnConsultar");
    EXPECT_TRUE(GridRows(grid).empty());
    ASSERT_FALSE(MessageSeam::history().empty());
    EXPECT_EQ(MessageSeam::history().back().text, QStringLiteral("Nenhuma liberação atende aos critérios."));
}

TEST_F(HistoryTest, ATitleSortsAndTheExportedFilesHoldTheGrid)
{
    Prepare();
    AddManyHistoryRows();
    OpenShell(QStringLiteral("0010"));
    QWidget* screen = Open("mnuHistLib", "frmHistLib");
    ASSERT_NE(screen, nullptr);
    auto* grid = screen->findChild<TDBGrid*>(QStringLiteral("dbgPadrao"));
    const QString today = DateToStr(TDateTime::Today());
    Type(screen, "edtDtDe", today);
    Type(screen, "edtDtAte", today);
    Click(screen, "btnConsultar");
    ASSERT_GE(GridRows(grid).size(), 5140u);

    const int pedido = GridTitles(grid).indexOf(QStringLiteral("Pedido"));
    const auto column = [&] {
        QStringList values;
        for (const QStringList& r : GridRows(grid))
            values << r[pedido];
        return values;
    };
    ClickTitle(grid, QStringLiteral("Pedido"));
    QStringList up = column();
    EXPECT_TRUE(std::is_sorted(up.begin(), up.end()));
    ClickTitle(grid, QStringLiteral("Pedido"));
    QStringList down = column();
    EXPECT_TRUE(std::is_sorted(down.rbegin(), down.rend()));
    EXPECT_NE(up, down);

    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("historico.csv"));
    {
        auto dialog = WhenModal<QFileDialog>([&](QFileDialog* d) {
            d->selectFile(path);
            static_cast<QDialog*>(d)->accept();
        });
        Click(screen, "btnExportar");
    }
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    // The byte-order mark that makes spreadsheets read it as UTF-8.
    ASSERT_TRUE(bytes.startsWith("\xEF\xBB\xBF"));
    const std::vector<QStringList> csv = ReadCsv(bytes.mid(3));
    ASSERT_FALSE(csv.empty());
    EXPECT_EQ(csv.front(), GridTitles(grid));
    const std::vector<QStringList> rows(csv.begin() + 1, csv.end());
    EXPECT_EQ(rows, GridRows(grid));
    // The note with a separator and quotes went through whole.
    EXPECT_NE(
        std::find_if(rows.begin(), rows.end(),
                     [](const QStringList& r) { return r.contains(QStringLiteral("Conferido; \"ok\" do gerente")); }),
        rows.end());

    // The printed list as a PDF file: its text holds every row, page after
    // page (one release date-time per row).
    const QString pdf = dir.filePath(QStringLiteral("historico.pdf"));
    {
        auto dialog = WhenModal<QFileDialog>([&](QFileDialog* d) {
            d->selectFile(pdf);
            static_cast<QDialog*>(d)->accept();
        });
        Click(screen, "btnExportarPdf");
    }
    QProcess text;
    text.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
    ASSERT_TRUE(text.waitForFinished(60000)) << "pdftotext (poppler-utils) is needed to read the PDF";
    ASSERT_EQ(text.exitCode(), 0);
    const QString printed = QString::fromUtf8(text.readAllStandardOutput());
    static const QRegularExpression when(QStringLiteral("\\d\\d/\\d\\d/\\d{4} \\d\\d:\\d\\d:\\d\\d"));
    EXPECT_EQ(int(printed.count(when)), int(rows.size()));
    EXPECT_TRUE(printed.contains(QStringLiteral("%1 linhas").arg(rows.size())));
    EXPECT_GT(printed.count(QLatin1Char('\f')), 50) << "pages";
}

TEST_F(HistoryTest, TheChartCountsTheRowsPerDayAndCode)
{
    Prepare();
    OpenShell(QStringLiteral("0010"));
    QWidget* screen = Open("mnuHistLib", "frmHistLib");
    ASSERT_NE(screen, nullptr);
    auto* grid = screen->findChild<TDBGrid*>(QStringLiteral("dbgPadrao"));
    // The whole history of the branch: the seeded days and today's.
    Click(screen, "btnConsultar");
    const QStringList titles = GridTitles(grid);
    const int when = titles.indexOf(QStringLiteral("Liberado em"));
    const int code = titles.indexOf(QStringLiteral("Código"));
    std::map<QString, std::map<QString, int>> expected; // code -> day -> releases
    std::set<QString> days;
    for (const QStringList& r : GridRows(grid)) {
        ++expected[r[code]][r[when].left(5)];
        days.insert(r[when].left(5));
    }
    ASSERT_GT(days.size(), 1u);

    auto* view = screen->findChild<QChartView*>(QStringLiteral("chtLiberacoes"));
    ASSERT_NE(view, nullptr);
    ASSERT_EQ(view->chart()->series().size(), 1);
    auto* series = qobject_cast<QStackedBarSeries*>(view->chart()->series().first());
    ASSERT_NE(series, nullptr);
    auto* axis = qobject_cast<QBarCategoryAxis*>(view->chart()->axes(Qt::Horizontal).value(0));
    ASSERT_NE(axis, nullptr);
    const QStringList categories = axis->categories();
    EXPECT_EQ(std::set<QString>(categories.begin(), categories.end()), days);
    std::map<QString, std::map<QString, int>> drawn;
    for (QBarSet* set : series->barSets())
        for (int i = 0; i < set->count(); ++i)
            if (set->at(i) != 0) drawn[set->label()][categories.value(i)] = int(set->at(i));
    EXPECT_EQ(drawn, expected);
}

TEST_F(HistoryTest, TheListingOpensInAPreviewOfEveryPage)
{
    Prepare();
    OpenShell(QStringLiteral("0010"));
    QWidget* screen = Open("mnuHistLib", "frmHistLib");
    ASSERT_NE(screen, nullptr);
    Click(screen, "btnConsultar");
    int pages = 0;
    {
        auto preview = WhenModal<QPrintPreviewDialog>([&](QPrintPreviewDialog* d) {
            auto* view = d->findChild<QPrintPreviewWidget*>();
            ASSERT_NE(view, nullptr);
            pages = view->pageCount();
            d->reject();
        });
        screen->findChild<QAction*>(QStringLiteral("mnuListagem"))->trigger();
    }
    EXPECT_GE(pages, 1);
    EXPECT_TRUE(MessageSeam::errors().empty());
}

} // namespace
} // namespace zel::test
