#pragma once

#include "remote/rpcerror.h"

namespace qor {

// Ends the call in progress with a JSON-RPC error carrying a Portuguese message.
[[noreturn]] inline void failCall(int code, const QString &message)
{
    throw RpcError{code, message};
}

} // namespace qor
