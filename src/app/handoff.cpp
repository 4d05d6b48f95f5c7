#include "app/handoff.h"

#include <cctype>
#include <initializer_list>

namespace {

bool StartsWithIgnoringCase(const std::string& text, const std::string& prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
  }
  return true;
}

bool HasControlCharacter(const std::string& text) {
  for (unsigned char c : text) {
    if (c < 0x20 || c == 0x7F) return true;
  }
  return false;
}

// A known scheme prefix followed by something, and no control character anywhere.
bool HasOneOfPrefixes(const std::string& target, std::initializer_list<const char*> prefixes) {
  if (HasControlCharacter(target)) return false;
  for (const char* prefix : prefixes) {
    const std::string p(prefix);
    if (target.size() > p.size() && StartsWithIgnoringCase(target, p)) return true;
  }
  return false;
}

}  // namespace

bool IsWebAddress(const std::string& target) {
  return HasOneOfPrefixes(target, {"http://", "https://"});
}

bool IsDownloadManagerAddress(const std::string& target) {
  return HasOneOfPrefixes(target,
                          {"thunder://", "magnet:", "ed2k://", "ftp://", "http://", "https://"});
}
