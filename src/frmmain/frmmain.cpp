#include "frmmain.h"

#include "device/parameter_value.h"
#include "device/requests.h"
#include "device/write_all.h"
#include "line/exchange.h"
#include "line/line_for.h"
#include "message_box.h"
#include "messages.h"
#include "panel_builder.h"
#include "panel_layout.h"
#include "panel_widgets.h"
#include "ports/settings_file.h"
#include "rtu/hex_trace.h"
#include "rtu/port_settings.h"
#include "text/quoted_text.h"

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

// How long an open of a raw TCP port listens for the server turning the window away: such a
// port has no negotiation that would show it.
constexpr std::chrono::milliseconds kRefusalWait { 200 };

// The message box of a line that did not open: a device server out of reach is as a port that
// is not there.
QString openMessage(line::Failure failure)
{
    switch (failure) {
    case line::Failure::Missing:
    case line::Failure::Unreachable:
        return message::kPortMissing;
    case line::Failure::Busy:
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

    exchange_ = new line::Exchange(this);
    controls_ = buildPanel(this);
    panel_.emplace(controls_);
    bindControls();
    connectCommands();

    startUp();
    // A blinking cursor in the port box would wake the idle window twice a second.
    Command1->setFocus();
}

// The line goes with the window's children, after the window itself: it must not call back.
frmmain::~frmmain()
{
    if (line_)
        disconnect(line_, nullptr, this, nullptr);
}

template <typename T> T* frmmain::control(const char* name) const
{
    return controlNamed<T>(controls_, QString::fromUtf8(name));
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

void frmmain::connectCommands()
{
    connect(Command1, &QPushButton::clicked, this, &frmmain::onCommand1);
    connect(Combo1, &QComboBox::activated, this, &frmmain::onPortChoice);
    connect(Combo2, &QComboBox::activated, this, &frmmain::onBaudChoice);
    connect(exchange_, &line::Exchange::framed, this,
        [this](const QString& trace) { showTrace(Text1[0], trace); });
    connect(exchange_, &line::Exchange::judged, this, &frmmain::onReplyJudged);
    connect(
        control<ClickableLabel>("Label9"), &ClickableLabel::clicked, this, &frmmain::openWebPage);
    connect(control<QPushButton>("Command3"), &QPushButton::clicked, this, &frmmain::onReadAll);
    connect(control<QPushButton>("Command2"), &QPushButton::clicked, this, &frmmain::onWriteAll);
    connect(control<QPushButton>("Command10"), &QPushButton::clicked, this, &frmmain::onBaudChange);
    connect(control<QPushButton>("Command_OK1"), &QPushButton::clicked, this,
        &frmmain::onAddressChange);
    for (std::size_t k = 0; k < device::kSwitchCount; ++k)
        connect(panel_->switchButton(k), &QPushButton::clicked, this, [this, k] { onToggle(k); });
    connect(control<PopupCombo>("Combo1"), &PopupCombo::aboutToShowPopup, this,
        &frmmain::showPortDevices);
}

void frmmain::startUp()
{
    const line::LoadedPort loaded = line::loadStoredPort(QString::fromLatin1(line::kSettingsFile));
    for (const QString& note : { loaded.fileNote, loaded.portNote, loaded.baudNote })
        if (!note.isEmpty())
            std::fprintf(stderr, "pwm5: %s\n", qPrintable(note));
    const line::StoredPort& stored = loaded.stored;
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

    panel_->startUp();
}

// Each entry of the port list tells the line it stands for. Done when the list opens, not at
// start-up: asking the system for its serial ports costs more than building the whole window.
void frmmain::showPortDevices()
{
    line::PortContext context = line::PortContext::current();
    const QStringList ordered = context.systemPorts();
    context.systemPorts = [ordered] { return ordered; };
    for (int i = 0; i < Combo1->count(); ++i) {
        const line::ResolvedLine resolved = line::resolvePortNumber(i + 1, context);
        Combo1->setItemData(
            i, resolved ? portTip(resolved.label) : message::kPortMissing, Qt::ToolTipRole);
    }
}

// The line behind a port number, and why it would not open the last time it was tried.
QString frmmain::portTip(const QString& label) const
{
    const auto failure = openFailures_.constFind(label);
    return failure == openFailures_.cend() ? label : label + QStringLiteral(": ") + *failure;
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
    const line::ResolvedLine where = line::resolvePortNumber(n, line::PortContext::current());
    if (!where) {
        std::fprintf(stderr, "pwm5: %s: %s\n",
            qPrintable(n > 0 ? where.label : Combo1->currentText()), qPrintable(where.fault.text));
        showMessage(this, openMessage(where.fault.kind));
        return;
    }
    parityLetter_ = line::parityLetter(Combo3->currentText(), parityLetter_);
    const QString settings = line::settingsString(
        Combo2->currentText(), parityLetter_, Combo4->currentText(), Combo5->currentText());
    const auto parsed = line::parseSettings(settings);
    // The port is tried first, as it always was: one that cannot be used says so before
    // settings that cannot. A device server is reached at once with the operator's settings.
    std::optional<line::LineFault> fault;
    line::Line* const line = lineAt(*where.address, fault);
    if (line)
        fault = line->open(parsed.value_or(line::PortSettings {}));
    if (!fault && where.address->keepsServerRate()) {
        line->await(kRefusalWait);
        fault = line->lostFault();
    }
    // Closed meanwhile: the window is going.
    if (fault && fault->kind == line::Failure::Interrupted)
        return;
    if (fault) {
        sayWhyNotOpen(n, where.label, *fault);
        showMessage(this, openMessage(fault->kind));
        return;
    }
    if (!parsed) {
        line->close();
        showMessage(this, message::kParameterError);
        return;
    }
    portSettings_ = settings;
    openFailures_.remove(where.label);
    Command1->setText(message::kCaptionClose);
    Shape1->setColour(kLampOpen);
    openPort_ = n;
}

// The line for the address: the one of the last open when it is the same; nothing when it
// cannot be made, and why.
line::Line* frmmain::lineAt(const line::LineAddress& address, std::optional<line::LineFault>& why)
{
    if (line_ && line_->address() == address)
        return line_;
    delete line_;
    line_ = line::lineFor(address, this, &why).release();
    if (line_)
        connect(line_, &line::Line::lost, this, &frmmain::closeSequence);
    exchange_->attach(line_);
    return line_;
}

// The message boxes name no device and no cause; the terminal and the port list do.
void frmmain::sayWhyNotOpen(int n, const QString& label, const line::LineFault& fault)
{
    std::fprintf(stderr, "pwm5: %s: %s\n", qPrintable(label), qPrintable(fault.text));
    if (n < 1 || n > Combo1->count())
        return;
    openFailures_.insert(label, fault.text);
    Combo1->setItemData(n - 1, portTip(label), Qt::ToolTipRole);
}

void frmmain::closeSequence()
{
    if (line_)
        line_->close();
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

// A text that is no whole number 0 to 255 is refused like an empty one.
std::optional<std::uint8_t> frmmain::addressOrSay(const QComboBox* addressBox)
{
    const auto address = device::slaveAddress(addressBox->currentText());
    if (!address)
        showMessage(this, message::kParameterError);
    return address;
}

// Every command but the address change: the port must be open and Slave ID a byte.
std::optional<std::uint8_t> frmmain::commandGuard()
{
    if (!portOpenOrSay())
        return std::nullopt;
    return addressOrSay(Combo_Addr[2]);
}

void frmmain::sendRequest(const QByteArray& request)
{
    if (!exchange_->send(request)) {
        closeSequence();
        showMessage(this, message::kOtherError);
    }
}

void frmmain::onReplyJudged(line::Failure failure, const QByteArray& reply)
{
    if (failure != line::Failure::None) {
        Message_Show->setText(message::kReplyBad);
        return;
    }
    showTrace(Text2, line::hexTrace(reply));
    const device::Reading reading
        = device::decodedRegisters(line::replyView(failure, reply).registerBytes, parameters_);
    panel_->show(reading);
    parameters_ = reading.parameters;
    Message_Show->setText(message::kReplyGood);
}

// A long trace shows from its first byte, where address and function code stand.
void frmmain::showTrace(QLineEdit* field, const QString& trace)
{
    field->setText(trace);
    field->setCursorPosition(0);
}

void frmmain::onReadAll()
{
    prepareRequest();
    if (const auto slave = commandGuard())
        sendRequest(device::readAllRequest(*slave));
}

void frmmain::onWriteAll()
{
    prepareRequest();
    const auto normalised
        = device::normalisedWriteAll(panel_->texts(), Combo6->currentText(), parameters_);
    if (!normalised) {
        showMessage(this, message::kParameterError);
        return;
    }
    // The panel and the parameter set take the new values even when the guard then refuses.
    panel_->setTexts(normalised->texts);
    parameters_ = normalised->parameters;
    if (const auto slave = commandGuard())
        sendRequest(device::writeAllRequest(*slave, normalised->registers));
}

// Switch k of device::kSwitches: a channel's output or the key lock.
void frmmain::onToggle(std::size_t k)
{
    prepareRequest();
    const device::Parameter& p = device::parameter(device::kSwitches[k]);
    std::int16_t& state = device::stateOf(parameters_, p.id);
    if (portIsOpen()) {
        state = device::flipped(state);
        panel_->showSwitch(k, state);
    }
    if (const auto slave = commandGuard())
        sendRequest(device::writeRequest(*slave, p, static_cast<std::uint16_t>(state)));
}

void frmmain::onBaudChange()
{
    prepareRequest();
    parameters_.baudRateCode
        = device::baudRateCode(Combo6->currentText(), parameters_.baudRateCode);
    if (const auto slave = commandGuard())
        sendRequest(device::writeRequest(*slave, device::parameter(device::ParameterId::BaudRate),
            static_cast<std::uint16_t>(parameters_.baudRateCode)));
}

// Sent to the broadcast address: the module answers, if at all, from address 0.
void frmmain::onAddressChange()
{
    prepareRequest();
    if (!portOpenOrSay())
        return;
    if (const auto address = addressOrSay(Combo_Addr[0]))
        sendRequest(device::addressChangeRequest(*address));
}

void frmmain::openWebPage()
{
    // A desktop without a browser leaves the window as it is.
    QDesktopServices::openUrl(QUrl(QStringLiteral(PWM5_WEB_PAGE)));
}

void frmmain::closeEvent(QCloseEvent* event)
{
    // A typed text that is no rate would greet the next start with a note; the default does not.
    QString baud = Combo2->currentText();
    if (!line::baudRate(baud)) {
        std::fprintf(stderr, "pwm5: baud rate \"%s\" is not a rate; storing %s in %s\n",
            qPrintable(quoting::quotedValue(baud)), qPrintable(line::StoredPort {}.baud),
            line::kSettingsFile);
        baud = line::StoredPort {}.baud;
    }
    QString error;
    if (!line::storeStoredPort(
            QString::fromLatin1(line::kSettingsFile), portNumber(), baud, &error))
        std::fprintf(
            stderr, "pwm5: could not store %s: %s\n", line::kSettingsFile, qPrintable(error));
    closeSequence();
    event->accept();
}
