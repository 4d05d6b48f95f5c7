// In-memory control handles for tests of workers: every call is safe from any thread,
// and the values a worker set are kept in order so a test can read the whole sequence.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/controls.h"

class MemoryEditBox : public EditBox {
 public:
  std::string GetText() override;
  void SetText(const std::string& text) override;
  void SetFocus() override;
  int32_t FocusCount();                // how often the focus was put here
  std::vector<std::string> History();  // every text set, in order

 private:
  std::mutex mutex_;
  std::string text_;
  int32_t focusCount_ = 0;
  std::vector<std::string> history_;
};

class MemoryButton : public Button {
 public:
  explicit MemoryButton(bool enabled = false) : enabled_(enabled) {}
  void SetEnabled(bool enabled) override;
  bool IsEnabled() override;

 private:
  std::mutex mutex_;
  bool enabled_;
};

class MemoryLabel : public Label {
 public:
  void SetText(const std::string& text) override;
  std::string GetText();
  void RaiseFeedback() override;  // runs the feedback handler on the calling thread
  void SetFeedbackHandler(std::function<void()> handler);
  int32_t FeedbackCount();

 private:
  std::mutex mutex_;
  std::string text_;
  int32_t feedbackCount_ = 0;
  std::function<void()> handler_;
};

class MemoryPictureBox : public PictureBox {
 public:
  explicit MemoryPictureBox(bool visible = true) : visible_(visible) {}
  void SetImage(const std::string& imageBytes) override;
  void SetVisible(bool visible) override;
  bool IsVisible() override;
  std::string Image();
  std::vector<std::string> ImageHistory();

 private:
  std::mutex mutex_;
  bool visible_;
  std::string image_;
  std::vector<std::string> history_;
};

class MemoryProgressBar : public ProgressBar {
 public:
  void SetPosition(int32_t position) override;
  int32_t Position() override;
  std::vector<int32_t> History();  // every stored position, in order

 private:
  std::mutex mutex_;
  int32_t position_ = 0;
  std::vector<int32_t> history_;
};

class MemoryStatusBar : public StatusBar {
 public:
  void SetPaneText(int32_t pane, const std::string& text) override;
  std::string PaneText(int32_t pane) override;
  std::vector<std::string> History(int32_t pane);

 private:
  std::mutex mutex_;
  std::map<int32_t, std::string> texts_;
  std::map<int32_t, std::vector<std::string>> history_;
};

class MemoryTimer : public Timer {
 public:
  void SetPeriod(uint32_t milliseconds) override;
  uint32_t Period() override;

 private:
  std::mutex mutex_;
  uint32_t period_ = 0;
};

class MemoryWindow : public Window {
 public:
  void Show() override;
  void Hide() override;
  void Activate() override;
  void Close() override;
  bool IsVisible();
  bool IsClosed();
  int32_t ActivateCount();

 private:
  std::mutex mutex_;
  bool visible_ = true;
  bool closed_ = false;
  int32_t activateCount_ = 0;
};

// The main window's controls in their start states; the feedback event of 标签3 moves
// the focus into 编辑框4, as the real window does.
class MemoryMainWindow {
 public:
  MemoryMainWindow();
  MainWindowControls Controls();

  MemoryEditBox 编辑框1, 编辑框2, 编辑框3, 编辑框4;
  MemoryButton 按钮1{true}, 按钮2, 按钮3, 按钮4;
  MemoryLabel 标签3;
  MemoryPictureBox 图片框1{true}, 图片框2{false};
  MemoryProgressBar 进度条1;
  MemoryStatusBar 状态条1;
  MemoryTimer 时钟1;
  MemoryWindow window;
};
