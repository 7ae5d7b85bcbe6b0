#include "host/ResultCheck.h"

#include "host/Dialogs.h"

namespace zel {
namespace {

void check(const zel::data::Result& result, bool show, int helpCtx)
{
    switch (result.outcome_case()) {
    case zel::data::Result::kData:
        return;
    case zel::data::Result::kError: {
        const QString text = QString::fromStdString(result.error().message());
        if (show)
            ShowError(text.isEmpty() ? QStringLiteral("O servidor de aplicação recusou a operação.") : text, helpCtx);
        throw EResultServ(result.error().code(), text);
    }
    case zel::data::Result::OUTCOME_NOT_SET:
        break;
    }
    const QString text = QStringLiteral("O servidor de aplicação devolveu uma resposta vazia.");
    if (show) ShowError(text, helpCtx);
    throw EResultServ(0, text);
}

} // namespace

const zel::data::DataPacket& CheckResultServ(const zel::data::Result& result, bool show, int helpCtx)
{
    check(result, show, helpCtx);
    return result.data();
}

zel::data::DataPacket CheckResultServ(zel::data::Result&& result, bool show, int helpCtx)
{
    check(result, show, helpCtx);
    return std::move(*result.mutable_data());
}

} // namespace zel
