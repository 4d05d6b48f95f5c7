#include "app/startup.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "app/app_state.h"
#include "platform/codepage.h"
#include "platform/files.h"
#include "platform/message_box.h"

namespace {

std::mutex endMutex;
std::function<void(int)>& EndHandler() {
  static auto* handler = new std::function<void(int)>();  // never destroyed
  return *handler;
}

std::string EscapeLineBreaks(const std::string& utf8) {
  std::string out;
  for (char c : utf8) {
    if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\\') {
      out += "\\\\";
    } else {
      out += c;
    }
  }
  return out;
}

int32_t RecordMessageBox(const std::string& text, const std::string& title, int32_t style) {
  std::fprintf(stderr, "qingshan-message: title=%s style=%d text=%s\n",
               EscapeLineBreaks(GbkToUtf8(title)).c_str(), style,
               EscapeLineBreaks(GbkToUtf8(text)).c_str());
  std::fflush(stderr);
  return (style & 0xF) == kMbYesNo ? kIdYes : kIdOk;
}

}  // namespace

std::string CurrentVersionText() {
  return "v2.0";
}

std::string MainWindowCaption(const std::string& version) {
  return Utf8ToGbkText("青杉网盘解析工具") + version;
}

std::string SaveFolderFilePath() {
  std::string folder = DocumentsFolder();
  if (!folder.empty() && folder.back() != '\\' && folder.back() != '/') folder += '\\';
  return folder + Utf8ToGbkText("青杉_保存路径.txt");
}

std::string ReadSaveFolderFile() {
  std::string bytes;
  if (!ReadWholeFile(SaveFolderFilePath(), &bytes)) return {};
  return bytes.substr(0, bytes.find('\0'));  // the text ends at the first zero byte
}

void RecordMainWindowCreation() {
  App().saveFolder.Set(ReadSaveFolderFile());
  App().currentVersion.Set(CurrentVersionText());
}

void SetProgramEndHandler(std::function<void(int)> handler) {
  std::lock_guard<std::mutex> lock(endMutex);
  EndHandler() = std::move(handler);
}

void EndProgram(int code) {
  std::function<void(int)> handler;
  {
    std::lock_guard<std::mutex> lock(endMutex);
    handler = EndHandler();
  }
  if (handler) return handler(code);
  std::fflush(nullptr);
  ::_exit(code);
}

void InstallTestSwitches() {
  const char* autoclose = std::getenv("QINGSHAN_TEST_AUTOCLOSE_MESSAGES");
  if (autoclose && std::string(autoclose) == "1") SetMessageBoxHandler(RecordMessageBox);
}
