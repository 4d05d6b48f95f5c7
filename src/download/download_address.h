// The pieces of a download address and the request texts built from them. Texts are GBK.
#pragma once

#include <cstdint>

#include "app/text_utils.h"

struct DownloadAddress {
  Text hostValue;  // the "Host: " value: host, or host ":" port in plain decimal
  Text host;       // what Connect is given
  uint16_t port = 80;
  Text requestPath;  // what follows "GET /", already safe for the request line
};

// An address of the form "http://" authority "/" path, authority a host or host:port.
DownloadAddress ParseDownloadAddress(const Text& address);

// Control characters and spaces as %XX, so a path cannot end the request line early.
Text EncodeRequestPath(const Text& path);

Text FreshRequest(const DownloadAddress& address);
Text ResumeRequest(const DownloadAddress& address, int64_t offset);

// The first of "name(1).ext" ... "name(100).ext" in the folder of targetPath that does not
// exist; "(n)" goes before the first "." of the file name, so a.tar.gz gives a(1).tar.gz.
// After 100 taken names the hundredth is used.
Text FreeTargetPath(const Text& targetPath);
