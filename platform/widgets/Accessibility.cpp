#include "platform/widgets/Accessibility.h"

#include <QString>
#include <QtGlobal>

namespace zel {

namespace {

QtMessageHandler previousHandler = nullptr;

void dropEmptyTableWarning(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type == QtWarningMsg && message.startsWith(QLatin1String("QAccessibleTable::cellAt: invalid index"))) return;
    if (previousHandler) previousHandler(type, context, message);
}

} // namespace

void KeepEmptyTablesQuiet()
{
    // On top of whatever handles messages now, once.
    const QtMessageHandler current = qInstallMessageHandler(nullptr);
    if (current == &dropEmptyTableWarning) {
        qInstallMessageHandler(current);
        return;
    }
    previousHandler = current;
    qInstallMessageHandler(&dropEmptyTableWarning);
}

} // namespace zel
