// How many connections to a port of this machine are held open by a process now, read from the
// kernel's socket tables. lbl serve uses it to find a moment when no request is in progress.
#pragma once

namespace lblipp {

// Connections accepted on `port` (IPv4 and IPv6) whose socket is still open: those that are
// established, or closing but not yet closed by their owner. Connections the server has not
// accepted yet, and ones only the kernel still keeps (closed by their owner), do not count.
// -1 when the tables cannot be read.
int OpenConnectionsOnPort(int port);

}  // namespace lblipp
