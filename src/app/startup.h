// Start-up and end of the program, the parts that need no window.
#pragma once

#include <functional>
#include <string>

// The running version, shown in the caption and compared by the update check.
std::string CurrentVersionText();  // "v2.0"

// "青杉网盘解析工具" directly followed by the version, without a blank.
std::string MainWindowCaption(const std::string& version);

// The save-folder file: "青杉_保存路径.txt" in the documents folder, or the name alone
// (relative to the current folder) when no documents folder can be named. GBK.
std::string SaveFolderFilePath();

// The remembered save folder: the file's bytes up to the first zero byte, nothing
// trimmed; empty when the file is missing or unreadable.
std::string ReadSaveFolderFile();

// What the creation of the main window records in AppState: saveFolder and
// currentVersion.
void RecordMainWindowCreation();

// Ends the whole program at once with the code, whatever threads are running: no static
// destructor runs, so no worker meets released state. Tests replace the end.
void EndProgram(int code);
void SetProgramEndHandler(std::function<void(int code)> handler);

// Test switches, honoured only when set in the environment:
// QINGSHAN_TEST_AUTOCLOSE_MESSAGES=1 writes each message box as one line to stderr
// ("qingshan-message: title=... style=... text=...", CR and LF written as \r and \n)
// and answers it with its first button instead of showing it.
void InstallTestSwitches();
