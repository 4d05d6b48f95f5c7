// The start-up check for a newer version: reads the update-notice page and, when it
// names another version, tells the user, opens the new version's address and ends the
// program.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

// The body of the update-check thread.
void UpdateCheck();

// The three labelled pieces of the page into latestVersion, updateNotes (one line per
// paragraph) and updateDownloadUrl of AppState.
void ReadUpdateNotice(const std::string& pageText);

// "发现新版本：青杉网盘解析工具" + version + "\r\n\r\n" + notes.
std::string NewVersionMessage(const std::string& latestVersion, const std::string& notes);

// Applies each pair (find text → replacement) in turn with the text replacement, all
// with the same count, start position and case flag; a pair with an empty find text
// changes nothing.
std::string ReplaceMany(
    const std::string& text, std::optional<int32_t> count, std::optional<int32_t> startPos,
    std::optional<bool> caseSensitive, const std::string& find1, const std::string& replacement1,
    const std::string& find2 = std::string(), const std::string& replacement2 = std::string(),
    const std::string& find3 = std::string(), const std::string& replacement3 = std::string(),
    const std::string& find4 = std::string(), const std::string& replacement4 = std::string(),
    const std::string& find5 = std::string(), const std::string& replacement5 = std::string());
