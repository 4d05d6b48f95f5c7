// The GUI bridge offscreen: calls from a worker carried to the GUI thread and finished
// before the worker goes on, texts that keep their bytes, message boxes asked for by a
// worker or by the GUI thread.
#include <QApplication>
#include <QBuffer>
#include <QImage>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>
#include <QtTest>
#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "platform/codepage.h"
#include "platform/controls.h"
#include "platform/gui_bridge_qt.h"
#include "platform/message_box.h"

namespace {

QMessageBox* ShownMessageBox() {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    auto* box = qobject_cast<QMessageBox*>(widget);
    if (box && box->isVisible()) return box;
  }
  return nullptr;
}

QByteArray JpegBytes(int width, int height) {
  QImage image(width, height, QImage::Format_RGB32);
  image.fill(Qt::darkCyan);
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "JPG");
  return bytes;
}

// A worker thread that runs one job and says when it is done, so the test can keep the
// GUI thread's events flowing (the worker's calls need them) until then.
class Worker {
 public:
  explicit Worker(std::function<void()> job)
      : thread_([this, job] {
          job();
          done_ = true;
        }) {}
  ~Worker() { thread_.join(); }
  bool Done() const { return done_; }

 private:
  std::atomic<bool> done_{false};
  std::thread thread_;
};

}  // namespace

class GuiBridgeTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { InstallGuiBridge(); }
  void workerCallsRunOnTheGuiThreadBeforeTheWorkerGoesOn();
  void textsKeepTheirBytesUntilEdited();
  void pictureBoxShowsAndClears();
  void progressPositionIsHeldButDrawnWithinRange();
  void workerMessageBoxLeavesTheWindowsUsable();
  void guiThreadMessageBoxIsModal();
  void pendingMessagesAreHandledOnTheGuiThreadOnly();
};

void GuiBridgeTest::workerCallsRunOnTheGuiThreadBeforeTheWorkerGoesOn() {
  QWidget window;
  auto* edit = new QLineEdit(&window);
  auto* button = new QPushButton(&window);
  auto* feedback = new FeedbackLabel(&window);
  window.show();
  QThread* changedOn = nullptr;
  connect(edit, &QLineEdit::textChanged, [&] { changedOn = QThread::currentThread(); });
  QThread* feedbackOn = nullptr;
  feedback->feedbackHandler = [&] {
    feedbackOn = QThread::currentThread();
    edit->setFocus();
  };
  QtEditBox editBox(edit);
  QtButton buttonHandle(button);
  QtLabel label(feedback);

  std::string readBack;
  bool enabledSeen = true;
  bool focusSeen = false;
  Worker worker([&] {
    editBox.SetText(Utf8ToGbkText("青杉网盘"));
    readBack = editBox.GetText();
    buttonHandle.SetEnabled(false);
    enabledSeen = buttonHandle.IsEnabled();
    label.RaiseFeedback();
    focusSeen = edit->hasFocus();  // the handler has finished by now
  });
  QTRY_VERIFY(worker.Done());
  QCOMPARE(readBack, Utf8ToGbkText("青杉网盘"));
  QCOMPARE(edit->text(), QStringLiteral("青杉网盘"));
  QCOMPARE(changedOn, QApplication::instance()->thread());
  QCOMPARE(feedbackOn, QApplication::instance()->thread());
  QVERIFY(!enabledSeen);
  QVERIFY(!button->isEnabled());
  QVERIFY(focusSeen);
}

void GuiBridgeTest::textsKeepTheirBytesUntilEdited() {
  QLineEdit edit;
  edit.show();
  QtEditBox box(&edit);
  const std::string cases[] = {
      Utf8ToGbkText("http://127.0.0.1/down/10001/青杉"),
      std::string("http://h/\x81\x20\xFF\x80x", 14),  // not GBK: shown with U+FFFD
      "",
  };
  for (const std::string& bytes : cases) {
    box.SetText(bytes);
    QCOMPARE(box.GetText(), bytes);
  }
  box.SetText(cases[1]);
  edit.setFocus();
  edit.end(false);
  QTest::keyClicks(&edit, "y");  // an edited text is read as what it shows now
  QCOMPARE(box.GetText(), QStringToGbk(edit.text()));
  QVERIFY(box.GetText() != cases[1] + "y");
}

void GuiBridgeTest::pictureBoxShowsAndClears() {
  PictureLabel picture;
  picture.resize(136, 64);
  QtPictureBox box(&picture);
  const QByteArray jpeg = JpegBytes(136, 64);
  box.SetImage(std::string(jpeg.constData(), static_cast<size_t>(jpeg.size())));
  QCOMPARE(picture.pixmap().size(), QSize(136, 64));
  box.SetImage("not an image");
  QVERIFY(picture.pixmap().isNull());
  box.SetImage(std::string(jpeg.constData(), static_cast<size_t>(jpeg.size())));
  box.SetImage("");
  QVERIFY(picture.pixmap().isNull());
  box.SetVisible(false);
  QVERIFY(!box.IsVisible());
}

void GuiBridgeTest::progressPositionIsHeldButDrawnWithinRange() {
  PositionBar bar;
  QtProgressBar handle(&bar);
  const struct {
    int32_t set;
    int32_t stored;
    int drawn;
  } cases[] = {{42, 42, 42}, {150, 150, 100}, {40000, 32767, 100}, {-3, 0, 0}, {100, 100, 100}};
  for (const auto& c : cases) {
    handle.SetPosition(c.set);
    QCOMPARE(handle.Position(), c.stored);
    QCOMPARE(bar.value(), c.drawn);
  }
}

void GuiBridgeTest::workerMessageBoxLeavesTheWindowsUsable() {
  QLineEdit edit;
  edit.show();
  std::atomic<int32_t> answer{0};
  Worker worker([&] {
    answer = ShowMessageBox(Utf8ToGbkText("发现新版本：青杉网盘解析工具v2.1\r\n\r\n一"),
                            Utf8ToGbkText("更新提示："), kMbOk | kMbIconInformation);
  });
  QTRY_VERIFY(ShownMessageBox() != nullptr);
  QMessageBox* box = ShownMessageBox();
  QCOMPARE(box->windowTitle(), QStringLiteral("更新提示："));
  QCOMPARE(box->text(), QStringLiteral("发现新版本：青杉网盘解析工具v2.1\n\n一"));
  QCOMPARE(box->icon(), QMessageBox::Information);
  QCOMPARE(box->parentWidget(), nullptr);
  QCOMPARE(box->standardButtons(), QMessageBox::Ok);
  QCOMPARE(QApplication::activeModalWidget(), nullptr);
  // The other window still takes input while the worker waits.
  QVERIFY(!worker.Done());
  edit.setFocus();
  QTest::keyClicks(&edit, "ok");
  QCOMPARE(edit.text(), QStringLiteral("ok"));
  QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
  QTRY_VERIFY(worker.Done());
  QCOMPARE(answer.load(), kIdOk);

  // A question from a worker answered No, and one closed by its title bar.
  for (bool closeByTitleBar : {false, true}) {
    Worker asking([&] {
      answer = ShowMessageBox(Utf8ToGbkText(" 文件已存在，是否继续下载？"), "",
                              kMbYesNo | kMbIconQuestion);
    });
    QTRY_VERIFY(ShownMessageBox() != nullptr);
    QMessageBox* question = ShownMessageBox();
    QCOMPARE(question->windowTitle(), QStringLiteral("信息："));
    QCOMPARE(question->icon(), QMessageBox::Question);
    if (closeByTitleBar) {
      question->close();
    } else {
      QTest::mouseClick(question->button(QMessageBox::No), Qt::LeftButton);
    }
    QTRY_VERIFY(asking.Done());
    QCOMPARE(answer.load(), kIdNo);
  }
}

void GuiBridgeTest::guiThreadMessageBoxIsModal() {
  bool wasModal = false;
  QTimer poll;
  connect(&poll, &QTimer::timeout, [&] {
    QMessageBox* box = ShownMessageBox();
    if (!box) return;
    wasModal = QApplication::activeModalWidget() == box;
    poll.stop();
    QTest::mouseClick(box->button(QMessageBox::Yes), Qt::LeftButton);
  });
  poll.start(20);
  const int32_t answer = ShowMessageBox("?", "t", kMbYesNo | kMbIconQuestion);
  QCOMPARE(answer, kIdYes);
  QVERIFY(wasModal);
}

void GuiBridgeTest::pendingMessagesAreHandledOnTheGuiThreadOnly() {
  bool handled = false;
  QTimer::singleShot(0, [&] { handled = true; });
  Worker worker([] { ProcessPendingMessages(); });
  while (!worker.Done()) QThread::msleep(1);  // the worker does not need the GUI thread
  QVERIFY(!handled);
  ProcessPendingMessages();
  QVERIFY(handled);
}

QTEST_MAIN(GuiBridgeTest)
#include "gui_bridge_test.moc"
