// Conversions between UTF-8 and code page 936 (GBK), as the Windows conversions do them.
// They happen only at the edge of the core: page bodies, control texts, paths, shell
// arguments and environment values.
#pragma once

#include <string>

// UTF-8 bytes to GBK text: each invalid UTF-8 sequence becomes U+FFFD, a character
// without a GBK form becomes "?", and the result ends at its first zero byte.
std::string Utf8BytesToGbk(const std::string& utf8);

// GBK text to UTF-8: a byte sequence that is not GBK becomes U+FFFD.
std::string GbkToUtf8(const std::string& gbk);

// UTF-8 to GBK without cutting at zero bytes (for literal tables in tests and for edges).
std::string Utf8ToGbkText(const std::string& utf8);
