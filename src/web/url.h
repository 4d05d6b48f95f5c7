// Splitting a web address into the pieces the HTTP layer takes separately.
// Addresses are used as the callers built them: nothing is validated or decoded.
#pragma once

#include <cstdint>
#include <string>

// The host, lower-cased; with ":" and the port only when keepPort is true. An address
// without a scheme counts as an http address.
std::string UrlHost(const std::string& address, bool keepPort = false);

// The number after the last ":" of the host, else 443 for https addresses and 80 otherwise.
int32_t UrlPort(const std::string& address);

// The path and query from the first "/" after the host, in the address's own letter case;
// "/" when the host is not followed by one.
std::string UrlPath(const std::string& address);
