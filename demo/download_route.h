// The download route GET /down/<id>/<token>[?fault=<f>], served on the raw
// socket: the head goes out in one write, the body in large writes of content
// computed on the fly, and test faults bend the answer on purpose.
#pragma once

#include <string>

#include "fd_stream.h"
#include "service_state.h"

// True when a request line asks for the download route.
bool IsDownloadRequestLine(const std::string& firstLine);

// Reads the request head from stream and answers it; the connection is closed
// by the caller afterwards.
void ServeDownload(FdStream& stream, ServiceState& state);
