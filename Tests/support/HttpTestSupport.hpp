#pragma once

// Loopback servers of the tests see requests as the client sent them.

#include <string>

#include <httplib.h>

// Multipart bodies reach server's handlers whole, as sent, instead of taken apart by the
// library: their Content-Type is parked until SentHeaders puts it back.
void KeepMultipartBodiesWhole(httplib::Server& server);

// The request's headers as the client sent them: the server's own notes (addresses, ports)
// left out, a parked Content-Type back in place.
httplib::Headers SentHeaders(const httplib::Request& request);

// Whether the request's Content-Type was parked (a multipart body).
bool WasMultipart(const httplib::Request& request);

// http://127.0.0.1:<port> where nothing listens: a plain socket bound and closed (a server's
// bind would also listen, and a port listened on but never served stalls instead of refusing).
std::string ClosedLoopbackUrl();
