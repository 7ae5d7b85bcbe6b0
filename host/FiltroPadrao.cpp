#include "host/FiltroPadrao.h"

#include "host/Application.h"
#include "host/Dialogs.h"
#include "host/Login.h"
#include "platform/data/Exceptions.h"
#include "platform/data/Guard.h"
#include "platform/data/Packet.h"
#include "platform/widgets/DateEditPlus.h"
#include "platform/widgets/FormFocus.h"
#include "platform/widgets/MaskEdit.h"
#include "platform/widgets/Scaling.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QMenu>
#include <QSettings>
#include <QShowEvent>
#include <QStandardPaths>
#include <QStyle>

namespace zel {

namespace {

QString& optionsFile()
{
    static QString path;
    return path;
}

// The controls whose values are options: the criteria, by object name.
QList<QWidget*> optionControls(QWidget* box)
{
    QList<QWidget*> out;
    for (QWidget* w : box->findChildren<QWidget*>()) {
        if (w->objectName().isEmpty()) continue;
        if (dynamic_cast<TEdit*>(w) || qobject_cast<QCheckBox*>(w) || dynamic_cast<TMaskEdit*>(w) ||
            dynamic_cast<TDateEditPlus*>(w) || dynamic_cast<TRadioButton*>(w))
            out << w;
    }
    return out;
}

} // namespace

TfrmFiltroPadrao::TfrmFiltroPadrao(QWidget* parent, const QString& name) : QDialog(parent)
{
    setObjectName(name);
    MarkControl(this);
    setModal(true);
    setSizeGripEnabled(false);

    grbFiltroPadrao = new TGroupBox(this, QStringLiteral("grbFiltroPadrao"));
    SetAlign(grbFiltroPadrao, TAlign::alClient);
    SetTabOrder(grbFiltroPadrao, 0);

    panMenu = new TPanel(this, QStringLiteral("panMenu"));
    SetAlign(panMenu, TAlign::alRight);
    SetBounds(panMenu, 341, 0, 55, 172);
    SetTabOrder(panMenu, 1);
    panBotoes = new TPanel(panMenu, QStringLiteral("panBotoes"));
    panBotoes->setBevelOuter(TBevelCut::bvNone);
    SetAlign(panBotoes, TAlign::alClient);

    auto button = [this](const char* name, int top, QStyle::StandardPixmap glyph, const QString& hint) {
        auto* b = new TButtonFlat(panBotoes, QString::fromLatin1(name));
        SetBounds(b, 6, top, 42, 36);
        b->setFlat(true);
        b->setGlyph(QApplication::style()->standardIcon(glyph).pixmap(22, 22));
        SetHint(b, hint);
        SetShowHint(b, true);
        return b;
    };
    sbtConfirma = button("sbtConfirma", 4, QStyle::SP_DialogApplyButton, QStringLiteral("Confirmar"));
    btfLoadOpc = button("btfLoadOpc", 44, QStyle::SP_DialogOpenButton, QStringLiteral("Carregar opções"));
    btfSaveOpc = button("btfSaveOpc", 84, QStyle::SP_DialogSaveButton, QStringLiteral("Salvar opções"));
    sbtFechar = button("sbtFechar", 124, QStyle::SP_DialogCloseButton, QStringLiteral("Fechar"));

    lblCodTela = new TLabel(panMenu, QStringLiteral("lblCodTela"));
    lblCodTela->setAutoSize(false);
    SetFont(lblCodTela, TFont(QStringLiteral("MS Sans Serif"), -11, fsBold));
    lblCodTela->setAlignment(Qt::AlignCenter);
    SetBounds(lblCodTela, 2, 158, 52, 13);

    ppmOpcoes = new QMenu(this);
    ppmOpcoes->setObjectName(QStringLiteral("ppmOpcoes"));
    mnuCarregarOpcoes = ppmOpcoes->addAction(QStringLiteral("Carregar opções"));
    mnuCarregarOpcoes->setObjectName(QStringLiteral("mnuCarregarOpcoes"));
    mnuSalvarOpcoes = ppmOpcoes->addAction(QStringLiteral("Salvar opções"));
    mnuSalvarOpcoes->setObjectName(QStringLiteral("mnuSalvarOpcoes"));
    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    grbFiltroPadrao->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(grbFiltroPadrao, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& p) { ppmOpcoes->popup(grbFiltroPadrao->mapToGlobal(p)); });

    cdsCarregaOpcoes.AddField(QStringLiteral("CDCONTROLE"), TFieldType::ftString, 60);
    cdsCarregaOpcoes.AddField(QStringLiteral("VALOR"), TFieldType::ftString, 250);

    sbtConfirma->OnClick = [](QObject*) {};
    btfLoadOpc->OnClick = [this](QObject* s) { btfLoadOpcClick(s); };
    btfSaveOpc->OnClick = [this](QObject* s) { btfSaveOpcClick(s); };
    sbtFechar->OnClick = [this](QObject*) { Close(); };
    connect(mnuCarregarOpcoes, &QAction::triggered, this, [this] { Guarded([this] { btfLoadOpcClick(btfLoadOpc); }); });
    connect(mnuSalvarOpcoes, &QAction::triggered, this, [this] { Guarded([this] { btfSaveOpcClick(btfSaveOpc); }); });
    installEventFilter(this);
    setClientSize(396, 172);
}

TfrmFiltroPadrao::~TfrmFiltroPadrao() = default;

void TfrmFiltroPadrao::setClientSize(int width, int height)
{
    designClient_ = QSize(width, height);
    setFixedSize(ScaleDesign(width, scale_), ScaleDesign(height, scale_));
    Realign(this);
}

void TfrmFiltroPadrao::ScaleBy(double ratio)
{
    ScaleControls(this, ratio);
    scale_ *= ratio;
    setClientSize(designClient_.width(), designClient_.height());
}

void TfrmFiltroPadrao::DoCreate()
{
    ScaleBy(DesignScale());
    Guarded([this] { FormCreate(this); });
}

int TfrmFiltroPadrao::ShowModal()
{
    activatedThisShowing_ = false;
    UpdateTabOrder(this);
    return exec();
}

bool TfrmFiltroPadrao::Close()
{
    return close() || !isVisible();
}

void TfrmFiltroPadrao::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (event->spontaneous() || activatedThisShowing_) return;
    // Owned by the application, not by a window: it appears over the main form.
    if (!parentWidget() && MainForm()) {
        const QRect over = MainForm()->frameGeometry();
        move(over.center() - rect().center());
    }
    activatedThisShowing_ = true;
    Guarded([this] { FormActivate(this); });
}

void TfrmFiltroPadrao::done(int result)
{
    if (closing_) return;
    TCloseAction action = TCloseAction::caHide;
    closing_ = true;
    const bool ok = Guarded([&] { FormClose(this, action); });
    closing_ = false;
    if (!ok || action == TCloseAction::caNone) return;
    activatedThisShowing_ = false;
    QDialog::done(result);
    if (action == TCloseAction::caFree) deleteLater();
}

bool TfrmFiltroPadrao::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == this && event->type() == QEvent::Resize)
        lblCodTela->move(lblCodTela->x(), panMenu->height() - lblCodTela->height() - 2);
    return QDialog::eventFilter(watched, event);
}

// ---- saved options --------------------------------------------------------------

void TfrmFiltroPadrao::SetOptionsFile(const QString& path)
{
    optionsFile() = path;
}

QString TfrmFiltroPadrao::OptionsFile()
{
    if (!optionsFile().isEmpty()) return optionsFile();
    const QString dir = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
    return QDir(dir.isEmpty() ? QDir::homePath() : dir).filePath(QStringLiteral("opcoes-filtro.ini"));
}

QString TfrmFiltroPadrao::optionsGroup() const
{
    const QString code = lblCodTela->Caption().isEmpty() ? objectName() : lblCodTela->Caption();
    return code + QLatin1Char('/') + (Operador().isEmpty() ? QStringLiteral("_") : Operador());
}

bool TfrmFiltroPadrao::HasSavedOptions() const
{
    QSettings s(OptionsFile(), QSettings::IniFormat);
    s.beginGroup(optionsGroup());
    return !s.childKeys().isEmpty();
}

void TfrmFiltroPadrao::loadOptionsList()
{
    QSettings s(OptionsFile(), QSettings::IniFormat);
    s.beginGroup(optionsGroup());
    PacketWriter w;
    w.field("CDCONTROLE", TFieldType::ftString, 60).field("VALOR", TFieldType::ftString, 250);
    for (const QString& k : s.childKeys())
        w.text(k.left(60)).text(s.value(k).toString().left(250));
    cdsCarregaOpcoes.SetData(w.Take());
}

void TfrmFiltroPadrao::btfLoadOpcClick(QObject*)
{
    loadOptionsList();
    for (cdsCarregaOpcoes.First(); !cdsCarregaOpcoes.Eof(); cdsCarregaOpcoes.Next()) {
        const QString name = cdsCarregaOpcoes.FieldByName(QStringLiteral("CDCONTROLE"))->AsString();
        const QString value = cdsCarregaOpcoes.FieldByName(QStringLiteral("VALOR"))->AsString();
        QWidget* w = grbFiltroPadrao->findChild<QWidget*>(name);
        if (!w) continue;
        if (auto* e = dynamic_cast<TMaskEdit*>(w))
            e->setText(value);
        else if (auto* d = dynamic_cast<TDateEditPlus*>(w))
            d->setText(value);
        else if (auto* r = dynamic_cast<TRadioButton*>(w)) {
            if (value == QLatin1String("1")) r->setChecked(true);
        } else if (auto* t = dynamic_cast<TEdit*>(w))
            t->setText(value);
        else if (auto* c = qobject_cast<QCheckBox*>(w))
            c->setChecked(value == QLatin1String("1"));
    }
}

void TfrmFiltroPadrao::btfSaveOpcClick(QObject*)
{
    QSettings s(OptionsFile(), QSettings::IniFormat);
    s.beginGroup(optionsGroup());
    s.remove(QString());
    for (QWidget* w : optionControls(grbFiltroPadrao)) {
        QString value;
        if (auto* e = dynamic_cast<TMaskEdit*>(w))
            value = e->Text();
        else if (auto* d = dynamic_cast<TDateEditPlus*>(w))
            value = d->Text();
        else if (auto* r = dynamic_cast<TRadioButton*>(w))
            value = r->Checked() ? QStringLiteral("1") : QStringLiteral("0");
        else if (auto* t = dynamic_cast<TEdit*>(w))
            value = t->Text();
        else if (auto* c = qobject_cast<QCheckBox*>(w))
            value = c->isChecked() ? QStringLiteral("1") : QStringLiteral("0");
        s.setValue(w->objectName(), value);
    }
    s.endGroup();
    s.sync();
    if (s.status() != QSettings::NoError)
        throw Exception(QStringLiteral("Não foi possível salvar as opções em \"%1\".").arg(OptionsFile()));
}

// ---- base handlers ----------------------------------------------------------------------

void TfrmFiltroPadrao::FormCreate(QObject*) {}

void TfrmFiltroPadrao::FormActivate(QObject*) {}

void TfrmFiltroPadrao::FormClose(QObject*, TCloseAction& action)
{
    action = TCloseAction::caHide;
}

} // namespace zel
