#include "resolve/scraping.h"

#include "platform/codepage.h"

namespace {

// The markers of the service's pages, byte for byte; the Chinese ones in the code page
// the pages arrive in.
struct Markers {
  Text hashKeyLeft = "hash_key\" value=\"";
  Text nameLeft = "<meta name=\"keywords\" content=\"";
  Text nameRight = Utf8ToGbkText("免费下载");
  Text sizeLeft = Utf8ToGbkText("文件大小：");  // ends in the full-width colon A3 BA
  Text sizeRight = Utf8ToGbkText("，");         // the full-width comma A3 AC
  Text freeChannel = Utf8ToGbkText("免费用户下载通道");
  Text rejected = "setTimeout('redirect();', 3000";
  // Two blanks after widget-main and before id, CR LF, six TABs: 90 bytes.
  Text freeListLeft =
      "<div class=\"widget-main  freelist\"  id=\"free_downloadlist\">\r\n"
      "\t\t\t\t\t\t<a class=\"local\" href=\"";
  Text thunderLeft = "thunderHref=\"";
  Text quote = "\"";
};

const Markers& Marks() {
  static const Markers markers;
  return markers;
}

}  // namespace

Text FileIdFromInput(const Text& input) {
  const std::vector<Text> pieces = SplitText(input, Text("/"));
  return pieces.empty() ? Text() : pieces.back();
}

FilePageFacts ScrapeFilePage(const Text& page) {
  const Markers& m = Marks();
  FilePageFacts facts;
  facts.hashKey = TextBetween(page, m.hashKeyLeft, m.quote);
  facts.fileName = TextBetween(page, m.nameLeft, m.nameRight);
  TrimBlanks(facts.fileName);
  facts.fileSizeText = TextBetween(page, m.sizeLeft, m.sizeRight);
  facts.freeChannel = FindText(page, m.freeChannel) != -1;
  return facts;
}

Text GuestLoginBody(const Text& fileId, const Text& hashKey, const Text& captchaText) {
  return "file_id=" + fileId + "&hash_key=" + hashKey + "&randcode=" + captchaText;
}

bool IsLoginRejected(const Text& reply) {
  return FindText(reply, Marks().rejected) != -1;
}

ResolvedLinks ExtractLinks(const Text& text) {
  const Markers& m = Marks();
  ResolvedLinks links;
  Text encoded = TextBetween(text, m.freeListLeft, m.quote);
  links.downloadUrl = BytesToText(Base64DecodeText(encoded));
  links.thunderUrl = TextBetween(text, m.thunderLeft, m.quote);
  return links;
}
