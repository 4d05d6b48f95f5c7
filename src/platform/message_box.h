// Message boxes as the core asks for them: a text, a title and Windows-style flags.
// The GUI bridge installs the handler that shows them on the GUI thread; tests install
// a recorder. Texts are GBK.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

constexpr int32_t kMbOk = 0;
constexpr int32_t kMbYesNo = 4;
constexpr int32_t kMbIconQuestion = 32;
constexpr int32_t kMbIconInformation = 64;

constexpr int32_t kIdOk = 1;
constexpr int32_t kIdYes = 6;
constexpr int32_t kIdNo = 7;

// Shows the box and waits until the user closes it; returns the button pressed.
// An empty title shows the default title "信息：".
int32_t ShowMessageBox(const std::string& text, const std::string& title, int32_t style);

// The text, title (default applied) and flags of a box that is to be shown.
using MessageBoxHandler =
    std::function<int32_t(const std::string& text, const std::string& title, int32_t style)>;
void SetMessageBoxHandler(MessageBoxHandler handler);

// The default title, in GBK.
std::string DefaultMessageBoxTitle();
