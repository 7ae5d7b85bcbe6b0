#include "app/ModuleLibrary.h"
#include "host/ModuleAbi.h"
#include "platform/data/Exceptions.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace zel;
using zel::app::TModuleLibrary;

namespace {

class ModuleLoaderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir_.isValid());
        log_ = dir_.filePath(QStringLiteral("module.log"));
        qputenv("ZEL_TEST_MODULE_LOG", log_.toLocal8Bit());
    }
    QStringList logLines() const
    {
        QFile f(log_);
        if (!f.open(QIODevice::ReadOnly | QIODevice::Text)) return {};
        return QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    QTemporaryDir dir_;
    QString log_;
};

} // namespace

TEST_F(ModuleLoaderTest, AModuleIsInitialisedOnLoadAndFinalisedOnUnload)
{
    TModuleLibrary module(QStringLiteral(ZEL_TEST_MODULE_GOOD));
    QString error;
    ASSERT_TRUE(module.Load(error)) << error.toStdString();
    EXPECT_TRUE(module.Loaded());
    ASSERT_TRUE(module.Load(error)); // a second load is a no-op
    module.IniProc({Variant(false), Variant(QStringLiteral("0001")), Variant(QStringLiteral("0000000012")),
                    Variant(QStringLiteral("05/01/2026")), Variant(QStringLiteral("10/01/2026"))});
    // The entry's failures come back across the boundary as values and are
    // raised again on the shell's side, each as what it was.
    EXPECT_THROW(module.IniProc({Variant(QStringLiteral("talvez")), Variant(), Variant(), Variant(), Variant()}),
                 EConvertError);
    try {
        module.IniProc({Variant(true)});
        ADD_FAILURE() << "four parameters too few were accepted";
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("IniProc espera 5 parâmetros."));
    }
    try {
        module.IniProc({Variant(true), Variant("falha"), Variant(""), Variant(""), Variant("")});
        ADD_FAILURE() << "a failing entry succeeded";
    } catch (const EAbort&) {
        ADD_FAILURE() << "a failure came back as the silent abort";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("disco cheio"));
    }
    EXPECT_THROW(module.IniProc({Variant(true), Variant("aborta"), Variant(""), Variant(""), Variant("")}), EAbort);
    module.Unload();
    EXPECT_FALSE(module.Loaded());
    module.Unload(); // harmless
    EXPECT_EQ(logLines(), (QStringList{QStringLiteral("initialize"),
                                       QStringLiteral("IniProc false|0001|0000000012|05/01/2026|10/01/2026|"),
                                       QStringLiteral("finalize")}));
    EXPECT_THROW(module.IniProc({}), Exception);
}

TEST_F(ModuleLoaderTest, BrokenModulesAreReportedClearly)
{
    struct Case {
        QString path;
        QString expected;
    };
    QFile notALibrary(dir_.filePath(QStringLiteral("libTexto.so")));
    ASSERT_TRUE(notALibrary.open(QIODevice::WriteOnly));
    notALibrary.write("isto não é uma biblioteca\n");
    notALibrary.close();
    const Case cases[] = {
        {dir_.filePath(QStringLiteral("libPKG_NAO_EXISTE.so")),
         QStringLiteral("O módulo \"libPKG_NAO_EXISTE.so\" não foi encontrado")},
        {notALibrary.fileName(), QStringLiteral("Não foi possível carregar o módulo \"libTexto.so\": ")},
        {QStringLiteral(ZEL_TEST_MODULE_NO_INIPROC), QStringLiteral("não exporta a entrada IniProc.")},
        {QStringLiteral(ZEL_TEST_MODULE_INIT_FAILS),
         QStringLiteral(
             "Falha ao iniciar o módulo \"libzel_test_module_init_fails.so\": tabela de parâmetros ausente")},
        // Refused before any other entry is called (those would abort).
        {QStringLiteral(ZEL_TEST_MODULE_OTHER_VERSION),
         QStringLiteral("O módulo \"libzel_test_module_other_version.so\" foi feito para a versão %1 da interface "
                        "de módulos; esta aplicação usa a versão %2.")
             .arg(kZelModuleAbiVersion + 1)
             .arg(kZelModuleAbiVersion)},
        {QStringLiteral(ZEL_TEST_MODULE_NO_VERSION),
         QStringLiteral("O módulo \"libzel_test_module_no_version.so\" não informa a versão da interface de módulos.")},
    };
    for (const Case& c : cases) {
        TModuleLibrary module(c.path);
        QString error;
        EXPECT_FALSE(module.Load(error)) << c.path.toStdString();
        EXPECT_FALSE(module.Loaded());
        EXPECT_TRUE(error.contains(c.expected)) << error.toStdString();
    }
}
