// The host library serves any module: it offers the connection, and each
// module owns its remote contract. Nothing in the host's sources may name a
// module's service or one of its methods.

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <QStringList>

#include <gtest/gtest.h>

namespace {

const QString kSource = QStringLiteral(ZEL_SOURCE_DIR);

// "Package.Service" and every rpc of the modules' contracts: every service
// of proto/ except the host's own login.
QStringList moduleContractNames()
{
    QStringList names;
    const QRegularExpression package(QStringLiteral(R"(^\s*package\s+([\w.]+)\s*;)"),
                                     QRegularExpression::MultilineOption);
    const QRegularExpression service(QStringLiteral(R"(^\s*service\s+(\w+))"), QRegularExpression::MultilineOption);
    const QRegularExpression rpc(QStringLiteral(R"(^\s*rpc\s+(\w+)\s*\()"), QRegularExpression::MultilineOption);
    for (const QFileInfo& f : QDir(kSource + QStringLiteral("/proto")).entryInfoList({QStringLiteral("*.proto")})) {
        if (f.fileName() == QLatin1String("login.proto")) continue;
        QFile file(f.filePath());
        if (!file.open(QIODevice::ReadOnly)) continue;
        const QString text = QString::fromUtf8(file.readAll());
        const QString pkg = package.match(text).captured(1);
        for (auto m = service.globalMatch(text); m.hasNext();) {
            const QString s = m.next().captured(1);
            names << s << pkg + QLatin1Char('.') + s;
        }
        for (auto m = rpc.globalMatch(text); m.hasNext();)
            names << m.next().captured(1);
        if (!pkg.isEmpty()) names << pkg;
    }
    names.removeDuplicates();
    return names;
}

} // namespace

TEST(HostLibrary, NamesNoModulesServiceNorMethod)
{
    const QStringList names = moduleContractNames();
    // The review module's contract is among them: the scan reads the files.
    ASSERT_TRUE(names.contains(QStringLiteral("Zel08100.rdmIncPed"))) << names.join(u' ').toStdString();
    ASSERT_TRUE(names.contains(QStringLiteral("GetIncPed")));

    QStringList found;
    QDirIterator it(kSource + QStringLiteral("/host"), {QStringLiteral("*.h"), QStringLiteral("*.cpp")}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile file(it.next());
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << file.fileName().toStdString();
        const QString text = QString::fromUtf8(file.readAll());
        for (const QString& name : names) {
            const QRegularExpression word(QStringLiteral("\\b%1\\b").arg(QRegularExpression::escape(name)));
            if (word.match(text).hasMatch()) found << QFileInfo(file).fileName() + QLatin1Char(':') + name;
        }
    }
    EXPECT_TRUE(found.isEmpty()) << found.join(u' ').toStdString();
}
