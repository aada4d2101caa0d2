#pragma once

#include <memory>
#include <string>

#include "sim/SocketService.h"
#include "sim/VirtualChip.h"

namespace pellion::sim {

// Serves the line endpoint of `chip`: the abstract socket named after its device path through
// which a host sets DTR and RTS (format: serial/posix/PtyLineChannel.h), until the chip's line
// closes for good. Returns an error text, empty on success.
std::string serveLineEndpoint(SocketService& service, std::shared_ptr<VirtualChip> chip);

}  // namespace pellion::sim
