// The main window: address box, "解析", file name and size, the verification image and
// its box, the three hand-offs, the progress bar inside the status bar, the busy
// animation, and the timer that shows the built-in downloader's progress.
#pragma once

#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "app/progress_display.h"
#include "platform/controls.h"
#include "platform/gui_bridge_qt.h"

class MainWindow : public QWidget {
 public:
  struct Options {
    bool startUpdateCheck = true;  // tests of the window leave the update check out
    ProgressDisplayOptions progress;
  };

  MainWindow();
  explicit MainWindow(const Options& options);

  // The handles through which workers act on this window's controls.
  const MainWindowControls& Controls() const { return controls_; }

  // Where later work plugs in. Each runs on the GUI thread.
  // The "解析" press once the address box passed its check; gets the box's text.
  void SetResolveStarter(std::function<void(const std::string& input)> starter);
  // "内置" with a download address.
  void SetDownloadWindowOpener(std::function<void()> opener);
  // The left mouse button pressed on 图片框1.
  void SetCaptchaRefresher(std::function<void()> refresher);
  // The window is about to be destroyed; the program ends here.
  void SetProgramEnd(std::function<void()> end);

  // The handlers, public so that keys, clicks and ticks all reach the same code.
  void ResolvePressed();
  void ThunderPressed();
  void WebPressed();
  void BuiltInPressed();
  void ProgressTick();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  bool event(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void CreateControls();
  void CreateHandles();
  void ConnectHandlers();
  void RunCreationSteps();
  void AddressFocusIn();
  void AddressFocusOut();
  void AddressTextChanged(const QString& text);
  void SetAddressColor(QRgb color);
  void HandOff(const std::string& link, bool (*opens)(const std::string&));

  Options options_;
  QLineEdit* 编辑框2 = nullptr;
  QPushButton* 按钮1 = nullptr;
  QLabel* 标签2 = nullptr;
  QLineEdit* 编辑框1 = nullptr;
  QLabel* 标签1 = nullptr;
  QLineEdit* 编辑框3 = nullptr;
  PictureLabel* 图片框1 = nullptr;
  QLineEdit* 编辑框4 = nullptr;
  FeedbackLabel* 标签3 = nullptr;
  BusyAnimation* 图片框2 = nullptr;
  QPushButton* 按钮2 = nullptr;
  QPushButton* 按钮3 = nullptr;
  QPushButton* 按钮4 = nullptr;
  PositionBar* 进度条1 = nullptr;
  PaneStatusBar* 状态条1 = nullptr;
  QTimer* 时钟1 = nullptr;
  QRgb addressColor_ = 0;

  std::unique_ptr<QtEditBox> editBox1_, editBox2_, editBox3_, editBox4_;
  std::unique_ptr<QtButton> button1_, button2_, button3_, button4_;
  std::unique_ptr<QtLabel> label3_;
  std::unique_ptr<QtPictureBox> picture1_, picture2_;
  std::unique_ptr<QtProgressBar> progress1_;
  std::unique_ptr<QtStatusBar> status1_;
  std::unique_ptr<QtTimer> timer1_;
  std::unique_ptr<QtWindow> window_;
  MainWindowControls controls_;

  std::function<void(const std::string&)> resolveStarter_;
  std::function<void()> downloadWindowOpener_;
  std::function<void()> programEnd_;
};

// The window font "微软雅黑" at a pixel height, falling back to an installed CJK font.
QFont MainWindowFont(int pixelSize);
