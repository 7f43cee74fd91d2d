// The TCP client component 客户1: a blocking connect on the calling thread, read and close
// notifications on the thread that created the component (the UI thread).
#pragma once

#include "text/text.h"

// Raised on the UI thread once per read notification that read at least one byte; `received`
// lives only while the handler runs.
using TcpDataArrivalHandler = void (*)(const Bytes& received);

// Starts Winsock and creates the component's hidden window on the calling thread, which must run
// a message loop. False when either fails. A later call on the same thread only rebinds the
// handler.
bool TcpClientCreate(TcpDataArrivalHandler onDataArrival);
// Drops the current connection (if any), then connects a new TCP socket in blocking mode on the
// calling thread: a dotted IPv4 address is used directly, any other text is looked up by name, an
// empty host fails. The system's connect time-out applies.
bool TcpClientConnect(const Text& host, int port);
// Drops the current connection (if any): once this returns, no data-arrival event of it is
// raised any more, even for data that had already come.
void TcpClientDisconnect();
// Sends all bytes over the current connection, repeating partial sends; false when not
// connected or when a send fails (it never waits for the socket to become writable).
bool TcpClientSend(const Bytes& bytes);
