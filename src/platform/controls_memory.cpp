#include "platform/controls_memory.h"

#include <algorithm>

#include "platform/codepage.h"

std::string MemoryEditBox::GetText() {
  std::lock_guard<std::mutex> lock(mutex_);
  return text_;
}

void MemoryEditBox::SetText(const std::string& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  text_ = text;
  history_.push_back(text);
}

void MemoryEditBox::SetFocus() {
  std::lock_guard<std::mutex> lock(mutex_);
  ++focusCount_;
}

int32_t MemoryEditBox::FocusCount() {
  std::lock_guard<std::mutex> lock(mutex_);
  return focusCount_;
}

std::vector<std::string> MemoryEditBox::History() {
  std::lock_guard<std::mutex> lock(mutex_);
  return history_;
}

void MemoryButton::SetEnabled(bool enabled) {
  std::lock_guard<std::mutex> lock(mutex_);
  enabled_ = enabled;
}

bool MemoryButton::IsEnabled() {
  std::lock_guard<std::mutex> lock(mutex_);
  return enabled_;
}

void MemoryLabel::SetText(const std::string& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  text_ = text;
}

std::string MemoryLabel::GetText() {
  std::lock_guard<std::mutex> lock(mutex_);
  return text_;
}

void MemoryLabel::RaiseFeedback() {
  std::function<void()> handler;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ++feedbackCount_;
    handler = handler_;
  }
  if (handler) handler();
}

void MemoryLabel::SetFeedbackHandler(std::function<void()> handler) {
  std::lock_guard<std::mutex> lock(mutex_);
  handler_ = std::move(handler);
}

int32_t MemoryLabel::FeedbackCount() {
  std::lock_guard<std::mutex> lock(mutex_);
  return feedbackCount_;
}

void MemoryPictureBox::SetImage(const std::string& imageBytes) {
  std::lock_guard<std::mutex> lock(mutex_);
  image_ = imageBytes;
  history_.push_back(imageBytes);
}

void MemoryPictureBox::SetVisible(bool visible) {
  std::lock_guard<std::mutex> lock(mutex_);
  visible_ = visible;
}

bool MemoryPictureBox::IsVisible() {
  std::lock_guard<std::mutex> lock(mutex_);
  return visible_;
}

std::string MemoryPictureBox::Image() {
  std::lock_guard<std::mutex> lock(mutex_);
  return image_;
}

std::vector<std::string> MemoryPictureBox::ImageHistory() {
  std::lock_guard<std::mutex> lock(mutex_);
  return history_;
}

void MemoryProgressBar::SetPosition(int32_t position) {
  std::lock_guard<std::mutex> lock(mutex_);
  position_ = std::clamp<int32_t>(position, 0, 32767);
  history_.push_back(position_);
}

int32_t MemoryProgressBar::Position() {
  std::lock_guard<std::mutex> lock(mutex_);
  return position_;
}

std::vector<int32_t> MemoryProgressBar::History() {
  std::lock_guard<std::mutex> lock(mutex_);
  return history_;
}

void MemoryStatusBar::SetPaneText(int32_t pane, const std::string& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  texts_[pane] = text;
  history_[pane].push_back(text);
}

std::string MemoryStatusBar::PaneText(int32_t pane) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = texts_.find(pane);
  return it == texts_.end() ? std::string() : it->second;
}

std::vector<std::string> MemoryStatusBar::History(int32_t pane) {
  std::lock_guard<std::mutex> lock(mutex_);
  return history_[pane];
}

void MemoryTimer::SetPeriod(uint32_t milliseconds) {
  std::lock_guard<std::mutex> lock(mutex_);
  period_ = milliseconds;
}

uint32_t MemoryTimer::Period() {
  std::lock_guard<std::mutex> lock(mutex_);
  return period_;
}

void MemoryWindow::Show() {
  std::lock_guard<std::mutex> lock(mutex_);
  visible_ = true;
}

void MemoryWindow::Hide() {
  std::lock_guard<std::mutex> lock(mutex_);
  visible_ = false;
}

void MemoryWindow::Activate() {
  std::lock_guard<std::mutex> lock(mutex_);
  ++activateCount_;
}

void MemoryWindow::Close() {
  std::lock_guard<std::mutex> lock(mutex_);
  visible_ = false;
  closed_ = true;
}

bool MemoryWindow::IsVisible() {
  std::lock_guard<std::mutex> lock(mutex_);
  return visible_;
}

bool MemoryWindow::IsClosed() {
  std::lock_guard<std::mutex> lock(mutex_);
  return closed_;
}

int32_t MemoryWindow::ActivateCount() {
  std::lock_guard<std::mutex> lock(mutex_);
  return activateCount_;
}

MemoryMainWindow::MemoryMainWindow() {
  状态条1.SetPaneText(1, Utf8ToGbkText("状态：准备就绪"));
  标签3.SetFeedbackHandler([this] { 编辑框4.SetFocus(); });
}

MainWindowControls MemoryMainWindow::Controls() {
  MainWindowControls c;
  c.编辑框1 = &编辑框1;
  c.编辑框2 = &编辑框2;
  c.编辑框3 = &编辑框3;
  c.编辑框4 = &编辑框4;
  c.按钮1 = &按钮1;
  c.按钮2 = &按钮2;
  c.按钮3 = &按钮3;
  c.按钮4 = &按钮4;
  c.标签3 = &标签3;
  c.图片框1 = &图片框1;
  c.图片框2 = &图片框2;
  c.进度条1 = &进度条1;
  c.状态条1 = &状态条1;
  c.时钟1 = &时钟1;
  c.window = &window;
  return c;
}
