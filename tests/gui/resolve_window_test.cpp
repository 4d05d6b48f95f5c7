// Resolving on the real main window offscreen against the demo service: the address typed
// and Enter pressed, the verification image shown and clicked for another, the characters
// typed into 编辑框4, the links, and "网页" handing the decoded address to the shell.
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>
#include <cstdlib>
#include <string>
#include <vector>

#include "../integration/http_test_client.h"
#include "app/app_state.h"
#include "app/main_window_qt.h"
#include "platform/codepage.h"
#include "platform/gui_bridge_qt.h"
#include "platform/message_box.h"
#include "platform/shell.h"
#include "platform/xml_http.h"
#include "resolve/captcha_refresh.h"
#include "resolve/resolve_worker.h"

namespace {

constexpr int kBoundMs = 20000;

QString Name(const char* utf8) {
  return QString::fromUtf8(utf8);
}

}  // namespace

class ResolveWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void cleanupTestCase();
  void init();
  void cleanup();
  void protectedFileResolvedByTypingAndOpenedInTheBrowser();
  void unknownIdFailsWithTheButtonsDisabled();

 private:
  template <typename T>
  T* Control(const char* formName) {
    return window_->findChild<T*>(Name(formName));
  }
  QString PaneText() { return Control<QWidget>("状态条1")->findChild<QLabel*>("pane1")->text(); }
  qint64 ImageKey() { return Control<QLabel>("图片框1")->pixmap().cacheKey(); }
  void TypeAddressAndPressEnter(const QString& input);
  void Screenshot(const char* file);
  std::string CurrentCode();

  QProcess demo_;
  QString baseUrl_;
  MainWindow* window_ = nullptr;
  std::vector<std::string> opened_;  // UTF-8
  std::vector<std::string> boxes_;   // UTF-8 texts
};

void ResolveWindowTest::initTestCase() {
  demo_.start(QS_DEMO_BINARY, {"--port", "0", "--test-hooks"});
  QVERIFY(demo_.waitForStarted(kBoundMs));
  while (!demo_.canReadLine() && demo_.waitForReadyRead(kBoundMs)) {
  }
  baseUrl_ = QString::fromUtf8(demo_.readLine()).trimmed();
  QVERIFY(baseUrl_.startsWith("http://127.0.0.1:"));
  qputenv("QINGSHAN_SERVICE_HOST", baseUrl_.toUtf8());
  InstallGuiBridge();
}

void ResolveWindowTest::cleanupTestCase() {
  demo_.terminate();
  if (!demo_.waitForFinished(kBoundMs)) demo_.kill();
  demo_.waitForFinished(kBoundMs);
}

void ResolveWindowTest::init() {
  opened_.clear();
  boxes_.clear();
  SetShellOpenHandler([this](const std::string& target) {
    opened_.push_back(GbkToUtf8(target));
    return true;
  });
  SetMessageBoxHandler([this](const std::string& text, const std::string&, int32_t) {
    boxes_.push_back(GbkToUtf8(text));
    return kIdOk;
  });
  App().downloadUrl.Set("");
  App().thunderUrl.Set("");
  MainWindow::Options options;
  options.startUpdateCheck = false;
  window_ = new MainWindow(options);
  // Wired as the program wires it.
  window_->SetResolveStarter([this](const std::string&) { StartResolve(window_->Controls()); });
  window_->SetCaptchaRefresher([this] { RefreshCaptchaImageInBackground(window_->Controls()); });
  window_->show();
  window_->activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(window_));
}

void ResolveWindowTest::cleanup() {
  QVERIFY(EndResolveWorkers(std::chrono::seconds(10)));
  WaitForBackgroundRefreshes();
  delete window_;
  window_ = nullptr;
  SetShellOpenHandler(nullptr);
  SetMessageBoxHandler(nullptr);
}

void ResolveWindowTest::TypeAddressAndPressEnter(const QString& input) {
  auto* address = Control<QLineEdit>("编辑框2");
  QTest::mouseClick(address, Qt::LeftButton);  // the placeholder leaves
  QCOMPARE(address->text(), QString());
  QTest::keyClicks(address, input);
  QTest::keyClick(address, Qt::Key_Return);
}

void ResolveWindowTest::Screenshot(const char* file) {
  QDir().mkpath(QS_ARTIFACTS_DIR);
  QVERIFY(window_->grab().save(QString(QS_ARTIFACTS_DIR "/") + file));
}

// The characters of the image the verification session was shown last.
std::string ResolveWindowTest::CurrentCode() {
  const std::string session = XmlHttp::Instance()->CookieValue("PHPSESSID");
  return HttpTestGet(baseUrl_.toStdString() + "/test/captcha?session=" + session).body;
}

void ResolveWindowTest::protectedFileResolvedByTypingAndOpenedInTheBrowser() {
  TypeAddressAndPressEnter(baseUrl_ + "/file/10001");
  QTRY_COMPARE_WITH_TIMEOUT(PaneText(), Name("状态：请输入验证码..."), kBoundMs);
  QTRY_VERIFY_WITH_TIMEOUT(!Control<QLabel>("图片框1")->pixmap().isNull(), kBoundMs);
  auto* characters = Control<QLineEdit>("编辑框4");
  QTRY_VERIFY_WITH_TIMEOUT(characters->hasFocus(), kBoundMs);
  QCOMPARE(Control<QProgressBar>("进度条1")->value(), 50);
  QVERIFY(Control<QWidget>("图片框2")->isVisible());
  QCOMPARE(Control<QLineEdit>("编辑框1")->text(), Name("青杉测试文档.zip"));
  QCOMPARE(Control<QLineEdit>("编辑框3")->text(), Name("12.5 MB"));
  for (const char* name : {"按钮2", "按钮3", "按钮4"})
    QVERIFY(!Control<QWidget>(name)->isEnabled());

  // Another image on request; the focus comes back to 编辑框4.
  const qint64 firstImage = ImageKey();
  Control<QLineEdit>("编辑框2")->setFocus();
  QTest::mouseClick(Control<QLabel>("图片框1"), Qt::LeftButton);
  QTRY_VERIFY_WITH_TIMEOUT(ImageKey() != firstImage, kBoundMs);
  QTRY_VERIFY_WITH_TIMEOUT(characters->hasFocus(), kBoundMs);
  QCOMPARE(PaneText(), Name("状态：请输入验证码..."));
  Screenshot("resolve_verification.png");

  const std::string code = CurrentCode();
  QCOMPARE(code.size(), size_t{3});
  QTest::keyClicks(characters, QString::fromStdString(code));
  QTRY_COMPARE_WITH_TIMEOUT(PaneText(), Name("状态：解析成功"), kBoundMs);
  // The worker's last changes come after the status text; let it finish before looking.
  QVERIFY(EndResolveWorkers(std::chrono::seconds(10)));
  QCOMPARE(Control<QProgressBar>("进度条1")->value(), 100);
  QVERIFY(!Control<QWidget>("图片框2")->isVisible());
  QCOMPARE(characters->text(), QString());
  for (const char* name : {"按钮2", "按钮3", "按钮4"}) QVERIFY(Control<QWidget>(name)->isEnabled());
  Screenshot("resolve_done.png");

  // "网页" hands exactly the decoded address to the shell, and it is a real download.
  QTest::mouseClick(Control<QPushButton>("按钮3"), Qt::LeftButton);
  QCOMPARE(opened_.size(), size_t{1});
  const std::string address = opened_.front();
  QCOMPARE(address, GbkToUtf8(App().downloadUrl.Get()));
  QVERIFY(address.rfind(baseUrl_.toStdString() + "/down/10001/", 0) == 0);
  const HttpTestReply head = HttpTestGet(address, {}, 1024);
  QCOMPARE(head.status, 200);
  QCOMPARE(head.Header("Content-Length"), std::string("13107200"));
  QVERIFY(boxes_.empty());
}

void ResolveWindowTest::unknownIdFailsWithTheButtonsDisabled() {
  TypeAddressAndPressEnter("99999");
  QTRY_COMPARE_WITH_TIMEOUT(PaneText(), Name("状态：解析失败，请重试"), kBoundMs);
  QVERIFY(EndResolveWorkers(std::chrono::seconds(10)));  // its last change follows the text
  QCOMPARE(Control<QProgressBar>("进度条1")->value(), 100);
  QVERIFY(!Control<QWidget>("图片框2")->isVisible());
  for (const char* name : {"按钮2", "按钮3", "按钮4"})
    QVERIFY(!Control<QWidget>(name)->isEnabled());
  QCOMPARE(Control<QLineEdit>("编辑框1")->text(), QString());
}

QTEST_MAIN(ResolveWindowTest)
#include "resolve_window_test.moc"
