// The shell over TLS with a private authority made by zel-server tls init:
// given that authority it logs in; given another one it refuses the server
// and says that the certificate is not trusted.
#include "tests/support/ChildProcess.h"
#include "tests/support/ServerProcess.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

std::string TlsInit(const QTemporaryDir& dir, const char* name)
{
    const std::string folder = dir.filePath(QString::fromLatin1(name)).toStdString();
    zel::test::ChildProcess c;
    c.mergeErrors();
    std::string error;
    EXPECT_TRUE(c.Start({zel::test::ServerExecutable().toStdString(), "tls", "init", folder, "--name", "localhost",
                         "--name", "127.0.0.1"},
                        error))
        << error;
    const std::string out = c.ReadAll();
    EXPECT_EQ(c.Wait(), 0) << out;
    EXPECT_NE(out.find("--tls-ca"), std::string::npos) << out; // how the shells get the authority
    return folder;
}

TEST(TlsShell, TrustsTheServerOfItsAuthorityOnlyAndSaysWhyNot)
{
    ZEL_SKIP_WITHOUT_SERVER();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string ours = TlsInit(dir, "ours");
    const std::string other = TlsInit(dir, "other");
    zel::test::ServerProcess server;
    ASSERT_TRUE(
        zel::test::Started(server, {QStringLiteral("--tls-cert"), QString::fromStdString(ours + "/server.crt"),
                                    QStringLiteral("--tls-key"), QString::fromStdString(ours + "/server.key")}));
    const QString passwordFile = dir.filePath(QStringLiteral("senha"));
    {
        QFile f(passwordFile);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("demo\n");
    }
    const auto runShell = [&](const std::string& ca, std::string& out) {
        zel::test::ChildProcess shell;
        shell.setEnvironment("QT_QPA_PLATFORM", "offscreen");
        shell.mergeErrors();
        std::string error;
        EXPECT_TRUE(shell.Start({ZEL_HOST_EXE, "--server", server.address().toStdString(), "--operator", "0001",
                                 "--password-file", passwordFile.toStdString(), "--module", ZEL_TEST_MODULE_GOOD,
                                 "--tls-ca", ca, "--screenshot", dir.filePath(QStringLiteral("s.png")).toStdString(),
                                 "--screenshot-delay", "100", "--quit-after-screenshot"},
                                error))
            << error;
        out = shell.ReadAll(std::chrono::seconds(60));
        return shell.Wait(std::chrono::seconds(30));
    };
    std::string out;
    EXPECT_EQ(runShell(ours + "/ca.crt", out), 0) << out;
    EXPECT_NE(out.find("screenshot saved to"), std::string::npos) << out;

    EXPECT_EQ(runShell(other + "/ca.crt", out), 2) << out;
    EXPECT_NE(out.find("apresentou um certificado que não é de confiança"), std::string::npos) << out;
    EXPECT_EQ(out.find("screenshot saved to"), std::string::npos) << out;
}

} // namespace
