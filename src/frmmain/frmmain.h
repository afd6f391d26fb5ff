#pragma once

#include "device/parameter_set.h"
#include "parameter_panel.h"
#include "ports/line_address.h"
#include "rtu/failure.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QWidget>

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class Lamp;

namespace line {
class Exchange;
class Line;
} // namespace line

// The one window of the tool. Its controls are the state: the caption of Command1 tells
// whether the port is open, the captions and indicator colours show the module's switches.
class frmmain : public QWidget {
    Q_OBJECT

public:
    explicit frmmain(QWidget* parent = nullptr);
    ~frmmain() override;

    // Values the window keeps beside its controls.
    int selectedPort() const { return selectedPort_; }
    int openPort() const { return openPort_; }
    QString portSettings() const { return portSettings_; }
    QString sendTrace() const;
    QString receiveTrace() const;
    // The module values kept between operations (ch1Frequency, ch1OutputState, keyLockState,
    // channelNumber, baudRateCode, ...).
    const device::ParameterSet& parameters() const { return parameters_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    template <typename T> T* control(const char* name) const;
    void bindControls();
    void connectCommands();
    void startUp();
    void showPortDevices();
    QString portTip(const QString& label) const;

    // Serial line
    int portNumber() const;
    bool portIsOpen() const;
    void onCommand1();
    void openSequence();
    line::Line* lineAt(const line::LineAddress& address, std::optional<line::LineFault>& why);
    void sayWhyNotOpen(int n, const QString& label, const line::LineFault& fault);
    void closeSequence();
    void onPortChoice(int index);
    void onBaudChoice();
    void onReplyJudged(line::Failure failure, const QByteArray& reply);
    void openWebPage();

    // The road of every request: preparation, the command's guard, then the send path.
    void prepareRequest();
    bool portOpenOrSay();
    std::optional<std::uint8_t> addressOrSay(const QComboBox* addressBox);
    std::optional<std::uint8_t> commandGuard();
    void sendRequest(const QByteArray& request);

    // Module commands
    void onReadAll();
    void onWriteAll();
    void onToggle(std::size_t k);
    void onBaudChange();
    void onAddressChange();
    static void showTrace(QLineEdit* field, const QString& trace);

    QHash<QString, QWidget*> controls_;
    std::optional<ParameterPanel> panel_;
    line::Line* line_ = nullptr; // the line of the last open, kept until one to another address
    line::Exchange* exchange_ = nullptr;

    QComboBox* Combo1 = nullptr;
    QComboBox* Combo2 = nullptr;
    QComboBox* Combo3 = nullptr;
    QComboBox* Combo4 = nullptr;
    QComboBox* Combo5 = nullptr;
    QComboBox* Combo6 = nullptr;
    std::array<QComboBox*, 3> Combo_Addr {}; // elements 0 and 2
    QPushButton* Command1 = nullptr;
    Lamp* Shape1 = nullptr;
    std::array<QLineEdit*, 1> Text1 {};
    QLineEdit* Text2 = nullptr;
    QLineEdit* Message_Show = nullptr;

    int selectedPort_ = 0;
    int openPort_ = 0;
    QString parityLetter_;
    QString portSettings_;
    // Why the last open of a line failed, by the line's label, for the port list's tooltips.
    QHash<QString, QString> openFailures_;
    device::ParameterSet parameters_;
};
