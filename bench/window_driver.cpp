#include "window_driver.h"

#include <QApplication>
#include <QEventLoop>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

namespace bench {

WindowDriver::WindowDriver(frmmain& window, Relay& relay)
    : window_(window)
    , relay_(relay)
{
    status_ = child<QLineEdit>("Message_Show");
    QObject::connect(
        child<QLineEdit>("Text1(0)"), &QLineEdit::textChanged, [this](const QString& text) {
            if (!text.isEmpty() && !traceAt_)
                traceAt_ = Clock::now();
        });
    QObject::connect(status_, &QLineEdit::textChanged, [this](const QString& text) {
        if (text.isEmpty())
            return;
        statusAt_ = Clock::now();
        statusText_ = text;
        if (waiting_)
            waiting_->quit();
    });
    // A message box would hold the bench in its own loop: note it and close it.
    auto* dialogs = new QTimer(&window_);
    QObject::connect(dialogs, &QTimer::timeout, [this] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            std::fprintf(stderr, "message box: %s\n", qPrintable(box->text()));
            ++messageBoxes_;
            box->accept();
        }
    });
    dialogs->start(100);
}

bool WindowDriver::portOpen() const
{
    return child<QPushButton>("Command1")->text() == QStringLiteral("关闭串口");
}

Sample WindowDriver::exchange(const char* button)
{
    relay_.arm();
    statusAt_.reset();
    traceAt_.reset();
    statusText_.clear();
    const Clock::time_point click = Clock::now();
    child<QPushButton>(button)->click();
    const Clock::time_point returned = Clock::now();
    if (!statusAt_) {
        QEventLoop loop;
        waiting_ = &loop;
        QTimer::singleShot(2000, &loop, &QEventLoop::quit);
        loop.exec();
        waiting_ = nullptr;
    }
    const LineRecord line = relay_.record();
    Sample s;
    if (line.written && line.requestAtSimulator) {
        s.clickToRequest = msBetween(click, *line.requestAtSimulator);
        s.clickToWritten = msBetween(click, *line.written);
        if (traceAt_)
            s.clickToTrace = msBetween(click, *traceAt_);
        s.writeToReturn = msBetween(*line.written, returned);
        if (statusAt_) {
            s.writeToStatus = msBetween(*line.written, *statusAt_);
            s.returnToStatus = msBetween(returned, *statusAt_);
        }
        if (line.replyEnd)
            s.writeToReplyEnd = msBetween(*line.written, *line.replyEnd);
    }
    s.requestBytes = line.requestBytes;
    s.replyBytes = line.replyBytes;
    s.good = statusText_ == QStringLiteral("通讯数据正常！");
    // An operator's clicks fall at any phase of the clock, and so the bench's: a fixed gap
    // would meet the event loop's timer rounding at the same point every time.
    pause(30 + static_cast<int>(random_() % 50));
    return s;
}

void WindowDriver::pause(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace bench
