// The program's web-page client: one blocking HTTP request per call, on libcurl.
// Every text is GBK bytes as received; in/out parameters are the caller's variables
// (a null pointer stands for a caller variable that starts empty and is not read back).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

std::string PageRequestRaw(const std::string& url, int32_t method = 0,
                           const std::string& postText = std::string(),
                           std::string* cookies = nullptr, std::string* newCookies = nullptr,
                           std::string* headers = nullptr, std::string* redirectUrl = nullptr,
                           bool noRedirect = false, std::string* postBytes = nullptr,
                           const std::string& proxy = std::string(),
                           std::string* rawHeaders = nullptr);

// PageRequestRaw, then the body read as UTF-8 and written in code page 936.
std::string PageRequest(const std::string& url, int32_t method = 0,
                        const std::string& postText = std::string(),
                        std::string* cookies = nullptr, std::string* newCookies = nullptr,
                        std::string* headers = nullptr, std::string* redirectUrl = nullptr,
                        bool noRedirect = false, std::string* postBytes = nullptr,
                        const std::string& proxy = std::string(),
                        std::string* rawHeaders = nullptr);

std::string Utf8ToGbk(const std::string& bytes);
std::string MergeCookies(std::string& cookies, std::string& newCookies);
std::string CookieName(const std::string& entry);
bool HasCookieNamed(const std::vector<std::string>& list, const std::string& name);
std::string HeaderValue(const std::string& line);
