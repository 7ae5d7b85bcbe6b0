#pragma once

#include "platform/data/Exceptions.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

namespace grpc {
class Channel;
class ClientContext;
class Status;
} // namespace grpc

namespace zel {

// A failure of the link to the application server (not an error result of a
// method, which comes back as a result). The message is for the user.
class ENetError : public Exception {
public:
    // Status codes of the transport; Other for failures before any call.
    enum Kind { NotConnected, Unavailable, DeadlineExceeded, Unauthenticated, UnknownServer, Other };
    ENetError(Kind kind, QString message) : Exception(std::move(message)), kind_(kind) {}
    Kind kind() const { return kind_; }

private:
    Kind kind_;
};

// The socket link of a screen to the application server. The host offers
// the connection; each module owns its remote object's contract (its
// generated stub and its calls, see host/ServiceStub.h) and names the
// service it asks for in ServerName, which it registered first
// (RegisterService).
//
// Connecting runs BeforeConnect (which usually sets Host and Port from the
// login), opens a gRPC channel to the logical server that Host:Port belongs
// to and waits for it. With ThrowException true a failed connect raises
// ENetError; with false it leaves the link disconnected, keeps the reason in
// LastError(), and every later call raises instead. Every call carries the
// login's session token and a deadline, and runs while the user-interface
// thread keeps repainting (RunWhileWaiting).
class TNetConnection {
public:
    using TNotifyEvent = std::function<void(TNetConnection* sender)>;

    explicit TNetConnection(const QString& name = {});
    ~TNetConnection();
    TNetConnection(const TNetConnection&) = delete;
    TNetConnection& operator=(const TNetConnection&) = delete;

    QString Name;
    QString ServerName; // the remote object's service, as its module registered it
    QString Host;
    int Port = 0;
    bool ThrowException = true;
    int CallTimeoutMs;    // deadline of every call (read at each call); DefaultCallTimeoutMs() at creation
    int ConnectTimeoutMs; // how long Connect waits for the server; DefaultConnectTimeoutMs()

    TNotifyEvent BeforeConnect;
    TNotifyEvent AfterConnect;
    TNotifyEvent BeforeDisconnect;
    TNotifyEvent AfterDisconnect;

    bool Connected() const { return channel_ != nullptr; }
    void setConnected(bool connected) { connected ? Connect() : Disconnect(); }
    void Connect();
    void Disconnect();
    void Open() { Connect(); }
    void Close() { Disconnect(); }

    // The channel of a connected link. A link whose Connect failed connects
    // again first; raises ENetError when it is still not connected.
    std::shared_ptr<grpc::Channel> Channel();
    // Counts the successful connects: a module's objects built on the link
    // are built again when it changes.
    int Generation() const { return generation_; }
    // The addresses of the connected logical server, for messages.
    const QString& Address() const { return address_; }
    // Why the last Connect failed; empty after a successful one.
    const QString& LastError() const { return lastError_; }

    // Runs one call on the link's channel: the context carries the session
    // token and the deadline; the call runs off the user-interface thread
    // under the wait rule; a status that is not OK raises ENetError (and is
    // told to the link status observer), an OK one clears the notice.
    // `method` names the call in messages.
    void Call(const char* method, const std::function<grpc::Status(grpc::ClientContext&)>& call);

    // A module declares its service before its links connect to it: the
    // full name ("Package.Service") and the methods that only read, which
    // are tried again on another server process when the one that had the
    // call went away. Sends are never tried again: whether a send that was
    // cut off was stored is for the operator to see, never guessed.
    static void RegisterService(const QString& service, const QStringList& readMethods);
    static bool ServiceRegistered(const QString& service);

    // Told on the user-interface thread when the state of the calls changes:
    // the failure's text when a call fails on its way to the server (down, no
    // answer in time, session refused), an empty text when a call gets
    // through again. The shell shows it, so that a failure that a screen
    // swallows still reaches the operator.
    using LinkStatusObserver = std::function<void(const QString& failure)>;
    static void SetLinkStatusObserver(LinkStatusObserver observer);
    // What every call reports: its failure's text, or empty when it got through.
    static void ReportLinkStatus(const QString& failure);
    // Connects (and logs in) over TLS, trusting the given PEM certificates;
    // an empty text returns to plain connections.
    static void SetTlsRootCertificates(const QByteArray& pem);
    static int DefaultCallTimeoutMs();
    static void SetDefaultCallTimeoutMs(int ms);
    static int DefaultConnectTimeoutMs();
    static void SetDefaultConnectTimeoutMs(int ms);

private:
    std::shared_ptr<grpc::Channel> channel_;
    QString address_;
    QString lastError_;
    int generation_ = 0;
    bool wanted_ = false; // Connect was asked for, and no Disconnect since
};

} // namespace zel
