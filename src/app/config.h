// The two endpoints of the file service: compiled-in defaults, overridable at run time
// by QINGSHAN_SERVICE_HOST and QINGSHAN_UPDATE_URL. Both are GBK texts.
#pragma once

#include <string>

std::string ServiceHost();    // scheme and host, no path, e.g. http://127.0.0.1:18930
std::string UpdatePageUrl();  // the full address of the update-notice page
