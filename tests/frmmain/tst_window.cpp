#include "frmmain/panel_layout.h"
#include "frmmain/panel_widgets.h"
#include "pty_pair.h"
#include "window_fixture.h"

#include <QDesktopServices>
#include <QProcess>
#include <QTest>
#include <QTimer>

#include <QTemporaryFile>

#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace {

const QString kOpen = QStringLiteral("打开串口");
const QString kClose = QStringLiteral("关闭串口");

// Receives the pages the window asks the desktop to open.
class UrlCatcher : public QObject {
    Q_OBJECT

public:
    QList<QUrl> urls;

public slots:
    void open(const QUrl& url) { urls << url; }
};

// What the program writes to its standard error while one of these lives.
class StderrCapture {
public:
    StderrCapture()
    {
        file_.open();
        std::fflush(stderr);
        saved_ = ::dup(STDERR_FILENO);
        ::dup2(file_.handle(), STDERR_FILENO);
    }
    ~StderrCapture()
    {
        std::fflush(stderr);
        ::dup2(saved_, STDERR_FILENO);
        ::close(saved_);
    }
    StderrCapture(const StderrCapture&) = delete;
    StderrCapture& operator=(const StderrCapture&) = delete;

    QString text()
    {
        std::fflush(stderr);
        file_.seek(0);
        return QString::fromLocal8Bit(file_.readAll());
    }

private:
    QTemporaryFile file_;
    int saved_ = -1;
};

} // namespace

class TestWindow : public QObject {
    Q_OBJECT

private:
    static QColor lamp(const WindowFixture& f) { return f.get<Lamp>("Shape1")->colour(); }

    static void verifyClosed(const WindowFixture& f)
    {
        QCOMPARE(f.button("Command1")->text(), kOpen);
        QCOMPARE(lamp(f), QColor(0, 0, 0));
        QCOMPARE(f.window->openPort(), 0);
    }

    static void verifyOpen(const WindowFixture& f, int port)
    {
        QCOMPARE(f.button("Command1")->text(), kClose);
        QCOMPARE(lamp(f), QColor(0, 255, 0));
        QCOMPARE(f.window->openPort(), port);
    }

private slots:
    void startUpFromTheSettingsFile_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("port");
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("baud");
        QTest::newRow("3 and 19200") << QByteArray("3\r\n19200\r\n") << "COM3" << 2 << "19200";
        QTest::newRow("LF endings") << QByteArray("9\n4800\n") << "COM9" << 8 << "4800";
        QTest::newRow("no port") << QByteArray("0\r\n9600\r\n") << "COM0" << -1 << "9600";
        QTest::newRow("missing file") << QByteArray() << "COM1" << 0 << "9600";
        QTest::newRow("junk") << QByteArray("\xff\xfe\x00\x01", 4) << "COM1" << 0 << "9600";
    }

    void startUpFromTheSettingsFile()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, port);
        QFETCH(int, index);
        QFETCH(QString, baud);
        WindowFixture f;
        if (!content.isEmpty())
            f.writeSettings(content);
        frmmain& w = f.start();

        QCOMPARE(f.combo("Combo1")->currentText(), port);
        QCOMPARE(f.combo("Combo1")->currentIndex(), index);
        QCOMPARE(w.selectedPort(), index + 1);
        QCOMPARE(f.combo("Combo2")->currentText(), baud);
        QCOMPARE(f.combo("Combo3")->currentText(), QStringLiteral("无校验"));
        QCOMPARE(f.combo("Combo4")->currentText(), QStringLiteral("8"));
        QCOMPARE(f.combo("Combo5")->currentText(), QStringLiteral("1"));
        QCOMPARE(f.combo("Combo6")->currentText(), QStringLiteral("9600"));
        QCOMPARE(f.combo("Combo_Addr(0)")->count(), 254);
        QCOMPARE(f.combo("Combo_Addr(2)")->count(), 255);
        QCOMPARE(f.combo("Combo_Addr(0)")->currentText(), QStringLiteral("1"));
        QCOMPARE(f.combo("Combo_Addr(2)")->currentText(), QStringLiteral("1"));
        const QStringList expected { "Text3=5.0", "Text12=1", "Text4=1000", "Text5=1000",
            "Text10=1000", "Text11=1000", "Text13=1000", "Text6=50.0", "Text7=50.0", "Text8=50.0",
            "Text9=50.0", "Text14=50.0", "Text1(0)=", "Text2=", "Message_Show=" };
        for (const QString& pair : expected) {
            const QStringList kv = pair.split('=');
            QCOMPARE(f.field(qPrintable(kv[0]))->text(), kv[1]);
        }
        for (const char* name : { "Command4", "Command6", "Command7", "Command8", "Command9" })
            QCOMPARE(f.button(name)->text(), QStringLiteral("OFF"));
        QCOMPARE(f.button("Command5")->text(), QStringLiteral("UnLock"));
        for (int i = 0; i <= 5; ++i)
            QCOMPARE(f.get<Indicator>(qPrintable(QStringLiteral("Label15(%1)").arg(i)))->colour(),
                QColor(Qt::white));
        QCOMPARE(f.get<QLabel>("Label19")->text(), QStringLiteral("0.00V"));
        QVERIFY(!f.get<QTimer>("Timer1")->isActive());
        verifyClosed(f);
        QVERIFY(f.messages->texts.isEmpty());
    }

    void windowAndControlNames()
    {
        WindowFixture f;
        frmmain& w = f.start();
        QCOMPARE(w.windowTitle(), QStringLiteral("PWM5 五路 PWM 信号发生器控制台"));
        QCOMPARE(w.size(), QSize(954, 488));
        int named = 0;
        for (QWidget* child : w.findChildren<QWidget*>()) {
            if (child->accessibleDescription().isEmpty())
                continue;
            ++named;
            QCOMPARE(child->accessibleDescription(), child->objectName());
            QVERIFY2(child->accessibleName().isEmpty(), qPrintable(child->objectName()));
        }
        QCOMPARE(named, int(panel::controls().size()) + 1); // and Label25 inside the picture
        for (const char* name : { "Command1", "Combo_Addr(2)", "Combo_Addr(0)", "Label15(1)",
                 "Text1(0)", "Picture1(1)", "Label25", "Message_Show", "Command_OK1" })
            QVERIFY2(w.findChild<QWidget*>(QString::fromUtf8(name)), name);
    }

    void storedAtClose_data()
    {
        QTest::addColumn<QString>("port");
        QTest::addColumn<QString>("baud");
        QTest::addColumn<QByteArray>("stored");
        QTest::newRow("COM5 at 115200") << "COM5"
                                        << "115200" << QByteArray("5\r\n115200\r\n");
        QTest::newRow("no selection") << ""
                                      << "9600" << QByteArray("0\r\n9600\r\n");
        QTest::newRow("typed rate as typed") << "COM2"
                                             << "1200" << QByteArray("2\r\n1200\r\n");
    }

    void storedAtClose()
    {
        QFETCH(QString, port);
        QFETCH(QString, baud);
        QFETCH(QByteArray, stored);
        WindowFixture f;
        f.writeSettings("3\r\n19200\r\nthird line\r\n");
        frmmain& w = f.start();
        if (port.isEmpty())
            f.combo("Combo1")->setEditText(QStringLiteral("COM"));
        else
            f.pick("Combo1", port);
        f.combo("Combo2")->setEditText(baud);
        QVERIFY(w.close());
        QCOMPARE(f.settings(), stored);
    }

    void openAndClose()
    {
        WindowFixture f;
        PtyPair pty;
        QVERIFY(pty.linkAs(f.dir.path(), 2));
        f.writeSettings("2\r\n9600\r\n");
        frmmain& w = f.start();
        // The port list tells which device each number stands for, once it opens.
        f.combo("Combo1")->showPopup();
        f.combo("Combo1")->hidePopup();
        QCOMPARE(f.combo("Combo1")->itemData(1, Qt::ToolTipRole).toString(), pty.slavePath());

        f.button("Command1")->click();
        verifyOpen(f, 2);
        QCOMPARE(w.portSettings(), QStringLiteral("9600,N,8,1"));
        const termios t = pty.lineSettings();
        QCOMPARE(cfgetospeed(&t), speed_t(B9600));

        f.button("Command1")->click();
        verifyClosed(f);
        QVERIFY(f.messages->texts.isEmpty());
    }

    // The message box names no device and no cause; the terminal and COM2's entry in the port
    // list say which device and why, also after the list was brought up to date.
    void openFailuresLeaveThePortClosed_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("why"); // empty: not the device's fault
        QTest::newRow("no selection") << "noselection" << QStringLiteral("串口不存在！")
                                      << "no serial port stands for this number";
        QTest::newRow("dangling link")
            << "dangling" << QStringLiteral("串口不存在！") << "no such device";
        QTest::newRow("held by another process")
            << "held" << QStringLiteral("串口已打开！") << "in use by another program";
        QTest::newRow("typed baud") << "badbaud" << QStringLiteral("参数设置错误！") << "";
        QTest::newRow("not a serial device")
            << "devnull" << QStringLiteral("其它错误") << "inappropriate ioctl for device";
    }

    void openFailuresLeaveThePortClosed()
    {
        QFETCH(QString, setup);
        QFETCH(QString, message);
        QFETCH(QString, why);
        WindowFixture f;
        PtyPair pty;
        QProcess holder;
        f.writeSettings("2\r\n9600\r\n");
        if (setup == "dangling")
            QVERIFY(QFile::link(f.dir.filePath("gone"), f.dir.filePath("COM2")));
        else if (setup == "devnull")
            QVERIFY(QFile::link("/dev/null", f.dir.filePath("COM2")));
        else
            QVERIFY(pty.linkAs(f.dir.path(), 2));
        if (setup == "held") {
            holder.start(QStringLiteral(PORT_HOLDER), { pty.slavePath() });
            QVERIFY(holder.waitForReadyRead(5000));
            QCOMPARE(holder.readLine().trimmed(), QByteArray("held"));
        }
        f.start();
        if (setup == "noselection")
            f.combo("Combo1")->setEditText(QStringLiteral("COM"));
        if (setup == "badbaud")
            f.combo("Combo2")->setEditText(QStringLiteral("96OO"));

        StderrCapture stderrText;
        f.button("Command1")->click();
        QCOMPARE(f.messages->texts, QStringList { message });
        verifyClosed(f);

        // A link that points nowhere is named with where it points: the adapter that is missing.
        const QString device = setup == "dangling" ? "COM2 -> " + f.dir.filePath("gone")
            : setup == "devnull"                   ? QStringLiteral("/dev/null")
            : setup == "noselection"               ? QStringLiteral("COM")
                                                   : pty.slavePath();
        const QString said = stderrText.text();
        QCOMPARE(said.contains(QStringLiteral("pwm5: %1: %2").arg(device, why)), !why.isEmpty());
        if (setup != "noselection" && !why.isEmpty()) {
            QComboBox* ports = f.combo("Combo1");
            QVERIFY2(ports->itemData(1, Qt::ToolTipRole).toString().startsWith(device + ": " + why),
                qPrintable(ports->itemData(1, Qt::ToolTipRole).toString()));
            ports->showPopup();
            ports->hidePopup();
            QVERIFY(ports->itemData(1, Qt::ToolTipRole).toString().startsWith(device + ": " + why));
        }
        if (setup == "held") {
            holder.closeWriteChannel();
            QVERIFY(holder.waitForFinished(5000));
        }
    }

    void choicesWhileOpen_data()
    {
        QTest::addColumn<QString>("combo");
        QTest::addColumn<QString>("choice");
        QTest::addColumn<bool>("staysOpen");
        QTest::newRow("same port") << "Combo1"
                                   << "COM2" << true;
        QTest::newRow("other port") << "Combo1"
                                    << "COM3" << false;
        QTest::newRow("same baud rate") << "Combo2"
                                        << "9600" << false;
        QTest::newRow("other baud rate") << "Combo2"
                                         << "19200" << false;
    }

    void choicesWhileOpen()
    {
        QFETCH(QString, combo);
        QFETCH(QString, choice);
        QFETCH(bool, staysOpen);
        WindowFixture f;
        PtyPair second, third;
        QVERIFY(second.linkAs(f.dir.path(), 2));
        QVERIFY(third.linkAs(f.dir.path(), 3));
        f.writeSettings("2\r\n9600\r\n");
        frmmain& w = f.start();
        f.button("Command1")->click();
        verifyOpen(f, 2);

        f.pick(qPrintable(combo), choice);
        if (staysOpen) {
            verifyOpen(f, 2);
            return;
        }
        verifyClosed(f);

        // The next open uses the new choice.
        f.button("Command1")->click();
        verifyOpen(f, f.combo("Combo1")->currentIndex() + 1);
        QCOMPARE(w.portSettings().section(',', 0, 0), f.combo("Combo2")->currentText());
        QVERIFY(f.messages->texts.isEmpty());
    }

    void vanishedDeviceShowsTheClosedState()
    {
        WindowFixture f;
        auto pty = std::make_unique<PtyPair>();
        QVERIFY(pty->linkAs(f.dir.path(), 2));
        f.writeSettings("2\r\n9600\r\n");
        f.start();
        f.button("Command1")->click();
        verifyOpen(f, 2);
        pty.reset();
        QTRY_COMPARE_WITH_TIMEOUT(f.button("Command1")->text(), kOpen, 5000);
        verifyClosed(f);

        // The device is back under the same number: opening works again.
        PtyPair back;
        QVERIFY(back.linkAs(f.dir.path(), 2));
        f.button("Command1")->click();
        verifyOpen(f, 2);
    }

    void failedWriteClosesThePortAndSaysSo()
    {
        WindowFixture f;
        auto pty = std::make_unique<PtyPair>();
        QVERIFY(f.openOn(*pty));
        // The device goes before the window has seen it go: the next request cannot be written.
        pty.reset();
        f.button("Command3")->click();
        QCOMPARE(f.messages->texts, QStringList { QStringLiteral("其它错误") });
        verifyClosed(f);
        QCOMPARE(f.field("Text1(0)")->text(), QStringLiteral("01 03 00 00 00 1A C4 01 "));
    }

    // Ctrl+C in the terminal, or a session ending, closes the window as its close button does.
    void stopSignalStoresTheSettings()
    {
        QTemporaryDir dir;
        QProcess program;
        program.setWorkingDirectory(dir.path());
        // Started with the signal blocked, so it waits until the window is ready for it.
        program.setChildProcessModifier([] {
            sigset_t term;
            sigemptyset(&term);
            sigaddset(&term, SIGTERM);
            sigprocmask(SIG_BLOCK, &term, nullptr);
        });
        program.start(QStringLiteral(PWM5_PATH), {});
        QVERIFY(program.waitForStarted(5000));
        program.terminate();
        QVERIFY(program.waitForFinished(10000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
        QFile stored(dir.filePath(QStringLiteral("com.txt")));
        QVERIFY(stored.open(QIODevice::ReadOnly));
        QCOMPARE(stored.readAll(), QByteArray("1\r\n9600\r\n"));
    }

    void webLinkOpensThePageAndChangesNothing()
    {
        WindowFixture f;
        f.start();
        UrlCatcher catcher;
        QDesktopServices::setUrlHandler(QStringLiteral("https"), &catcher, "open");
        const QString before = f.field("Text12")->text();
        auto* label = f.get<QLabel>("Label9");
        QTest::mouseClick(label, Qt::LeftButton);
        QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
        QCOMPARE(catcher.urls.size(), 1);
        QCOMPARE(catcher.urls.at(0).scheme(), QStringLiteral("https"));
        QCOMPARE(f.field("Text12")->text(), before);
        QVERIFY(f.messages->texts.isEmpty());
    }
};

QTEST_MAIN(TestWindow)
#include "tst_window.moc"
