#pragma once

// A server link that hands every call on to the real one through one place,
// call(), where a test records or fails it and the benchmark counts it.

#include "review/RdmIncPed.h"

#include <QStringList>

#include <functional>
#include <memory>

namespace zel::test {

// The changed fields of every row of a change packet, one line per row:
// "NRINCONSPED:FIELD=value,..." (dates as "@milliseconds").
QStringList DescribeDelta(const zel::data::ChangePacket& delta);

class TForwardingServer : public zel::IrdmIncPed {
public:
    using Call = std::function<zel::data::Result()>;
    explicit TForwardingServer(std::unique_ptr<zel::IrdmIncPed> real) : real_(std::move(real)) {}

    zel::data::Result GetPedido(const QString& a1, const QString& a2, const QString& a3, const QString& a4,
                                const QString& a5, const zel::TDateTime& a6, const zel::TDateTime& a7,
                                const QString& a8, const zel::TDateTime& a9, const zel::TDateTime& a10,
                                const QString& a11) override;
    zel::data::Result GetIncPed(const QString& f, const QString& p) override;
    zel::data::Result GetItem(const QString& f, const QString& p, const QString& i, const QString& a) override;
    zel::data::Result GetGrupOper(const QString& f, const QString& o) override;
    zel::data::Result GetNrPedido(const QString& f) override;
    zel::data::Result SetIncPed(const zel::data::ChangePacket& d) override;
    zel::data::Result SetItem(const zel::data::ChangePacket& d) override;

protected:
    // Runs for every call: its method, its arguments as texts (a send's
    // rows as DescribeDelta gives them), and the real call.
    virtual zel::data::Result call(const QString& method, const QStringList& args, const Call& real) = 0;

private:
    std::unique_ptr<zel::IrdmIncPed> real_;
};

} // namespace zel::test
