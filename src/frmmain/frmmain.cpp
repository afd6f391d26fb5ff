#include "frmmain.h"

#include "input_rules.h"
#include "link/exchange.h"
#include "link/hex_trace.h"
#include "link/port_name.h"
#include "link/port_settings.h"
#include "link/qt_serial_port.h"
#include "message_box.h"
#include "messages.h"
#include "panel_builder.h"
#include "panel_layout.h"
#include "panel_widgets.h"
#include "settings_file.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QLineEdit>
#include <QPushButton>
#include <QSerialPortInfo>
#include <QUrl>

#include <cstdio>

namespace {

const QColor kLampOpen(0, 255, 0);
const QColor kLampClosed(0, 0, 0);

QString probeMessage(serial::ProbeOutcome outcome)
{
    switch (outcome) {
    case serial::ProbeOutcome::Missing:
        return message::kPortMissing;
    case serial::ProbeOutcome::Busy:
        return message::kPortBusy;
    default:
        return message::kOtherError;
    }
}

} // namespace

frmmain::frmmain(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("frmmain"));
    setWindowTitle(QStringLiteral("PWM5 五路 PWM 信号发生器控制台"));
    setFixedSize(panel::kWindowWidth, panel::kWindowHeight);
    QPalette p = palette();
    p.setColor(QPalette::Window, Qt::white);
    setPalette(p);
    setAutoFillBackground(true);

    port_ = new serial::QtSerialPort(this);
    exchange_ = new serial::Exchange(*port_, this);
    controls_ = buildPanel(this);
    bindControls();

    connect(Command1, &QPushButton::clicked, this, &frmmain::onCommand1);
    connect(Combo1, &QComboBox::activated, this, &frmmain::onPortChoice);
    connect(Combo2, &QComboBox::activated, this, &frmmain::onBaudChoice);
    connect(port_, &serial::SerialPort::lost, this, &frmmain::closeSequence);
    connect(exchange_, &serial::Exchange::framed, Text1[0], &QLineEdit::setText);
    connect(exchange_, &serial::Exchange::judged, this, &frmmain::onReplyJudged);
    connect(
        control<ClickableLabel>("Label9"), &ClickableLabel::clicked, this, &frmmain::openWebPage);

    startUp();
}

frmmain::~frmmain() = default;

template <typename T> T* frmmain::control(const char* name) const
{
    auto* w = qobject_cast<T*>(controls_.value(QString::fromUtf8(name)));
    Q_ASSERT_X(w, "frmmain::control", name);
    return w;
}

void frmmain::bindControls()
{
    Combo1 = control<QComboBox>("Combo1");
    Combo2 = control<QComboBox>("Combo2");
    Combo3 = control<QComboBox>("Combo3");
    Combo4 = control<QComboBox>("Combo4");
    Combo5 = control<QComboBox>("Combo5");
    Combo6 = control<QComboBox>("Combo6");
    Combo_Addr[0] = control<QComboBox>("Combo_Addr(0)");
    Combo_Addr[2] = control<QComboBox>("Combo_Addr(2)");
    Command1 = control<QPushButton>("Command1");
    Shape1 = control<Lamp>("Shape1");
    Text1[0] = control<QLineEdit>("Text1(0)");
    Text2 = control<QLineEdit>("Text2");
    Message_Show = control<QLineEdit>("Message_Show");

    // The operator may type a port, a rate or an address; parity and word size are picked.
    for (QComboBox* combo : { Combo1, Combo2, Combo6, Combo_Addr[0], Combo_Addr[2] })
        combo->setEditable(true);
}

void frmmain::startUp()
{
    const StoredPort stored = loadStoredPort(QString::fromLatin1(kSettingsFile));
    Combo1->setCurrentIndex(stored.portNumber - 1);
    Combo1->setEditText(QStringLiteral("COM%1").arg(stored.portNumber));
    Combo2->setEditText(stored.baud);
    Combo3->setCurrentText(QStringLiteral("无校验"));
    Combo4->setCurrentText(QStringLiteral("8"));
    Combo5->setCurrentText(QStringLiteral("1"));
    Combo6->setCurrentIndex(1);
    onPortChoice(stored.portNumber - 1);

    for (int a = 1; a <= 255; ++a) {
        if (a <= 254)
            Combo_Addr[0]->addItem(QString::number(a));
        Combo_Addr[2]->addItem(QString::number(a));
    }
    Combo_Addr[0]->setCurrentIndex(0);
    Combo_Addr[2]->setCurrentIndex(0);

    for (const ParameterField& field : parameterFields()) {
        auto* edit = control<QLineEdit>(field.name);
        new KeyFilter(field.rule, edit);
        edit->setText(QString::fromLatin1(field.startText));
    }
    showPortDevices();
}

// Each entry of the port list tells the device it stands for.
void frmmain::showPortDevices()
{
    QStringList locations;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
        locations << info.systemLocation();
    const QStringList ordered = serial::orderedSystemPorts(locations);
    for (int i = 0; i < Combo1->count(); ++i) {
        const QString device = serial::resolvePort(i + 1, QDir::current(), ordered);
        Combo1->setItemData(i, device.isEmpty() ? message::kPortMissing : device, Qt::ToolTipRole);
    }
}

QString frmmain::sendTrace() const
{
    return exchange_->sendTrace();
}

QString frmmain::receiveTrace() const
{
    return exchange_->receiveTrace();
}

// The list entry whose text is shown, counted from 1; 0 when the text names none.
int frmmain::portNumber() const
{
    return Combo1->findText(Combo1->currentText(), Qt::MatchExactly | Qt::MatchCaseSensitive) + 1;
}

bool frmmain::portIsOpen() const
{
    return Command1->text() == message::kCaptionClose;
}

void frmmain::onCommand1()
{
    if (portIsOpen())
        closeSequence();
    else
        openSequence();
}

void frmmain::openSequence()
{
    const int n = portNumber();
    const QString device = serial::resolvePort(n);
    if (const auto outcome = port_->probe(device); outcome != serial::ProbeOutcome::Usable) {
        showMessage(this, probeMessage(outcome));
        return;
    }
    parityLetter_ = serial::parityLetter(Combo3->currentText(), parityLetter_);
    const QString settings = serial::settingsString(
        Combo2->currentText(), parityLetter_, Combo4->currentText(), Combo5->currentText());
    const auto parsed = serial::parseSettings(settings);
    if (!parsed) {
        showMessage(this, message::kParameterError);
        return;
    }
    portSettings_ = settings;
    if (!port_->open(device, *parsed)) {
        showMessage(this, message::kOtherError);
        return;
    }
    Command1->setText(message::kCaptionClose);
    Shape1->setColour(kLampOpen);
    openPort_ = n;
}

void frmmain::closeSequence()
{
    port_->close();
    Command1->setText(message::kCaptionOpen);
    Shape1->setColour(kLampClosed);
    openPort_ = 0;
}

void frmmain::onPortChoice(int index)
{
    const int m = index + 1;
    if (m == selectedPort_)
        return;
    if (openPort_ != 0)
        closeSequence();
    selectedPort_ = m;
}

void frmmain::onBaudChoice()
{
    if (portIsOpen())
        closeSequence();
}

void frmmain::prepareRequest()
{
    Message_Show->clear();
    exchange_->prepare();
    Text1[0]->clear();
    Text2->clear();
}

bool frmmain::portOpenOrSay()
{
    if (portIsOpen())
        return true;
    showMessage(this, message::kOpenPortFirst);
    return false;
}

void frmmain::sendRequest(const QByteArray& request)
{
    if (!exchange_->send(request)) {
        closeSequence();
        showMessage(this, message::kOtherError);
    }
}

void frmmain::onReplyJudged(serial::Verdict verdict, const QByteArray& reply)
{
    if (verdict != serial::Verdict::Accepted) {
        Message_Show->setText(message::kReplyBad);
        return;
    }
    Text2->setText(serial::hexTrace(reply));
    Message_Show->setText(message::kReplyGood);
}

void frmmain::openWebPage()
{
    // A desktop without a browser leaves the window as it is.
    QDesktopServices::openUrl(QUrl(QStringLiteral(PWM5_WEB_PAGE)));
}

void frmmain::closeEvent(QCloseEvent* event)
{
    QString error;
    if (!storeStoredPort(
            QString::fromLatin1(kSettingsFile), portNumber(), Combo2->currentText(), &error))
        std::fprintf(stderr, "pwm5: could not store %s: %s\n", kSettingsFile, qPrintable(error));
    closeSequence();
    event->accept();
}
