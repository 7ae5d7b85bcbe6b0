#pragma once

#include "host/AppServer.h"
#include "platform/data/Exceptions.h"

#include <QString>

#include <functional>
#include <memory>

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

class TNetConnection;

// Builds the object behind AppServer() from the real gRPC one; tests install
// one to wrap the real object with a fault injector, without touching the
// screens that use the connection.
using AppServerFactory =
    std::function<std::unique_ptr<IrdmIncPed>(std::unique_ptr<IrdmIncPed> real, const TNetConnection& connection)>;

// The socket link of a screen to the application server. Connecting runs
// BeforeConnect (which usually sets Host and Port from the login), opens a
// gRPC channel to Host:Port and waits for it. With ThrowException true a
// failed connect raises ENetError; with false it leaves the link
// disconnected, keeps the reason in LastError(), and every later call
// through AppServer() raises instead. Every call carries the login's session
// token and a deadline, and runs while the user-interface thread keeps
// repainting (RunWhileWaiting).
class TNetConnection {
public:
    using TNotifyEvent = std::function<void(TNetConnection* sender)>;

    explicit TNetConnection(const QString& name = {});
    ~TNetConnection();
    TNetConnection(const TNetConnection&) = delete;
    TNetConnection& operator=(const TNetConnection&) = delete;

    QString Name;
    QString ServerName; // remote object, e.g. "Zel08100.rdmIncPed"
    QString Host;
    int Port = 0;
    bool ThrowException = true;
    int CallTimeoutMs;    // deadline of every call (read at each call); DefaultCallTimeoutMs() at creation
    int ConnectTimeoutMs; // how long Connect waits for the server; DefaultConnectTimeoutMs()

    TNotifyEvent BeforeConnect;
    TNotifyEvent AfterConnect;
    TNotifyEvent BeforeDisconnect;
    TNotifyEvent AfterDisconnect;

    bool Connected() const { return appServer_ != nullptr; }
    void setConnected(bool connected) { connected ? Connect() : Disconnect(); }
    void Connect();
    void Disconnect();
    void Open() { Connect(); }
    void Close() { Disconnect(); }

    // The remote object's methods. A link whose Connect failed connects again
    // first; raises ENetError when it is still not connected.
    IrdmIncPed& AppServer();
    // Why the last Connect failed; empty after a successful one.
    const QString& LastError() const { return lastError_; }

    static void SetAppServerFactory(AppServerFactory factory);
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
    std::unique_ptr<IrdmIncPed> appServer_;
    QString lastError_;
    bool wanted_ = false; // Connect was asked for, and no Disconnect since
};

} // namespace zel
