// The whole program as a child process against the demo service: a newer version on the
// update page is announced, its address opened and the program ended with 0. Message
// boxes and shell opens go through the program's test switches.
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

constexpr int kBoundMs = 30000;

// The demo service on a free port, stopped when the test ends.
class Demo {
 public:
  explicit Demo(const QString& version) {
    process_.start(QS_DEMO_BINARY, {"--port", "0", "--announce-version", version});
    if (process_.waitForStarted(kBoundMs)) {
      while (!process_.canReadLine() && process_.waitForReadyRead(kBoundMs)) {
      }
      baseUrl_ = QString::fromUtf8(process_.readLine()).trimmed();
    }
  }
  ~Demo() {
    process_.terminate();
    if (!process_.waitForFinished(kBoundMs)) process_.kill();
    process_.waitForFinished(kBoundMs);
  }
  const QString& BaseUrl() const { return baseUrl_; }

 private:
  QProcess process_;
  QString baseUrl_;
};

struct Run {
  bool finished = false;
  int exitCode = -1;
  QString messages;  // the stderr lines of the message-box switch
  QString opened;    // the shell log
};

Run RunProgram(const QString& updateUrl, const QString& serviceHost,
               const QProcessEnvironment& extra = QProcessEnvironment()) {
  QTemporaryDir home;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("QT_QPA_PLATFORM", "offscreen");
  env.insert("HOME", home.path());
  env.insert("XDG_CONFIG_HOME", home.path() + "/config");
  env.insert("QINGSHAN_SERVICE_HOST", serviceHost);
  env.insert("QINGSHAN_UPDATE_URL", updateUrl);
  env.insert("QINGSHAN_TEST_AUTOCLOSE_MESSAGES", "1");
  env.insert("QINGSHAN_TEST_SHELL_LOG", home.path() + "/shell.log");
  env.insert(extra);
  QProcess program;
  program.setProcessEnvironment(env);
  program.start(QS_QINGSHAN_BINARY, {});
  Run run;
  run.finished = program.waitForStarted(kBoundMs) && program.waitForFinished(kBoundMs);
  if (!run.finished) {
    program.kill();
    program.waitForFinished(kBoundMs);
    return run;
  }
  run.exitCode = program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -1;
  for (const QString& line : QString::fromUtf8(program.readAllStandardError()).split('\n')) {
    if (line.startsWith("qingshan-message: ")) run.messages += line + "\n";
  }
  QFile log(home.path() + "/shell.log");
  if (log.open(QIODevice::ReadOnly)) run.opened = QString::fromUtf8(log.readAll());
  return run;
}

}  // namespace

class UpdateProcessTest : public QObject {
  Q_OBJECT

 private slots:
  void newerVersionIsAnnouncedOpenedAndEndsTheProgram_data();
  void newerVersionIsAnnouncedOpenedAndEndsTheProgram();
  void closingTheWindowEndsTheProgramWhileAWorkerWaits();
};

void UpdateProcessTest::newerVersionIsAnnouncedOpenedAndEndsTheProgram_data() {
  QTest::addColumn<QString>("version");
  QTest::newRow("newer") << "v2.1";
  QTest::newRow("older") << "v1.9";
  QTest::newRow("capital V") << "V2.0";
}

void UpdateProcessTest::newerVersionIsAnnouncedOpenedAndEndsTheProgram() {
  QFETCH(QString, version);
  Demo demo(version);
  QVERIFY2(demo.BaseUrl().startsWith("http://127.0.0.1:"), "the demo service did not start");
  const Run run = RunProgram(demo.BaseUrl() + "/?p=38", demo.BaseUrl());
  QVERIFY2(run.finished, "the program did not end by itself");
  QCOMPARE(run.exitCode, 0);
  QCOMPARE(run.messages, QString("qingshan-message: title=更新提示： style=64 text=发现新版本："
                                 "青杉网盘解析工具" +
                                 version + "\\r\\n\\r\\nline1\\r\\nline2\\r\\nline3\\r\\n\n"));
  QCOMPARE(run.opened, demo.BaseUrl() + "/release/qingshan-" + version + ".tar.gz\n");
}

void UpdateProcessTest::closingTheWindowEndsTheProgramWhileAWorkerWaits() {
  Demo demo("v2.1");
  QVERIFY2(demo.BaseUrl().startsWith("http://127.0.0.1:"), "the demo service did not start");
  // The update check's box is really shown and never answered: its thread waits in it
  // when the window closes.
  QProcessEnvironment extra;
  extra.insert("QINGSHAN_TEST_AUTOCLOSE_MESSAGES", "0");
  extra.insert("QINGSHAN_TEST_CLOSE_AFTER_MS", "1500");
  const Run run = RunProgram(demo.BaseUrl() + "/?p=38", demo.BaseUrl(), extra);
  QVERIFY2(run.finished, "the program did not end when its window closed");
  QCOMPARE(run.exitCode, 0);
  QCOMPARE(run.opened, QString());
}

QTEST_GUILESS_MAIN(UpdateProcessTest)
#include "update_process_test.moc"
