#pragma once

#include "platform/data/Exceptions.h"
#include "proto/datapacket.pb.h"

namespace zel {

// The failure CheckResultServ raises for an error result. It is an EAbort, so
// that the guards up the stack stay silent (the checker has shown the
// server's message already) while everyone who undoes work on a failure
// still sees one.
class EResultServ : public EAbort {
public:
    EResultServ(int code, QString serverMessage) : code_(code), serverMessage_(std::move(serverMessage)) {}
    int Code() const { return code_; }
    const QString& ServerMessage() const { return serverMessage_; }

private:
    int code_;
    QString serverMessage_;
};

// Checks a server result. A data result yields its packet. An error result
// shows the server's message in an error box when show is true (what every
// caller passes) and raises EResultServ. A result that carries neither is a
// broken answer: it raises an EResultServ as well, after showing why.
// helpCtx is the help context of the error box.
const zel::data::DataPacket& CheckResultServ(const zel::data::Result& result, bool show, int helpCtx);
// The same for a temporary result: the packet is moved out of it.
zel::data::DataPacket CheckResultServ(zel::data::Result&& result, bool show, int helpCtx);

} // namespace zel
