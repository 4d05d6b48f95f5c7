// The download window: the built-in downloader's front end. It shows the resolved address,
// file name and size, lets the user change the name and pick the folder (remembered in the
// save-folder file), and starts the download worker, which closes the window at its end.
// Progress is shown by the main window's timer, not here.
#pragma once

#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QString>
#include <QWidget>
#include <functional>
#include <string>

// The folder-browse dialog: returns the chosen folder, or an empty text on cancel.
using FolderDialog = std::function<QString(QWidget* owner, const QString& prompt)>;
// Replaces the system dialog (tests); an empty function brings the system dialog back.
void SetFolderDialog(FolderDialog dialog);

class DownloadWindow : public QWidget {
 public:
  // mainWindow becomes the active window when a download starts. The window deletes
  // itself when it is closed.
  explicit DownloadWindow(QWidget* mainWindow);

  // The handlers, public so that clicks and tests reach the same code.
  void BrowsePressed();
  void DownloadPressed(bool openAfterDownload);
  void CancelPressed();
  void FastDownloadPressed();

 private:
  void CreateControls();
  void ConnectHandlers();
  void RunCreatedHandler();
  void RememberFolder(const std::string& folder);
  void StartWorker();

  QPointer<QWidget> mainWindow_;
  QLabel* 标签1 = nullptr;
  QLineEdit* 编辑框2 = nullptr;
  QLabel* 标签2 = nullptr;
  QLineEdit* 编辑框1 = nullptr;
  QLabel* 标签5 = nullptr;
  QLabel* 标签3 = nullptr;
  QLineEdit* 编辑框3 = nullptr;
  QPushButton* 按钮1 = nullptr;
  QLabel* 标签4 = nullptr;
  QPushButton* 按钮5 = nullptr;
  QPushButton* 按钮2 = nullptr;
  QPushButton* 按钮3 = nullptr;
  QPushButton* 按钮4 = nullptr;
};
