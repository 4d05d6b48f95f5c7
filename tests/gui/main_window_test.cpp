// The main window offscreen: its controls found by their form names, driven by keys,
// clicks and the download counters; shell opens and message boxes recorded.
#include <QApplication>
#include <QDir>
#include <QFontInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <fstream>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/main_window_qt.h"
#include "download/download_outcome.h"
#include "platform/codepage.h"
#include "platform/gui_bridge_qt.h"
#include "platform/message_box.h"
#include "platform/shell.h"

namespace {

struct ShownBox {
  std::string text;  // UTF-8
  std::string title;
  int32_t style;
};

QString Name(const char* utf8) {
  return QString::fromUtf8(utf8);
}

}  // namespace

class MainWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void cleanup();
  void startStatesAndTexts();
  void screenshot();
  void placeholderLeavesAndReturns();
  void typedPlaceholderStaysBlackAndIsRefused();
  void enterRunsTheResolvePress();
  void handOffs_data();
  void handOffs();
  void progressShownWhileDownloading();
  void completionReenablesAndResets();
  void openAfterDownloadOpensTheFile();

 private:
  template <typename T>
  T* Control(const char* formName) {
    return window_->findChild<T*>(Name(formName));
  }
  QString PaneText() { return Control<QWidget>("状态条1")->findChild<QLabel*>("pane1")->text(); }
  void ShowAndActivate() {
    window_->show();
    window_->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window_));
  }

  MainWindow* window_ = nullptr;
  std::vector<ShownBox> boxes_;
  std::vector<std::string> opened_;  // UTF-8
  std::vector<std::string> resolveInputs_;
  int downloadWindowsOpened_ = 0;
};

void MainWindowTest::init() {
  InstallGuiBridge();
  boxes_.clear();
  opened_.clear();
  resolveInputs_.clear();
  downloadWindowsOpened_ = 0;
  SetMessageBoxHandler([this](const std::string& text, const std::string& title, int32_t style) {
    boxes_.push_back({GbkToUtf8(text), GbkToUtf8(title), style});
    return kIdOk;
  });
  SetShellOpenHandler([this](const std::string& target) {
    opened_.push_back(GbkToUtf8(target));
    return true;
  });
  AppState& app = App();
  app.downloadUrl.Set("");
  app.thunderUrl.Set("");
  app.bytesDone.store(0);
  app.bytesTotal.store(0);
  app.openAfterDownload.store(0);
  MainWindow::Options options;
  options.startUpdateCheck = false;
  options.progress.openWaitLimitMs = 5000;
  window_ = new MainWindow(options);
  window_->SetResolveStarter([this](const std::string& input) { resolveInputs_.push_back(input); });
  window_->SetDownloadWindowOpener([this] { ++downloadWindowsOpened_; });
}

void MainWindowTest::cleanup() {
  delete window_;
  window_ = nullptr;
  SetMessageBoxHandler(nullptr);
  SetShellOpenHandler(nullptr);
}

void MainWindowTest::startStatesAndTexts() {
  ShowAndActivate();
  QCOMPARE(window_->windowTitle(), Name("青杉网盘解析工具v2.0"));
  QCOMPARE(App().currentVersion.Get(), std::string("v2.0"));

  const struct {
    const char* name;
    QRect geometry;
    const char* text;
    bool enabled;
    bool visible;
  } controls[] = {
      {"编辑框2", {8, 16, 392, 30}, "请输入页面地址或文件ID", true, true},
      {"按钮1", {319, 17, 79, 27}, "解析", true, true},
      {"标签2", {8, 66, 56, 24}, "文件名：", true, true},
      {"编辑框1", {72, 64, 176, 30}, "", true, true},
      {"标签1", {22, 100, 48, 24}, "大小：", true, true},
      {"编辑框3", {72, 98, 176, 30}, "", true, true},
      {"图片框1", {264, 64, 136, 64}, "", true, true},
      {"编辑框4", {276, 138, 112, 30}, "", true, true},
      {"标签3", {392, 144, 16, 24}, "", true, true},
      {"图片框2", {16, 128, 48, 48}, "", true, false},
      {"按钮2", {72, 134, 56, 36}, "迅雷", false, true},
      {"按钮3", {132, 134, 56, 36}, "网页", false, true},
      {"按钮4", {192, 134, 56, 36}, "内置", false, true},
  };
  for (const auto& c : controls) {
    QWidget* control = Control<QWidget>(c.name);
    QVERIFY2(control, c.name);
    QCOMPARE(control->geometry(), c.geometry);
    QCOMPARE(control->isEnabled(), c.enabled);
    QCOMPARE(control->isVisible(), c.visible);
    QString text;
    if (auto* edit = qobject_cast<QLineEdit*>(control)) text = edit->text();
    if (auto* button = qobject_cast<QPushButton*>(control)) text = button->text();
    if (auto* label = qobject_cast<QLabel*>(control)) text = label->text();
    QCOMPARE(text, Name(c.text));
  }

  auto color = [&](const char* name) {
    return Control<QLineEdit>(name)->palette().color(QPalette::Text).rgb() & 0xFFFFFF;
  };
  QCOMPARE(color("编辑框2"), 0xC0C0C0u);
  QCOMPARE(color("编辑框1"), 0xFF5080u);
  QCOMPARE(color("编辑框3"), 0x0088FFu);
  QCOMPARE(color("编辑框4"), 0x000000u);

  // The progress bar sits in the first pane of the status bar; the second pane has the text.
  auto* bar = Control<QProgressBar>("进度条1");
  QWidget* statusBar = Control<QWidget>("状态条1");
  QCOMPARE(bar->parentWidget(), statusBar);
  QCOMPARE(bar->geometry(), statusBar->findChild<QLabel*>("pane0")->geometry());
  QCOMPARE(bar->width(), 260);
  QCOMPARE(statusBar->findChild<QLabel*>("pane1")->width(), 200);
  QCOMPARE(bar->value(), 0);
  QCOMPARE(PaneText(), Name("状态：准备就绪"));
  QCOMPARE(statusBar->geometry().bottom(), window_->height() - 1);

  // Nothing but the window holds the focus, so the placeholder stays.
  QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(window_));

  // The Chinese texts have a font that can draw them.
  for (const char* name : {"按钮1", "编辑框2", "标签2"}) {
    const QFont font = Control<QWidget>(name)->font();
    QVERIFY(QFontMetrics(font).inFont(QChar(0x89E3)));  // 解
    QCOMPARE(font.weight(), QFont::Normal);
  }
  QCOMPARE(Control<QWidget>("编辑框2")->font().pixelSize(), 12);
  QCOMPARE(Control<QWidget>("按钮1")->font().pixelSize(), 14);
  QCOMPARE(Control<QWidget>("标签2")->font().pixelSize(), 14);
}

void MainWindowTest::screenshot() {
  ShowAndActivate();
  QDir().mkpath(QS_ARTIFACTS_DIR);
  App().fileName.Set(Utf8ToGbkText("青杉测试文档.zip"));
  window_->Controls().编辑框1->SetText(Utf8ToGbkText("青杉测试文档.zip"));
  window_->Controls().编辑框3->SetText("12.5 MB");
  window_->Controls().进度条1->SetPosition(42);
  QVERIFY(window_->grab().save(QS_ARTIFACTS_DIR "/main_window.png"));
}

void MainWindowTest::placeholderLeavesAndReturns() {
  ShowAndActivate();
  auto* address = Control<QLineEdit>("编辑框2");
  auto textColor = [&] { return address->palette().color(QPalette::Text).rgb() & 0xFFFFFF; };
  QTest::mouseClick(address, Qt::LeftButton);
  QVERIFY(address->hasFocus());
  QCOMPARE(address->text(), QString());
  QCOMPARE(textColor(), 0x000000u);

  Control<QLineEdit>("编辑框4")->setFocus();  // leave it empty
  QCOMPARE(address->text(), Name("请输入页面地址或文件ID"));
  QCOMPARE(textColor(), 0xC0C0C0u);

  // A typed text survives leaving and coming back.
  address->setFocus();
  QTest::keyClicks(address, "10001");
  Control<QLineEdit>("编辑框4")->setFocus();
  address->setFocus();
  QCOMPARE(address->text(), QStringLiteral("10001"));
  QCOMPARE(textColor(), 0x000000u);
}

void MainWindowTest::typedPlaceholderStaysBlackAndIsRefused() {
  ShowAndActivate();
  auto* address = Control<QLineEdit>("编辑框2");
  address->setFocus();
  address->insert(Name("请输入页面地址或文件ID"));  // typed by the user, in black
  Control<QLineEdit>("编辑框4")->setFocus();
  address->setFocus();
  QCOMPARE(address->text(), Name("请输入页面地址或文件ID"));
  QCOMPARE(address->palette().color(QPalette::Text).rgb() & 0xFFFFFF, 0x000000u);

  QTest::mouseClick(Control<QPushButton>("按钮1"), Qt::LeftButton);
  QCOMPARE(boxes_.size(), size_t(1));
  QCOMPARE(boxes_[0].text, std::string("请填入地址"));
  QCOMPARE(boxes_[0].title, std::string("温馨提示："));
  QCOMPARE(boxes_[0].style, 64);
  QVERIFY(resolveInputs_.empty());
}

void MainWindowTest::enterRunsTheResolvePress() {
  ShowAndActivate();
  auto* address = Control<QLineEdit>("编辑框2");
  address->setFocus();
  QTest::keyClick(address, Qt::Key_Return);  // an empty box is refused
  QCOMPARE(boxes_.size(), size_t(1));
  QCOMPARE(boxes_[0].text, std::string("请填入地址"));

  QTest::keyClicks(address, "http://h/file/10001");
  Control<QPushButton>("按钮1")->setEnabled(false);  // Enter does not ask the button
  QTest::keyClick(address, Qt::Key_Return);
  QTest::keyClick(address, Qt::Key_Enter);
  QCOMPARE(resolveInputs_,
           (std::vector<std::string>{"http://h/file/10001", "http://h/file/10001"}));
  QCOMPARE(boxes_.size(), size_t(1));
  QCOMPARE(address->text(), QStringLiteral("http://h/file/10001"));  // Enter typed nothing
}

void MainWindowTest::handOffs_data() {
  QTest::addColumn<QString>("button");
  QTest::addColumn<QString>("downloadUrl");
  QTest::addColumn<QString>("thunderUrl");
  QTest::addColumn<QString>("opened");  // empty: "未获取到链接"
  QTest::addColumn<int>("downloadWindows");

  const QString web = QStringLiteral("http://127.0.0.1:9/down/10001/t");
  const QString thunder = QStringLiteral("thunder://QUFodHRwOi8vYVpa");
  QTest::newRow("迅雷 with link") << Name("按钮2") << web << thunder << thunder << 0;
  QTest::newRow("迅雷 without") << Name("按钮2") << web << QString() << QString() << 0;
  QTest::newRow("迅雷 magnet") << Name("按钮2") << QString() << QStringLiteral("magnet:?xt=1")
                               << QStringLiteral("magnet:?xt=1") << 0;
  QTest::newRow("迅雷 file:") << Name("按钮2") << web << QStringLiteral("file:///etc/passwd")
                              << QString() << 0;
  QTest::newRow("网页 with link") << Name("按钮3") << web << thunder << web << 0;
  QTest::newRow("网页 without") << Name("按钮3") << QString() << thunder << QString() << 0;
  QTest::newRow("网页 thunder:") << Name("按钮3") << thunder << QString() << QString() << 0;
  QTest::newRow("网页 local path")
      << Name("按钮3") << QStringLiteral("/usr/bin/xterm") << QString() << QString() << 0;
  QTest::newRow("内置 with link") << Name("按钮4") << web << QString() << QString() << 1;
  QTest::newRow("内置 thunder only") << Name("按钮4") << QString() << thunder << QString() << 0;
}

void MainWindowTest::handOffs() {
  QFETCH(QString, button);
  QFETCH(QString, downloadUrl);
  QFETCH(QString, thunderUrl);
  QFETCH(QString, opened);
  QFETCH(int, downloadWindows);
  ShowAndActivate();
  App().downloadUrl.Set(QStringToGbk(downloadUrl));
  App().thunderUrl.Set(QStringToGbk(thunderUrl));
  auto* pressed = window_->findChild<QPushButton*>(button);
  pressed->setEnabled(true);
  QTest::mouseClick(pressed, Qt::LeftButton);

  const bool handedOver = !opened.isEmpty() || downloadWindows > 0;
  QCOMPARE(opened_, opened.isEmpty() ? std::vector<std::string>()
                                     : std::vector<std::string>{opened.toStdString()});
  QCOMPARE(downloadWindowsOpened_, downloadWindows);
  QCOMPARE(boxes_.size(), size_t(handedOver ? 0 : 1));
  if (!handedOver) {
    QCOMPARE(boxes_[0].text, std::string("未获取到链接"));
    QCOMPARE(boxes_[0].title, std::string("温馨提示："));
    QCOMPARE(boxes_[0].style, 64);
  }
}

void MainWindowTest::progressShownWhileDownloading() {
  ShowAndActivate();  // activation starts 时钟1
  Control<QPushButton>("按钮4")->setEnabled(true);
  App().bytesTotal.store(100);
  App().bytesDone.store(42);
  QTRY_COMPARE(PaneText(), Name("状态：正在下载  42%"));
  QCOMPARE(Control<QProgressBar>("进度条1")->value(), 42);
  QVERIFY(!Control<QPushButton>("按钮1")->isEnabled());
  QVERIFY(!Control<QPushButton>("按钮4")->isEnabled());
  QVERIFY(Control<QTimer>("时钟1")->isActive());
}

void MainWindowTest::completionReenablesAndResets() {
  ShowAndActivate();
  App().bytesTotal.store(100);
  App().bytesDone.store(150);
  QTRY_COMPARE(PaneText(), Name("状态：下载完成"));
  QCOMPARE(Control<QProgressBar>("进度条1")->value(), 100);  // the bar is full
  QCOMPARE(window_->Controls().进度条1->Position(), 150);    // the stored position is not
  QVERIFY(Control<QPushButton>("按钮1")->isEnabled());
  QVERIFY(Control<QPushButton>("按钮4")->isEnabled());
  QCOMPARE(App().bytesDone.load(), int64_t(0));
  QCOMPARE(App().bytesTotal.load(), int64_t(0));
  QVERIFY(!Control<QTimer>("时钟1")->isActive());
  QVERIFY(opened_.empty());
}

void MainWindowTest::openAfterDownloadOpensTheFile() {
  QTemporaryDir folder;
  ShowAndActivate();
  App().saveFolder.Set(Utf8ToGbkText(folder.path().toStdString()));
  App().fileName.Set(Utf8ToGbkText("青杉测试文档.zip"));
  App().openAfterDownload.store(1);
  DownloadOutcome().store(kDownloadOutcomeRunning);
  const std::string target = folder.path().toStdString() + "/青杉测试文档.zip";
  // The file turns up while the window waits for it, which keeps handling its events.
  QTimer::singleShot(300, [&] { std::ofstream(target) << "x"; });
  App().bytesTotal.store(3355443);
  App().bytesDone.store(3355443);
  QTRY_COMPARE(opened_, std::vector<std::string>{target});
  QVERIFY(!Control<QTimer>("时钟1")->isActive());
}

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
