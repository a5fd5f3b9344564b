// Whether clients of a server on this machine may be in the middle of a request, read from the
// kernel's socket tables. lbl serve uses it to find a moment when no request is in progress.
#pragma once

#include <string>

namespace lblipp {

// The connections to a server that may be in a request, or about to start one:
//  - those waiting to be accepted (their request comes next);
//  - accepted ones the server still holds that carried data either way within the last `quietMs`,
//    or hold data not yet read or not yet delivered.
// An accepted connection quiet for longer is one a client keeps open between requests, and a
// connection the server has closed is done with. `listen` is the server's listening address: a path
// is its unix socket (whose connections count as long as they are open: the kernel keeps no times
// for them), anything else stands for TCP `port` on every address, IPv4 and IPv6.
// -1 when the tables cannot be read.
int BusyConnections(const std::string& listen, int port, int quietMs);

// The same count for TCP `port` from the text of /proc/net/tcp or /proc/net/tcp6, where a kernel
// without socket diagnostics has its only table: no times there, so every accepted connection still
// open counts.
int BusyConnectionsInTable(const std::string& table, int port);

}  // namespace lblipp
