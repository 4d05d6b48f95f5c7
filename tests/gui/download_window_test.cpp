// The download window offscreen beside a real main window: controls found by their form
// names, message boxes, folder dialogs and shell opens recorded, downloads from the demo
// service on loopback.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/main_window_qt.h"
#include "app/text_utils.h"
#include "download/download_window_qt.h"
#include "platform/codepage.h"
#include "platform/files.h"
#include "platform/gui_bridge_qt.h"
#include "platform/message_box.h"
#include "platform/shell.h"

#ifdef QS_DEMO_BINARY
#include "../demo/demo_content.h"
#include "integration/demo_process.h"
#include "integration/http_test_client.h"
#endif

namespace {

struct ShownBox {
  std::string text;  // UTF-8
  std::string title;
  int32_t style;
};

QString Name(const char* utf8) {
  return QString::fromUtf8(utf8);
}
std::string Gbk(const std::string& utf8) {
  return Utf8ToGbkText(utf8);
}

std::string ReadBytes(const std::string& nativePath) {
  std::ifstream in(nativePath, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void WriteBytes(const std::string& nativePath, const std::string& bytes) {
  std::ofstream(nativePath, std::ios::binary) << bytes;
}

// A loopback port on which nobody listens: bound once, then released.
int RefusedPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
  ::close(fd);
  return ntohs(address.sin_port);
}

}  // namespace

class DownloadWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void cleanupTestCase();
  void init();
  void cleanup();
  void builtInShowsTheResolveResult_data();
  void builtInShowsTheResolveResult();
  void browseRemembersThePickedFolder();
  void refusals_data();
  void refusals();
  void overwriteQuestion_data();
  void overwriteQuestion();
  void downloadShowsProgressThenCompletesAfterResume();
  void downloadAndOpenOpensTheFile();
  void failures_data();
  void failures();
  void screenshot();

 private:
  DownloadWindow* OpenByBuiltIn();
  void Fill(DownloadWindow* window, const char* nameUtf8, const std::string& folderGbk);
  void Click(DownloadWindow* window, const char* button);
  std::vector<ShownBox> Boxes() {
    std::lock_guard<std::mutex> lock(mutex_);
    return boxes_;
  }
  template <typename T>
  static T* Control(QWidget* window, const char* formName) {
    return window->findChild<T*>(Name(formName));
  }
  QString PaneText() {
    return Control<QWidget>(main_, "状态条1")->findChild<QLabel*>("pane1")->text();
  }
  std::string SaveFolderFile() {
    return home_->path().toStdString() + "/Documents/青杉_保存路径.txt";
  }
  std::string DownloadAddress(const std::string& query = std::string());

  std::unique_ptr<QTemporaryDir> home_;
  std::unique_ptr<QTemporaryDir> downloads_;
  std::string folderNative_;  // a folder with a Chinese name inside downloads_
  std::string folderGbk_;
  MainWindow* main_ = nullptr;
  std::mutex mutex_;  // boxes come from the worker thread too
  std::vector<ShownBox> boxes_;
  int32_t answer_ = kIdOk;
  std::vector<std::string> opened_;  // GBK
  std::vector<QString> dialogPrompts_;
  std::string freeAddress_;
  std::string expected_;  // the bytes of file 10002
  QString dialogAnswer_;
#ifdef QS_DEMO_BINARY
  std::unique_ptr<DemoProcess> demo_;
#endif
};

void DownloadWindowTest::initTestCase() {
  home_ = std::make_unique<QTemporaryDir>();
  QVERIFY(home_->isValid());
  QVERIFY(QDir(home_->path()).mkpath("Documents"));
  const QByteArray home = home_->path().toUtf8();
  ::setenv("HOME", home.constData(), 1);
  ::setenv("XDG_CONFIG_HOME", (home + "/config").constData(), 1);  // no user-dirs.dirs
#ifdef QS_DEMO_BINARY
  demo_ = std::make_unique<DemoProcess>(std::vector<std::string>{"--test-hooks"});
  QVERIFY2(demo_->Started(), demo_->Error().c_str());
  const HttpTestReply page = HttpTestGet(demo_->BaseUrl() + "/file/10002");
  const size_t block = page.body.find("id=\"free_downloadlist\">");
  const size_t href = page.body.find("href=\"", block);
  QVERIFY(block != std::string::npos && href != std::string::npos);
  Text encoded = page.body.substr(href + 6, page.body.find('"', href + 6) - href - 6);
  freeAddress_ = Base64DecodeText(encoded);
  QVERIFY2(freeAddress_.rfind(demo_->BaseUrl() + "/down/10002/", 0) == 0, freeAddress_.c_str());
  expected_.resize(3355443);
  DemoContent(10002, 0, expected_.data(), expected_.size());
#else
  freeAddress_ = "http://127.0.0.1:1/down/10002/x";
#endif
}

void DownloadWindowTest::cleanupTestCase() {
#ifdef QS_DEMO_BINARY
  QVERIFY(demo_->Stop());
  demo_.reset();
#endif
}

// The demo's file 10002 offers its download address on the file page itself.
std::string DownloadWindowTest::DownloadAddress(const std::string& query) {
  return freeAddress_ + query;
}

void DownloadWindowTest::init() {
  InstallGuiBridge();
  boxes_.clear();
  opened_.clear();
  dialogPrompts_.clear();
  answer_ = kIdOk;
  SetMessageBoxHandler([this](const std::string& text, const std::string& title, int32_t style) {
    std::lock_guard<std::mutex> lock(mutex_);
    boxes_.push_back({GbkToUtf8(text), GbkToUtf8(title), style});
    return answer_;
  });
  SetShellOpenHandler([this](const std::string& target) {
    opened_.push_back(target);
    return true;
  });
  SetFolderDialog([this](QWidget*, const QString& prompt) {
    dialogPrompts_.push_back(prompt);
    return dialogAnswer_;
  });
  DeleteFileAt(FromNativePath(SaveFolderFile()));
  downloads_ = std::make_unique<QTemporaryDir>();
  folderNative_ = downloads_->path().toStdString() + "/下载 文件";
  QVERIFY(QDir().mkpath(QString::fromStdString(folderNative_)));
  folderGbk_ = FromNativePath(folderNative_);

  AppState& app = App();
  app.downloadUrl.Set(DownloadAddress());
  app.fileName.Set("notes.txt");
  app.fileSizeText.Set("3.2 MB");
  app.saveFolder.Set("");
  app.bytesDone.store(0);
  app.bytesTotal.store(0);
  app.openAfterDownload.store(0);
  MainWindow::Options options;
  options.startUpdateCheck = false;
  options.progress.openWaitLimitMs = 10000;
  main_ = new MainWindow(options);
  main_->SetDownloadWindowOpener([this] { (new DownloadWindow(main_))->show(); });
  main_->show();
  main_->activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(main_));
}

void DownloadWindowTest::cleanup() {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (dynamic_cast<DownloadWindow*>(widget)) widget->close();
  }
  QTest::qWait(0);
  delete main_;
  main_ = nullptr;
  SetMessageBoxHandler(nullptr);
  SetShellOpenHandler(nullptr);
  SetFolderDialog(nullptr);
}

// "内置" in the main window, as the program wires it; returns the window it opened.
DownloadWindow* DownloadWindowTest::OpenByBuiltIn() {
  Control<QPushButton>(main_, "按钮4")->setEnabled(true);  // as a resolve leaves it
  QTest::mouseClick(Control<QPushButton>(main_, "按钮4"), Qt::LeftButton);
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (auto* window = dynamic_cast<DownloadWindow*>(widget)) return window;
  }
  return nullptr;
}

void DownloadWindowTest::Fill(DownloadWindow* window, const char* nameUtf8,
                              const std::string& folderGbk) {
  SetWidgetText(Control<QLineEdit>(window, "编辑框1"), Gbk(nameUtf8));
  SetWidgetText(Control<QLineEdit>(window, "编辑框3"), folderGbk);
}

void DownloadWindowTest::Click(DownloadWindow* window, const char* button) {
  QTest::mouseClick(Control<QPushButton>(window, button), Qt::LeftButton);
}

void DownloadWindowTest::builtInShowsTheResolveResult_data() {
  QTest::addColumn<bool>("fileThere");
  QTest::addColumn<QByteArray>("fileBytes");
  QTest::addColumn<QString>("shownFolder");  // empty: the program's folder
  QTest::newRow("no file") << false << QByteArray() << QString();
  QTest::newRow("empty file") << true << QByteArray() << QString();
  QTest::newRow("zero first") << true << QByteArray("\0/x", 3) << QString();
  QTest::newRow("text up to the zero, nothing trimmed")
      << true << QByteArray(" /srv/存档 \0junk", sizeof " /srv/存档 \0junk" - 1)
      << Name(" /srv/存档 ");
}

void DownloadWindowTest::builtInShowsTheResolveResult() {
  QFETCH(bool, fileThere);
  QFETCH(QByteArray, fileBytes);
  QFETCH(QString, shownFolder);
  if (fileThere) {
    // The file holds GBK bytes; the row gives the UTF-8 of the ones before the zero.
    const int zero = fileBytes.indexOf('\0');
    std::string bytes = Gbk(fileBytes.left(zero < 0 ? fileBytes.size() : zero).toStdString());
    if (zero >= 0) bytes += fileBytes.mid(zero).toStdString();
    WriteBytes(SaveFolderFile(), bytes);
  }
  App().fileName.Set(Gbk("青杉测试文档.zip"));
  App().fileSizeText.Set("12.5 MB");

  DownloadWindow* window = OpenByBuiltIn();
  QVERIFY(window);
  QVERIFY(window->isVisible());
  QVERIFY(!window->isModal());
  QCOMPARE(window->windowTitle(), Name("新建下载窗口"));
  QCOMPARE(window->pos(), QPoint(50, 50));
  QCOMPARE(Control<QLineEdit>(window, "编辑框2")->text(),
           QString::fromStdString(DownloadAddress()));
  QCOMPARE(Control<QLineEdit>(window, "编辑框1")->text(), Name("青杉测试文档.zip"));
  QCOMPARE(Control<QLabel>(window, "标签5")->text(), Name("12.5 MB"));
  const std::string expected =
      shownFolder.isEmpty() ? ProgramFolder() : Gbk(shownFolder.toStdString());
  QCOMPARE(Control<QLineEdit>(window, "编辑框3")->text(), GbkToQString(expected));
  QCOMPARE(App().saveFolder.Get(), expected);

  const struct {
    const char* name;
    QRect geometry;
    const char* text;
  } fixed[] = {
      {"标签1", {25, 26, 48, 24}, "网 址："},
      {"编辑框2", {80, 24, 405, 30}, nullptr},
      {"标签2", {16, 66, 56, 24}, "文件名："},
      {"编辑框1", {80, 64, 405, 30}, nullptr},
      {"标签5", {419, 67, 65, 24}, nullptr},
      {"标签3", {16, 106, 56, 24}, "下载到："},
      {"编辑框3", {80, 104, 320, 30}, nullptr},
      {"按钮1", {415, 105, 70, 30}, "浏览..."},
      {"标签4", {0, 146, 520, 80}, ""},
      {"按钮5", {16, 168, 70, 30}, "极速下载"},
      {"按钮2", {254, 168, 70, 30}, "下载并打开"},
      {"按钮3", {335, 168, 70, 30}, "下载"},
      {"按钮4", {415, 168, 70, 30}, "取消"},
  };
  for (const auto& c : fixed) {
    QWidget* control = Control<QWidget>(window, c.name);
    QVERIFY2(control, c.name);
    QCOMPARE(control->geometry(), c.geometry);
    if (!c.text) continue;
    if (auto* button = qobject_cast<QPushButton*>(control)) QCOMPARE(button->text(), Name(c.text));
    if (auto* label = qobject_cast<QLabel*>(control)) QCOMPARE(label->text(), Name(c.text));
  }

  // "极速下载" does nothing at all; "取消" closes the window.
  Click(window, "按钮5");
  QVERIFY(window->isVisible());
  QVERIFY(Boxes().empty());
  const QPointer<DownloadWindow> alive(window);
  Click(window, "按钮4");
  QTRY_VERIFY(alive.isNull());
}

void DownloadWindowTest::browseRemembersThePickedFolder() {
  WriteBytes(SaveFolderFile(), "/a/much/longer/folder/than/the/next/one");
  DownloadWindow* window = OpenByBuiltIn();
  QVERIFY(window);
  auto* folderBox = Control<QLineEdit>(window, "编辑框3");

  dialogAnswer_ = QString();  // cancelled
  Click(window, "按钮1");
  QCOMPARE(dialogPrompts_, std::vector<QString>{Name("请选择目录：")});
  QCOMPARE(folderBox->text(), Name("/a/much/longer/folder/than/the/next/one"));
  QCOMPARE(ReadBytes(SaveFolderFile()), std::string("/a/much/longer/folder/than/the/next/one"));

  dialogAnswer_ = QString::fromStdString(folderNative_);
  Click(window, "按钮1");
  QCOMPARE(folderBox->text(), QString::fromStdString(folderNative_));
  QCOMPARE(ReadBytes(SaveFolderFile()), folderGbk_);  // the GBK bytes, no line end
  QCOMPARE(App().saveFolder.Get(), folderGbk_);

  // The next window, like the next start of the program, shows it again.
  window->close();
  App().saveFolder.Set("");
  DownloadWindow* next = OpenByBuiltIn();
  QVERIFY(next);
  QCOMPARE(Control<QLineEdit>(next, "编辑框3")->text(), QString::fromStdString(folderNative_));
}

void DownloadWindowTest::refusals_data() {
  QTest::addColumn<QString>("button");
  QTest::addColumn<QString>("name");
  QTest::addColumn<bool>("withFolder");
  QTest::addColumn<QString>("message");
  QTest::newRow("empty name") << Name("按钮3") << QString() << true << Name("请填写文件名");
  QTest::newRow("dot dot, download and open")
      << Name("按钮2") << Name("..") << true << Name("请填写文件名");
  QTest::newRow("dot") << Name("按钮3") << Name(".") << true << Name("请填写文件名");
  QTest::newRow("both empty: the name first")
      << Name("按钮2") << QString() << false << Name("请填写文件名");
  QTest::newRow("empty folder") << Name("按钮3") << Name("a.zip") << false
                                << Name("请填写保存路径");
}

void DownloadWindowTest::refusals() {
  QFETCH(QString, button);
  QFETCH(QString, name);
  QFETCH(bool, withFolder);
  QFETCH(QString, message);
  const bool opens = button == Name("按钮2");
  App().openAfterDownload.store(opens ? 0 : 1);
  DownloadWindow* window = OpenByBuiltIn();
  QVERIFY(window);
  Fill(window, name.toUtf8().constData(), withFolder ? folderGbk_ : std::string());
  App().fileName.Set("before");

  Click(window, button.toUtf8().constData());
  const std::vector<ShownBox> boxes = Boxes();
  QCOMPARE(boxes.size(), size_t{1});
  QCOMPARE(QString::fromStdString(boxes[0].text), message);
  QCOMPARE(boxes[0].title, std::string("信息："));
  QCOMPARE(boxes[0].style, 64);
  QCOMPARE(App().openAfterDownload.load(), opens ? 1 : 0);  // set before the tests
  QCOMPARE(App().fileName.Get(), std::string("before"));
  QTest::qWait(50);
  QVERIFY(window->isVisible());
  QVERIFY(QDir(QString::fromStdString(folderNative_)).isEmpty());
}

void DownloadWindowTest::overwriteQuestion_data() {
  QTest::addColumn<int>("answer");
  QTest::newRow("no") << kIdNo;
  QTest::newRow("yes") << kIdYes;
}

void DownloadWindowTest::overwriteQuestion() {
  QFETCH(int, answer);
  const std::string target = folderNative_ + "/old.txt";
  WriteBytes(target, "the user's own file");
  App().downloadUrl.Set("http://127.0.0.1:" + std::to_string(RefusedPort()) + "/down/10004/x");
  DownloadWindow* window = OpenByBuiltIn();
  QVERIFY(window);
  const QPointer<DownloadWindow> alive(window);
  Fill(window, "old.txt", folderGbk_);
  answer_ = answer;

  Click(window, "按钮3");
  std::vector<ShownBox> boxes = Boxes();
  QVERIFY(!boxes.empty());
  QCOMPARE(boxes[0].text, std::string(" 文件已存在，是否继续下载？"));
  QCOMPARE(boxes[0].title, std::string("信息："));
  QCOMPARE(boxes[0].style, 36);
  if (answer == kIdNo) {
    QTest::qWait(100);
    QCOMPARE(Boxes().size(), size_t{1});
    QVERIFY(!alive.isNull());
    QVERIFY(window->isVisible());
    QCOMPARE(ReadBytes(target), std::string("the user's own file"));
    return;
  }
  // Deleted at once, before the worker ends; the window hides and the main window is active.
  QVERIFY(!QFile::exists(QString::fromStdString(target)));
  QVERIFY(alive.isNull() || !alive->isVisible());
  QTRY_COMPARE(QApplication::activeWindow(), static_cast<QWidget*>(main_));
  QTRY_VERIFY_WITH_TIMEOUT(alive.isNull(), 20000);
  boxes = Boxes();
  QCOMPARE(boxes.size(), size_t{2});
  QCOMPARE(boxes[1].text, std::string("连接服务器失败 "));
  QVERIFY(!QFile::exists(QString::fromStdString(target)));
}

void DownloadWindowTest::downloadShowsProgressThenCompletesAfterResume() {
#ifndef QS_DEMO_BINARY
  QSKIP("the demo service is not built");
#else
  // The first run gets 400 of the 1024 bytes, then the server stalls and closes.
  App().downloadUrl.Set(DownloadAddress("?fault=stall:3:1677722"));
  DownloadWindow* first = OpenByBuiltIn();
  QVERIFY(first);
  QPointer<DownloadWindow> alive(first);
  Fill(first, "notes.txt", folderGbk_);
  Click(first, "按钮3");
  QTRY_COMPARE_WITH_TIMEOUT(PaneText(), Name("状态：正在下载  50%"), 10000);
  QVERIFY(!Control<QPushButton>(main_, "按钮1")->isEnabled());
  QVERIFY(!Control<QPushButton>(main_, "按钮4")->isEnabled());
  QTRY_VERIFY_WITH_TIMEOUT(alive.isNull(), 20000);
  QCOMPARE(Boxes().size(), size_t{1});
  QCOMPARE(Boxes()[0].text, std::string("下载失败 "));
  QCOMPARE(Boxes()[0].title, std::string("提示"));
  const QString tmp = QString::fromStdString(folderNative_ + "/notes.txt.tmp");
  QCOMPARE(QFileInfo(tmp).size(), qint64{1677722});

  // The second run resumes from the ".tmp" and completes.
  App().downloadUrl.Set(DownloadAddress());
  DownloadWindow* second = new DownloadWindow(main_);
  second->show();
  alive = second;
  Fill(second, "notes.txt", folderGbk_);
  Click(second, "按钮3");
  QTRY_COMPARE_WITH_TIMEOUT(PaneText(), Name("状态：下载完成"), 10000);
  QVERIFY(Control<QPushButton>(main_, "按钮1")->isEnabled());
  QVERIFY(Control<QPushButton>(main_, "按钮4")->isEnabled());
  QTRY_VERIFY_WITH_TIMEOUT(alive.isNull(), 10000);
  QCOMPARE(Boxes().size(), size_t{1});  // success shows no message
  QVERIFY(opened_.empty());
  QVERIFY(!QFile::exists(tmp));
  QVERIFY(ReadBytes(folderNative_ + "/notes.txt") == expected_);
  QVERIFY(demo_->Log().find("bytes=1677722-") != std::string::npos);
#endif
}

void DownloadWindowTest::downloadAndOpenOpensTheFile() {
#ifndef QS_DEMO_BINARY
  QSKIP("the demo service is not built");
#else
  App().fileName.Set("a/b.txt");  // a name from the page may not lead out of the folder
  DownloadWindow* window = OpenByBuiltIn();
  QVERIFY(window);
  SetWidgetText(Control<QLineEdit>(window, "编辑框3"), folderGbk_);
  Click(window, "按钮2");
  QCOMPARE(App().openAfterDownload.load(), 1);
  QTRY_COMPARE_WITH_TIMEOUT(opened_.size(), size_t{1}, 10000);
  QCOMPARE(NativePath(opened_[0]), folderNative_ + "/a_b.txt");
  QCOMPARE(PaneText(), Name("状态：下载完成"));
  QVERIFY(ReadBytes(folderNative_ + "/a_b.txt") == expected_);
  QVERIFY(Boxes().empty());
#endif
}

void DownloadWindowTest::failures_data() {
  QTest::addColumn<QString>("address");  // PORT: a port nobody listens on
  QTest::addColumn<QString>("message");
  QTest::addColumn<int>("style");
  QTest::newRow("refused port") << Name("http://127.0.0.1:PORT/down/10004/x")
                                << Name("连接服务器失败 ") << 64;
#ifdef QS_DEMO_BINARY
  QTest::newRow("closed early") << QString::fromStdString(DownloadAddress("?fault=close:100"))
                                << Name("下载失败 ") << 0;
  QTest::newRow("no such file") << QString::fromStdString(demo_->BaseUrl() +
                                                          "/down/10002/wrong-token")
                                << Name("下载失败") << 64;
#endif
}

void DownloadWindowTest::failures() {
  QFETCH(QString, address);
  QFETCH(QString, message);
  QFETCH(int, style);
  address.replace("PORT", QString::number(RefusedPort()));
  App().downloadUrl.Set(address.toStdString());
  DownloadWindow* window = OpenByBuiltIn();
  QVERIFY(window);
  const QPointer<DownloadWindow> alive(window);
  Fill(window, "notes.txt", folderGbk_);
  Click(window, "按钮3");
  QTRY_VERIFY_WITH_TIMEOUT(alive.isNull(), 20000);
  const std::vector<ShownBox> boxes = Boxes();
  QCOMPARE(boxes.size(), size_t{1});
  QCOMPARE(QString::fromStdString(boxes[0].text), message);
  QCOMPARE(boxes[0].title, std::string("提示"));
  QCOMPARE(boxes[0].style, style);
  QCOMPARE(App().bytesDone.load(), int64_t{0});
  QVERIFY(!QFile::exists(QString::fromStdString(folderNative_ + "/notes.txt")));
}

void DownloadWindowTest::screenshot() {
  App().fileName.Set(Gbk("青杉测试文档.zip"));
  App().fileSizeText.Set("12.5 MB");
  DownloadWindow* window = OpenByBuiltIn();
  QVERIFY(window);
  QTest::qWait(50);
  QDir().mkpath(QS_ARTIFACTS_DIR);
  QVERIFY(window->grab().save(QS_ARTIFACTS_DIR "/download_window.png"));
}

QTEST_MAIN(DownloadWindowTest)
#include "download_window_test.moc"
