#include "update/update_check.h"

#include "app/app_state.h"
#include "app/config.h"
#include "app/handoff.h"
#include "app/startup.h"
#include "app/text_utils.h"
#include "platform/codepage.h"
#include "platform/message_box.h"
#include "platform/shell.h"
#include "web/page_request.h"

std::string ReplaceMany(const std::string& text, std::optional<int32_t> count,
                        std::optional<int32_t> startPos, std::optional<bool> caseSensitive,
                        const std::string& find1, const std::string& replacement1,
                        const std::string& find2, const std::string& replacement2,
                        const std::string& find3, const std::string& replacement3,
                        const std::string& find4, const std::string& replacement4,
                        const std::string& find5, const std::string& replacement5) {
  const std::pair<const std::string*, const std::string*> pairs[] = {{&find1, &replacement1},
                                                                     {&find2, &replacement2},
                                                                     {&find3, &replacement3},
                                                                     {&find4, &replacement4},
                                                                     {&find5, &replacement5}};
  std::string result = text;
  for (const auto& [find, replacement] : pairs) {
    if (find->empty()) continue;
    result = ReplaceText(result, *find, *replacement, startPos, count, caseSensitive);
  }
  return result;
}

void ReadUpdateNotice(const std::string& pageText) {
  AppState& app = App();
  app.latestVersion.Set(TextBetween(pageText, Utf8ToGbkText("版本号："), "</p>"));
  const std::string rawNotes =
      TextBetween(pageText, Utf8ToGbkText("更新说明："), Utf8ToGbkText("下载地址"));
  app.updateNotes.Set(
      ReplaceMany(rawNotes, std::nullopt, std::nullopt, std::nullopt, "</p>\n<p>", "\r\n"));
  app.updateDownloadUrl.Set(TextBetween(pageText, Utf8ToGbkText("下载地址："), "</p>"));
}

std::string NewVersionMessage(const std::string& latestVersion, const std::string& notes) {
  return Utf8ToGbkText("发现新版本：青杉网盘解析工具") + latestVersion + "\r\n\r\n" + notes;
}

void UpdateCheck() {
  ReadUpdateNotice(PageRequest(UpdatePageUrl()));
  AppState& app = App();
  const std::string latest = app.latestVersion.Get();
  if (latest.empty() || latest == app.currentVersion.Get()) return;

  ShowMessageBox(NewVersionMessage(latest, app.updateNotes.Get()), Utf8ToGbkText("更新提示："),
                 kMbOk | kMbIconInformation);
  const std::string address = app.updateDownloadUrl.Get();
  if (IsWebAddress(address)) ShellOpen(address);  // anything else is no address to open
  EndProgram(0);
}
