#include "pages.h"

namespace {

const char kPageHead[] =
    "<!DOCTYPE html>\n<html lang=\"zh-CN\">\n<head>\n<meta charset=\"utf-8\">\n";

// The free-download block exactly as the program looks for it: two blanks after
// "widget-main", two before "id", CR LF, six TABs, then the anchor.
std::string FreeListBlock(const std::string& downloadUrl) {
  return "<div class=\"widget-main  freelist\"  id=\"free_downloadlist\">\r\n"
         "\t\t\t\t\t\t<a class=\"local\" href=\"" +
         Base64Encode(downloadUrl) +
         "\" target=\"_blank\">本地下载</a>\r\n"
         "\t\t\t\t\t\t<a class=\"thunder\" href=\"javascript:;\" thunderHref=\"" +
         ThunderAddressOf(downloadUrl) +
         "\">迅雷下载</a>\r\n"
         "\t\t\t\t\t</div>\n"
         // In a browser the address is decoded on the page, as the service does it.
         "<script>document.querySelectorAll('#free_downloadlist a.local').forEach("
         "function (a) { a.href = atob(a.getAttribute('href')); });</script>\n";
}

std::string EscapeHtml(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '&':
        out += "&amp;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

}  // namespace

std::string Base64Encode(const std::string& bytes) {
  static const char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  size_t i = 0;
  for (; i + 2 < bytes.size(); i += 3) {
    const unsigned v = (static_cast<unsigned char>(bytes[i]) << 16) |
                       (static_cast<unsigned char>(bytes[i + 1]) << 8) |
                       static_cast<unsigned char>(bytes[i + 2]);
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += kAlphabet[(v >> 6) & 63];
    out += kAlphabet[v & 63];
  }
  const size_t rest = bytes.size() - i;
  if (rest == 1) {
    const unsigned v = static_cast<unsigned char>(bytes[i]) << 16;
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += "==";
  } else if (rest == 2) {
    const unsigned v = (static_cast<unsigned char>(bytes[i]) << 16) |
                       (static_cast<unsigned char>(bytes[i + 1]) << 8);
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += kAlphabet[(v >> 6) & 63];
    out += '=';
  }
  return out;
}

std::string ThunderAddressOf(const std::string& downloadUrl) {
  return "thunder://" + Base64Encode("AA" + downloadUrl + "ZZ");
}

std::string FilePageHtml(const DemoFile& file, const std::string& downloadUrl) {
  const std::string name = EscapeHtml(file.name);
  const std::string id = std::to_string(file.id);
  std::string page = kPageHead;
  page += "<title>" + name + " - 青杉网盘</title>\n";
  page += "<meta name=\"keywords\" content=\"" + name + "免费下载,青杉网盘,网盘下载\">\n";
  page += "<meta name=\"description\" content=\"" + name + "，青杉网盘提供文件下载\">\n";
  page += "</head>\n<body>\n<div class=\"file-info\">\n";
  page += "<h1>" + name + "</h1>\n<ul>\n";
  page += "<li>文件大小：" + std::string(file.sizeText) + "，上传时间：2024-03-01</li>\n";
  page += "<li>文件编号：" + id + "</li>\n</ul>\n</div>\n";
  page += "<form method=\"post\" action=\"/guest_loginV2.php\">\n";
  page += "<input type=\"hidden\" name=\"file_id\" value=\"" + id + "\">\n";
  page += "<input type=\"hidden\" name=\"hash_key\" value=\"" + HashKeyOf(file) + "\">\n";
  if (file.freeChannel) {
    page += "<h3>免费用户下载通道</h3>\n";
    page += FreeListBlock(downloadUrl);
  } else {
    page += "<p>请输入验证码后下载：</p>\n";
    page += "<img src=\"/randcodeV2.php\" width=\"136\" height=\"64\" alt=\"验证码\">\n";
    page += "<input type=\"text\" name=\"randcode\" maxlength=\"4\">\n";
    page += "<button type=\"submit\">游客下载</button>\n";
  }
  page += "</form>\n</body>\n</html>\n";
  return page;
}

std::string MissingFilePageHtml(const std::string& idText) {
  std::string page = kPageHead;
  page += "<title>文件不存在 - 青杉网盘</title>\n</head>\n<body>\n";
  page += "<p>文件不存在或已被删除：" + EscapeHtml(idText) + "</p>\n";
  page += "<p><a href=\"/\">返回首页</a></p>\n</body>\n</html>\n";
  return page;
}

std::string LoginAcceptedHtml(const DemoFile& file, const std::string& downloadUrl) {
  std::string page = kPageHead;
  page += "<title>" + EscapeHtml(file.name) + " - 青杉网盘</title>\n</head>\n<body>\n";
  page += "<p>验证成功，请选择下载方式。</p>\n";
  if (file.linksOnLogin) {
    page += FreeListBlock(downloadUrl);
  } else {
    page += "<p>该文件暂时没有可用的下载链接。</p>\n";
  }
  page += "</body>\n</html>\n";
  return page;
}

std::string LoginRejectedHtml(const std::string& fileIdText) {
  std::string page = kPageHead;
  page += "<title>提示 - 青杉网盘</title>\n";
  page +=
      "<script type=\"text/javascript\">\nfunction redirect() { window.location.href = '/file/" +
      EscapeHtml(fileIdText) + "'; }\n";
  page += "setTimeout('redirect();', 3000);\n</script>\n</head>\n<body>\n";
  page += "<p>验证码错误，3 秒后返回文件页面。</p>\n</body>\n</html>\n";
  return page;
}

std::string UpdatePageHtml(const std::string& version, const std::string& baseUrl) {
  std::string page = kPageHead;
  page += "<title>青杉网盘解析工具 更新</title>\n</head>\n<body>\n";
  page += "<p>版本号：" + version + "</p>\n";
  page += "<p>更新说明：line1</p>\n<p>line2</p>\n<p>line3</p>\n";
  page += "<p>下载地址：" + baseUrl + "/release/qingshan-" + version + ".tar.gz</p>\n";
  page += "</body>\n</html>\n";
  return page;
}

std::string IndexPageHtml() {
  std::string page = kPageHead;
  page += "<title>青杉网盘 演示服务</title>\n</head>\n<body>\n<h1>青杉网盘 演示服务</h1>\n<ul>\n";
  for (const DemoFile* file = DemoFilesBegin(); file != DemoFilesEnd(); ++file) {
    page += "<li><a href=\"/file/" + std::to_string(file->id) + "\">" + EscapeHtml(file->name) +
            "</a> " + file->sizeText + "</li>\n";
  }
  page += "</ul>\n</body>\n</html>\n";
  return page;
}
