#pragma once

// Internal to the host library: the gRPC side of the server link.

#include "host/AppServer.h"
#include "host/NetConnection.h"

#include <grpcpp/channel.h>
#include <grpcpp/support/status.h>
#include <memory>

namespace zel::grpclink {

// The certificates that a TLS server's certificate must chain to; empty
// (the default) = plain connections.
void SetTlsRoots(const QByteArray& pem);
bool TlsEnabled();
// A channel to host:port with the message limits raised for long lists,
// over TLS when roots are set.
std::shared_ptr<grpc::Channel> MakeChannel(const QString& host, int port);
// Waits (off the user-interface thread) until the channel is connected;
// false when it was not within the timeout. *refused tells a server that
// refused or dropped the connection from one that never answered.
bool WaitConnected(const std::shared_ptr<grpc::Channel>& channel, int timeoutMs, bool* refused = nullptr);
// Makes a channel that failed to connect try again at once instead of after
// its backoff, and waits up to waitMs for the attempt to start. Runs off the
// user-interface thread.
void ReconnectIfFailing(grpc::Channel& channel, int waitMs);
// The failure to raise for a status that is not OK.
ENetError StatusError(const grpc::Status& status, const QString& what, const QString& address, int timeoutMs);

// "Zel08100.rdmIncPed" over a channel; every call reads its deadline from
// *timeoutMs (the connection's CallTimeoutMs, which outlives the object).
std::unique_ptr<IrdmIncPed> MakeRdmIncPed(std::shared_ptr<grpc::Channel> channel, QString address,
                                          const int* timeoutMs);

} // namespace zel::grpclink
