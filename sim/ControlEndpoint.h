#pragma once

#include <string>

#include "sim/ChipHost.h"

namespace pellion::sim {

// The control endpoint of pellion-sim, for tests and demos: a Unix socket at a path, one text
// command a line, one answer line each ("ok ..." or "error: ..."). K is a socket's index.
//   lines K    ok dtr=0|1 rts=0|1 reset=0|1 boot0=0|1 mode=bootloader|application|reset|empty
//   state K    ok {the chip's one-line summary}
//   replace K  ok sequence=N uid=HEX   a fresh chip takes the socket
//   remove K   ok                      the socket is empty: nothing answers
//   insert K   ok sequence=N uid=HEX   a fresh chip in the empty socket
std::string answerControlCommand(ChipHost& host, const std::string& line);

// Serves the endpoint at `path` through the host's side channels; returns an error text, empty
// on success.
std::string serveControlEndpoint(ChipHost& host, const std::string& path);

}  // namespace pellion::sim
