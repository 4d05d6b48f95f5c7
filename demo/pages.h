// The HTML the service sends: file pages, login replies, the update notice and
// the index. Every text is UTF-8.
#pragma once

#include <string>

#include "catalogue.h"

// Standard Base64 with padding.
std::string Base64Encode(const std::string& bytes);

// The Thunder form of a download address: "thunder://" + Base64("AA" + address + "ZZ").
std::string ThunderAddressOf(const std::string& downloadUrl);

// The page of a known file; downloadUrl is only used for free-channel files.
std::string FilePageHtml(const DemoFile& file, const std::string& downloadUrl);
// The page of an ID the service does not know: none of the file markers.
std::string MissingFilePageHtml(const std::string& idText);

// The reply to an accepted guest login; it carries the links unless the file
// has none to offer.
std::string LoginAcceptedHtml(const DemoFile& file, const std::string& downloadUrl);
// The reply to a rejected guest login: a notice that sends the browser back.
std::string LoginRejectedHtml(const std::string& fileIdText);

// The update notice: version, three lines of notes, the release address.
std::string UpdatePageHtml(const std::string& version, const std::string& baseUrl);

// A list of the demo files for a person who opens the service in a browser.
std::string IndexPageHtml();
