#include "tests/supervisor/SupervisorFixture.h"

#include "host/Application.h"
#include "host/DBGeral.h"
#include "host/Dialogs.h"
#include "host/Login.h"
#include "host/LoginClient.h"
#include "host/NetConnection.h"
#include "platform/data/DateTime.h"
#include "platform/widgets/DBGrid.h"
#include "proto/zel08200.grpc.pb.h"

#include <QAbstractButton>
#include <QAbstractItemModel>
#include <QAction>
#include <QHeaderView>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>

#include <grpcpp/client_context.h>
#include <grpcpp/create_channel.h>
#include <grpcpp/security/credentials.h>

namespace zel::test {

void SupervisorTest::SetUp()
{
    ZEL_SKIP_WITHOUT_SERVER();
    ASSERT_TRUE(Started(server_));
    dbName_ = QStringLiteral("supervisor-check-%1").arg(server_.port());
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), dbName_);
    db.setDatabaseName(server_.dbPath());
    ASSERT_TRUE(db.open()) << db.lastError().text().toStdString();
    QSqlQuery(db).exec(QStringLiteral("PRAGMA busy_timeout = 5000"));
    TNetConnection::SetDefaultConnectTimeoutMs(3000);
    MessageSeam::clearHistory();
}

void SupervisorTest::TearDown()
{
    CloseShell();
    if (!dbName_.isEmpty()) {
        {
            QSqlDatabase db = QSqlDatabase::database(dbName_, false);
            db.close();
        }
        QSqlDatabase::removeDatabase(dbName_);
    }
    server_.stop();
    MessageSeam::clearHistory();
}

void SupervisorTest::OpenShell(const QString& operador)
{
    SetLogin(Entrar(server_.host(), server_.port(), operador, QStringLiteral("demo")));
    CreateDtmDBGeral(server_.dbUrl());
    main_ = std::make_unique<zel::app::TfrmPrincipal>(QStringLiteral(ZEL_REVIEW_MODULE));
    main_->show();
    main_->activateWindow();
    main_->LoadMenuModules({QStringLiteral(ZEL_SUPERVISOR_MODULE)});
}

void SupervisorTest::CloseShell()
{
    if (!main_) return;
    main_.reset();
    FreeDtmDBGeral();
    ClearLogin();
}

QAction* SupervisorTest::MenuEntry(const char* name) const
{
    return main_ ? main_->findChild<QAction*>(QString::fromLatin1(name)) : nullptr;
}

QWidget* SupervisorTest::Open(const char* entry, const char* screen)
{
    QAction* a = MenuEntry(entry);
    if (!a) {
        ADD_FAILURE() << "no menu entry " << entry;
        return nullptr;
    }
    a->trigger();
    for (QMdiSubWindow* w : main_->mdiArea->subWindowList())
        if (w->widget() && w->widget()->objectName() == QLatin1String(screen)) return w->widget();
    ADD_FAILURE() << "the entry " << entry << " opened no " << screen;
    return nullptr;
}

QSqlDatabase SupervisorTest::Db() const
{
    return QSqlDatabase::database(dbName_);
}

void SupervisorTest::AddPending(int firstOrder, int orders, const QDate& day)
{
    QSqlDatabase db = Db();
    ASSERT_TRUE(db.transaction());
    QSqlQuery p(db), n(db);
    p.prepare(QStringLiteral("INSERT INTO PEDIDO (CDFILIAL, NRPEDIDO, IDSITPEDIDO, CDCLIENTE, CDVENDEDOR, DTPEDIDO, "
                             "DTENTPED) VALUES ('0001', ?, '1', '000001', '0007', ?, ?)"));
    n.prepare(QStringLiteral("INSERT INTO INCONSPED (CDFILIAL, NRPEDIDO, NRINCONSPED, CDCONSPEDIDO, ATIVA) "
                             "VALUES ('0001', ?, ?, ?, 'N')"));
    const qint64 at = TDateTime::fromDate(day, QTime(9, 30)).msecs();
    for (int i = 0; i < orders; ++i) {
        const QString nr = QStringLiteral("%1").arg(firstOrder + i, 10, 10, QLatin1Char('0'));
        p.addBindValue(nr);
        p.addBindValue(at);
        p.addBindValue(at + 5 * TDateTime::kMsPerDay);
        ASSERT_TRUE(p.exec()) << p.lastError().text().toStdString();
        for (const auto& [incons, code] : {std::pair{"001", "001"}, std::pair{"002", "005"}}) {
            n.addBindValue(nr);
            n.addBindValue(QString::fromLatin1(incons));
            n.addBindValue(QString::fromLatin1(code));
            ASSERT_TRUE(n.exec()) << n.lastError().text().toStdString();
        }
    }
    ASSERT_TRUE(db.commit());
}

void SupervisorTest::ReleaseElsewhere(const QString& operador, const std::vector<Incons>& rows, const QString& note)
{
    const TLoginInfo other = Entrar(server_.host(), server_.port(), operador, QStringLiteral("demo"));
    auto channel = grpc::CreateChannel(server_.address().toStdString(), grpc::InsecureChannelCredentials());
    auto stub = Zel08200::rdmSupervisao::NewStub(channel);
    Zel08200::LiberaLoteRequest request;
    request.set_cd_filial("0001");
    request.set_tx_obs(note.toStdString());
    for (const Incons& r : rows) {
        Zel08200::LoteItem* item = request.add_itens();
        item->set_cd_filial(r.filial.toStdString());
        item->set_nr_pedido(r.pedido.toStdString());
        item->set_nr_incons_ped(r.nrIncons.toStdString());
        item->set_ativa("N");
    }
    grpc::ClientContext context;
    context.AddMetadata("zel-session", other.token.toStdString());
    auto reader = stub->LiberaLote(&context, request);
    Zel08200::LiberaLoteReply reply;
    int released = 0;
    while (reader->Read(&reply)) {
        ASSERT_FALSE(reply.has_error()) << reply.error().message();
        for (const auto& o : reply.outcomes())
            released += o.situacao() == Zel08200::LoteOutcome::LIBERADA;
    }
    ASSERT_TRUE(reader->Finish().ok());
    ASSERT_EQ(released, int(rows.size()));
    Sair(other);
}

QStringList GridTitles(TDBGrid* grid)
{
    QStringList titles;
    for (int c = 0; c < grid->model()->columnCount(); ++c)
        titles << grid->model()->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
    return titles;
}

std::vector<QStringList> GridRows(TDBGrid* grid)
{
    std::vector<QStringList> rows;
    QAbstractItemModel* m = grid->model();
    for (int r = 0; r < m->rowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < m->columnCount(); ++c)
            cells << m->data(m->index(r, c), Qt::DisplayRole).toString();
        rows.push_back(cells);
    }
    return rows;
}

void ClickTitle(TDBGrid* grid, const QString& caption)
{
    const int c = GridTitles(grid).indexOf(caption);
    ASSERT_GE(c, 0) << "no column " << caption.toStdString();
    QHeaderView* h = grid->horizontalHeader();
    grid->scrollTo(grid->model()->index(0, c));
    QTest::mouseClick(h->viewport(), Qt::LeftButton, {}, QPoint(h->sectionViewportPosition(c) + 4, h->height() / 2));
}

void Type(QWidget* screen, const char* control, const QString& text)
{
    auto* e = screen->findChild<QLineEdit*>(QString::fromLatin1(control));
    ASSERT_NE(e, nullptr) << "no control " << control;
    e->setFocus();
    e->selectAll();
    e->del();
    QTest::keyClicks(e, text);
}

void Click(QWidget* screen, const char* button)
{
    auto* b = screen->findChild<QAbstractButton*>(QString::fromLatin1(button));
    ASSERT_NE(b, nullptr) << "no button " << button;
    ASSERT_TRUE(b->isEnabled()) << button << " is disabled";
    QTest::mouseClick(b, Qt::LeftButton);
}

} // namespace zel::test
