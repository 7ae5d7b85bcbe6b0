#pragma once

// A module's typed calls on its own service over a host connection.

#include "host/NetConnection.h"

#include <grpcpp/channel.h>
#include <grpcpp/client_context.h>
#include <grpcpp/support/status.h>
#include <memory>

namespace zel {

// `Service` is a gRPC-generated service class; the stub is made again when
// the link's channel changes (a reconnect). Each call is one line:
//   Reply r = stub.Call("GetX", &Service::Stub::GetX, request);
template <class Service> class TServiceStub {
public:
    using Stub = typename Service::Stub;

    explicit TServiceStub(TNetConnection& connection) : connection_(connection) {}

    TNetConnection& Connection() const { return connection_; }

    template <class Request, class Response>
    Response Call(const char* method, grpc::Status (Stub::*rpc)(grpc::ClientContext*, const Request&, Response*),
                  const Request& request)
    {
        Stub& s = stub();
        Response response;
        connection_.Call(method, [&](grpc::ClientContext& context) { return (s.*rpc)(&context, request, &response); });
        return response;
    }

private:
    Stub& stub()
    {
        std::shared_ptr<grpc::Channel> channel = connection_.Channel();
        if (channel != channel_) {
            stub_ = Service::NewStub(channel);
            channel_ = std::move(channel);
        }
        return *stub_;
    }

    TNetConnection& connection_;
    std::shared_ptr<grpc::Channel> channel_;
    std::unique_ptr<Stub> stub_;
};

} // namespace zel
