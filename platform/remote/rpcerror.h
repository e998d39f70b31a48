#pragma once

#include <QString>

namespace qor {

// A failure a method reports to its caller: a JSON-RPC error with a Portuguese message.
struct RpcError
{
    int code;
    QString message;
};

// JSON-RPC's own codes and ours beside them.
enum RpcErrorCode {
    RpcParseError = -32700, // not JSON, or a frame header the stream cannot get past
    RpcInvalidRequest = -32600, // not a JSON-RPC 2.0 request, or over the size limit
    RpcMethodNotFound = -32601,
    RpcInvalidParams = -32602,
    RpcInternalError = -32603,
    RpcNotAuthenticated = -32001,
    RpcShuttingDown = -32002, // refused because the server is stopping
    RpcConflict = -32010, // row changed or deleted by someone else
    RpcDuplicate = -32011, // unique key violated
    RpcDatabaseError = -32020,
};

} // namespace qor
