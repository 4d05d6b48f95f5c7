// Which addresses the hand-offs give to the desktop. A page or an update notice can put
// anything into a link; only these kinds are opened, anything else counts as no link.
#pragma once

#include <string>

// http:// and https:// addresses: the browser hand-off and the update address.
bool IsWebAddress(const std::string& target);

// What a download manager takes: thunder://, magnet:, ed2k://, ftp:// and web addresses.
bool IsDownloadManagerAddress(const std::string& target);
