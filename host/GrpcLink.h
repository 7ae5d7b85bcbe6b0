#pragma once

// Internal to the host library: the gRPC side of the server link.

#include "host/NetConnection.h"

#include <QStringList>

#include <grpcpp/channel.h>
#include <grpcpp/support/status.h>
#include <memory>
#include <string>
#include <vector>

namespace zel::grpclink {

// The certificates that a TLS server's certificate must chain to; empty
// (the default) = plain connections.
void SetTlsRoots(const QByteArray& pem);
bool TlsEnabled();
// The gRPC target of one logical application server: a single "host:port"
// (a name with several address records is spread over all of them), or the
// "ipv4:"/"ipv6:" list of several server processes' addresses.
std::string ChannelTarget(const QStringList& addresses);
// A channel to a logical server with the message limits raised for long
// lists, over TLS when roots are set. Calls are spread over its addresses
// (round robin); an address whose process is down is left out until it
// answers again, and a read that fails because its process went away is
// tried again on another. Channels of the process to the same servers share
// their connections; with ownConnections the channel opens its own, as a
// shell on another machine would (the load tool's simulated operators).
std::shared_ptr<grpc::Channel> MakeChannel(const QStringList& addresses, bool ownConnections = false);
std::shared_ptr<grpc::Channel> MakeChannel(const QString& host, int port);
// The addresses of the logical server that host:port belongs to: the
// login's when it is one of them, else host:port alone.
QStringList LogicalServer(const QString& host, int port);
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

// The services that modules declared, and which of their methods only read
// (tried again on another process); channels made afterwards know them.
void RegisterService(const std::string& service, const std::vector<std::string>& readMethods);
bool ServiceRegistered(const std::string& service);

} // namespace zel::grpclink
