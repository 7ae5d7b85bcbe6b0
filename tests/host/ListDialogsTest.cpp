#include "host/ListDialogs.h"

#include "host/BtnPesquisa.h"
#include "host/DBGeral.h"
#include "host/Dialogs.h"
#include "host/GridUtils.h"
#include "platform/data/DataSet.h"
#include "platform/data/Exceptions.h"
#include "platform/data/KeyList.h"
#include "platform/data/Packet.h"
#include "tests/support/Modal.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QImage>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace zel;
using zel::test::WhenModal;

namespace {

// The order numbers of the filter's picker: a read-only mark and the key.
class PickListTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        mark_ = cds_.AddField(QStringLiteral("IDMARCADO"), TFieldType::ftFixedChar, 1);
        mark_->setReadOnly(true);
        TField* nr = cds_.AddField(QStringLiteral("NRPEDIDO"), TFieldType::ftString, 10);
        nr->setDisplayLabel(QStringLiteral("Nr.Pedido"));
        PacketWriter w;
        w.field("IDMARCADO", TFieldType::ftFixedChar, 1).field("NRPEDIDO", TFieldType::ftString, 10);
        for (int i = 1; i <= 5; ++i)
            w.text(QStringLiteral("N")).text(QStringLiteral("%1").arg(i, 10, 10, QLatin1Char('0')));
        cds_.SetData(w.Take());
        MessageSeam::clearHistory();
    }
    QString marks()
    {
        QString m;
        for (int r = 0; r < cds_.RecordCount(); ++r)
            m += cds_.ValueAt(r, 0).toString();
        return m;
    }
    TClientDataSet cds_{QStringLiteral("cdsNrPedido")};
    TDataSource dts_{QStringLiteral("dtsNrPed"), &cds_};
    TField* mark_ = nullptr;
};

} // namespace

TEST_F(PickListTest, KeysAndMouseMarkRowsAndThePickedKeysComeBackAsAKeyList)
{
    QString stPedido = QStringLiteral(" ");
    auto modal = WhenModal<TfrmPesquisaLista>([](TfrmPesquisaLista* d) {
        EXPECT_EQ(d->windowTitle(), QStringLiteral("Nr.Pedido"));
        EXPECT_EQ(d->Model()->headerData(1, Qt::Horizontal, Qt::DisplayRole).toString(), QStringLiteral("Nr.Pedido"));
        EXPECT_EQ(d->Model()->columnCount(), 2) << "the mark field is the check column, not a column of its own";
        QTest::keyClick(d->grdLista, Qt::Key_Down);
        QTest::keyClick(d->grdLista, Qt::Key_Space); // row 2
        QTest::keyClick(d->grdLista, Qt::Key_Down);
        QTest::keyClick(d->grdLista, Qt::Key_Down);
        QTest::keyClick(d->grdLista, Qt::Key_Space); // row 4
        // A click on the check column of row 5 marks it; a second unmarks it.
        const QRect cell = d->grdLista->visualRect(d->Model()->index(4, 0));
        QTest::mouseClick(d->grdLista->viewport(), Qt::LeftButton, {}, cell.center());
        QTest::mouseClick(d->grdLista->viewport(), Qt::LeftButton, {}, cell.center());
        EXPECT_EQ(d->Model()->MarkedCount(), 2);
        QTest::keyClick(d->grdLista, Qt::Key_Return);
    });
    ASSERT_TRUE(PesquisaLista(&dts_, QStringLiteral("NRPEDIDO"), QStringLiteral("Nr.Pedido"), false, stPedido));
    EXPECT_EQ(stPedido, QStringLiteral("0000000002,0000000004"));
    // The one format the server parses.
    const auto parsed = KeyList::Parse(stPedido, 10);
    ASSERT_TRUE(parsed.has_value());
    EXPECT_EQ(parsed->size(), 2);
    // The marks stay in the dataset, read-only field or not, without pending changes.
    EXPECT_EQ(marks(), QStringLiteral("NSNSN"));
    EXPECT_TRUE(mark_->ReadOnly());
    EXPECT_EQ(cds_.ChangeCount(), 0);

    // Cancelling changes nothing.
    modal = WhenModal<TfrmPesquisaLista>([](TfrmPesquisaLista* d) {
        EXPECT_EQ(d->Model()->MarkedCount(), 2) << "opens with the incoming list marked";
        d->btnMarcarTodos->click();
        QTest::keyClick(d->grdLista, Qt::Key_Escape);
    });
    EXPECT_FALSE(PesquisaLista(&dts_, QStringLiteral("NRPEDIDO"), QStringLiteral("Nr.Pedido"), false, stPedido));
    EXPECT_EQ(stPedido, QStringLiteral("0000000002,0000000004"));
    EXPECT_EQ(marks(), QStringLiteral("NSNSN"));

    // Nothing picked gives the blank.
    modal = WhenModal<TfrmPesquisaLista>([](TfrmPesquisaLista* d) {
        d->btnDesmarcarTodos->click();
        d->btnOK->click();
    });
    ASSERT_TRUE(PesquisaLista(&dts_, QStringLiteral("NRPEDIDO"), QStringLiteral("Nr.Pedido"), false, stPedido));
    EXPECT_EQ(stPedido, QStringLiteral(" "));
    EXPECT_EQ(marks(), QStringLiteral("NNNNN"));

    // With a blank incoming list the marks of the dataset are offered; all.
    modal = WhenModal<TfrmPesquisaLista>([](TfrmPesquisaLista* d) {
        EXPECT_EQ(d->Model()->MarkedCount(), 0);
        d->btnMarcarTodos->click();
        d->btnOK->click();
    });
    ASSERT_TRUE(PesquisaLista(&dts_, QStringLiteral("NRPEDIDO"), QStringLiteral("Nr.Pedido"), false, stPedido));
    EXPECT_EQ(stPedido, QStringLiteral("0000000001,0000000002,0000000003,0000000004,0000000005"));

    EXPECT_THROW(PesquisaLista(&dts_, QStringLiteral("NAOEXISTE"), QString(), false, stPedido), EDatabaseError);
}

TEST_F(PickListTest, FindMovesTheDatasetToTheFoundRow)
{
    int scrolls = 0;
    cds_.AfterScroll = [&](TDataSet*) { ++scrolls; };
    auto modal = WhenModal<TfrmProcura>([](TfrmProcura* d) {
        EXPECT_EQ(d->cbxCampo->count(), 2); // visible fields
        d->cbxCampo->setCurrentIndex(1);
        QTest::keyClicks(d->edtTexto, QStringLiteral("0000000009"));
        d->btnProcurar->click();
        EXPECT_TRUE(d->isVisible()) << "not found: the dialog stays";
        d->edtTexto->clear();
        d->chkParcial->setChecked(true);
        QTest::keyClicks(d->edtTexto, QStringLiteral("04"));
        d->btnProcurar->click();
    });
    EXPECT_TRUE(Procura(&cds_));
    EXPECT_EQ(cds_.RecNo(), 4);
    EXPECT_EQ(scrolls, 1);
    ASSERT_EQ(MessageSeam::history().size(), 1u);
    EXPECT_EQ(MessageSeam::history()[0].type, TMsgDlgType::mtInformation);

    // From the current row on, wrapping around to the first.
    modal = WhenModal<TfrmProcura>([](TfrmProcura* d) {
        d->cbxCampo->setCurrentIndex(1);
        QTest::keyClicks(d->edtTexto, QStringLiteral("00000000"));
        EXPECT_EQ(d->Find(), 4);
        d->btnFechar->click();
    });
    EXPECT_FALSE(Procura(&cds_));
    EXPECT_EQ(cds_.RecNo(), 4);
}

TEST(InsereImagem, ThePictureIsCentredAndItsTransparentColourLeftOut)
{
    const QColor olive(128, 128, 0);
    QPixmap picture(16, 16);
    picture.fill(olive);
    {
        QPainter p(&picture);
        p.fillRect(4, 4, 8, 8, Qt::black);
    }
    QImage cell(40, 30, QImage::Format_RGB32);
    cell.fill(Qt::white);
    {
        QPainter p(&cell);
        InsereImagem(&p, QRect(0, 0, 40, 30), picture, olive);
    }
    // Centred: the 16x16 picture starts at (12, 7).
    EXPECT_EQ(cell.pixelColor(12 + 4, 7 + 4), QColor(Qt::black));
    EXPECT_EQ(cell.pixelColor(12 + 11, 7 + 11), QColor(Qt::black));
    EXPECT_EQ(cell.pixelColor(12 + 3, 7 + 4), QColor(Qt::white)) << "the olive must be left out";
    EXPECT_EQ(cell.pixelColor(12, 7), QColor(Qt::white));
    EXPECT_EQ(cell.pixelColor(11 + 16 + 1, 7 + 4), QColor(Qt::white));
}

namespace {

class LookupButtonTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir_.isValid());
        const QString path = dir_.filePath(QStringLiteral("zel.db"));
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("setup-lookup"));
            db.setDatabaseName(path);
            ASSERT_TRUE(db.open());
            QSqlQuery q(db);
            ASSERT_TRUE(q.exec(QStringLiteral("CREATE TABLE FILIAL (CDFILIAL VARCHAR(8), NMFILIAL VARCHAR(30))")));
        }
        QSqlDatabase::removeDatabase(QStringLiteral("setup-lookup"));
        CreateDtmDBGeral(QStringLiteral("sqlite:") + path);
        qry_ = std::make_unique<TADOIBQuery>(QStringLiteral("qryFilial"));
        qry_->SQL = QStringList{QStringLiteral("SELECT "),   QStringLiteral("   CDFILIAL,NMFILIAL"),
                                QStringLiteral("FROM "),     QStringLiteral("   FILIAL"),
                                QStringLiteral("ORDER BY "), QStringLiteral("   CDFILIAL")};
        qry_->AddField(QStringLiteral("CDFILIAL"), TFieldType::ftString, 8, QStringLiteral("Código"), true);
        qry_->AddField(QStringLiteral("NMFILIAL"), TFieldType::ftString, 30, QStringLiteral("Nome"));
        dts_ = std::make_unique<TDataSource>(QStringLiteral("dtsFilial"), qry_->Query());
        qry_->DataSource = dts_.get();

        edit_ = new QLineEdit(&window_);
        edit_->setObjectName(QStringLiteral("medCdFilial"));
        btp_ = new TBtnPesquisa(&window_, QStringLiteral("btpFilial"));
        btp_->move(0, 40);
        btp_->Associate = edit_;
        btp_->DataSource = dts_.get();
        btp_->Title = QStringLiteral("Filial");
        btp_->EmptyError = QStringLiteral("Não há filial cadastrada.");
        btp_->OnBeforePesq = [this](QObject*, bool& proceed) {
            calls << QStringLiteral("before");
            proceed = proceed && !cancel;
        };
        btp_->OnAfterPesq = [this](QObject*) {
            calls << QStringLiteral("after:") + qry_->FieldByName(QStringLiteral("CDFILIAL"))->AsString();
        };
        window_.show();
        MessageSeam::clearHistory();
    }
    void TearDown() override
    {
        qry_.reset();
        FreeDtmDBGeral();
    }
    void insertBranches()
    {
        QSqlDatabase db = dtmDBGeral->adcGeral.Database();
        db.close();
        QSqlDatabase w = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("writer"));
        w.setDatabaseName(dir_.filePath(QStringLiteral("zel.db")));
        ASSERT_TRUE(w.open());
        QSqlQuery q(w);
        ASSERT_TRUE(q.exec(QStringLiteral("INSERT INTO FILIAL VALUES ('0002','Campinas'),('0001','São Paulo'),"
                                          "('0003','Santos')")));
        w.close();
        w = QSqlDatabase();
        QSqlDatabase::removeDatabase(QStringLiteral("writer"));
    }

    QTemporaryDir dir_;
    QWidget window_;
    QLineEdit* edit_;
    TBtnPesquisa* btp_;
    std::unique_ptr<TADOIBQuery> qry_;
    std::unique_ptr<TDataSource> dts_;
    QStringList calls;
    bool cancel = false;
};

} // namespace

TEST_F(LookupButtonTest, AnEmptyListShowsItsErrorAndOpensNothing)
{
    QTest::mouseClick(btp_, Qt::LeftButton);
    EXPECT_EQ(calls, QStringList{QStringLiteral("before")});
    ASSERT_EQ(MessageSeam::errors().size(), 1u);
    EXPECT_EQ(MessageSeam::errors()[0], QStringLiteral("Não há filial cadastrada."));
}

TEST_F(LookupButtonTest, APickedRowPositionsTheListForTheAfterHook)
{
    insertBranches();
    auto modal = WhenModal<TfrmPesquisaLista>([](TfrmPesquisaLista* d) {
        EXPECT_EQ(d->windowTitle(), QStringLiteral("Filial"));
        EXPECT_EQ(d->Model()->rowCount(), 3);
        EXPECT_EQ(d->Model()->headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(), QStringLiteral("Código"));
        QTest::keyClicks(d->edtLocalizar, QStringLiteral("0003"));
        EXPECT_EQ(d->CurrentRow(), 2);
        QTest::keyClick(d->grdLista, Qt::Key_Up);
        QTest::keyClick(d->grdLista, Qt::Key_Return);
    });
    QTest::mouseClick(btp_, Qt::LeftButton);
    EXPECT_EQ(calls, (QStringList{QStringLiteral("before"), QStringLiteral("after:0002")}));
    EXPECT_TRUE(MessageSeam::errors().empty());

    // The before-hook may cancel; cancelling the list runs no after-hook.
    calls.clear();
    cancel = true;
    QTest::mouseClick(btp_, Qt::LeftButton);
    EXPECT_EQ(calls, QStringList{QStringLiteral("before")});
    cancel = false;
    calls.clear();
    modal = WhenModal<TfrmPesquisaLista>([](TfrmPesquisaLista* d) { d->btnCancelar->click(); });
    QTest::mouseClick(btp_, Qt::LeftButton);
    EXPECT_EQ(calls, QStringList{QStringLiteral("before")});
}
