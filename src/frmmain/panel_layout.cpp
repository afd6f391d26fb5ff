#include "panel_layout.h"

#include "device/parameters.h"

#include <array>

namespace panel {

namespace {

constexpr QRgb kGreen = 0xFF00FF00;
constexpr QRgb kYellow = 0xFFFFFF00;
constexpr QRgb kOrange = 0xFFFF8000;
constexpr QRgb kCyan = 0xFF00FFFF;
constexpr QRgb kBlack = 0xFF000000;
constexpr QRgb kGrey = 0xFFC0C0C0;

// Parameter grid: row tops of the fields, and the band a row's labels are centred in.
constexpr int kRow0 = 480, kRow1 = 1200, kRow2 = 1920, kRow3 = 2640, kRow4 = 3360, kRow5 = 4080;
constexpr int kFieldW = 1215, kFieldH = 405, kButtonW = 1215, kButtonH = 375;
constexpr int kButtonTop = (kFieldH - kButtonH) / 2;

using enum Kind;
using F = Font;

constexpr auto kControls = std::to_array<Control>({
    // Communication settings
    { "Frame1", Frame, nullptr, 120, 120, 2415, 5655, " 通讯设置 ", F::FrameCaption, 0 },
    { "Label1", Label, "Frame1", 480, 550, 0, 0, "串口号", F::Label, 0 },
    { "Combo1", Combo, "Frame1", 1200, 515, 975, 300, nullptr, F::Default, 0 },
    { "Label2", Label, "Frame1", 480, 1275, 0, 0, "波特率", F::Label, 0 },
    { "Combo2", Combo, "Frame1", 1200, 1240, 975, 300, nullptr, F::Default, 0 },
    { "Label3", Label, "Frame1", 480, 2000, 0, 0, "校验位", F::Label, 0 },
    { "Combo3", Combo, "Frame1", 1200, 1965, 975, 300, nullptr, F::Default, 0 },
    { "Label4", Label, "Frame1", 480, 2715, 0, 0, "数据位", F::Label, 0 },
    { "Combo4", Combo, "Frame1", 1200, 2690, 975, 300, nullptr, F::Default, 0 },
    { "Label5", Label, "Frame1", 480, 3435, 0, 0, "停止位", F::Label, 0 },
    { "Combo5", Combo, "Frame1", 1200, 3405, 975, 300, nullptr, F::Default, 0 },
    { "Label12", Label, "Frame1", 240, 4125, 0, 0, "Slave ID", F::Label, 0 },
    { "Combo_Addr(2)", Combo, "Frame1", 1200, 4100, 975, 300, nullptr, F::Default, 0 },
    { "Shape1", Lamp, "Frame1", 840, 5040, 255, 375, nullptr, F::Default, 0 },
    { "Command1", Button, "Frame1", 1200, 5040, 975, 375, "打开串口", F::Default, 0 },

    // Parameter settings: indicators first, so that each lies behind its button.
    { "Frame3", Frame, nullptr, 2760, 120, 11415, 4695, " 参数设置", F::FrameCaption, 0 },
    { "Label15(0)", Indicator, "Frame3", 7980, 435, 1335, 465, nullptr, F::Default, 0 },
    { "Label15(1)", Indicator, "Frame3", 7980, 1150, 1335, 465, nullptr, F::Default, 0 },
    { "Label15(2)", Indicator, "Frame3", 7980, 1870, 1335, 465, nullptr, F::Default, 0 },
    { "Label15(3)", Indicator, "Frame3", 7980, 2590, 1335, 465, nullptr, F::Default, 0 },
    { "Label15(4)", Indicator, "Frame3", 7980, 3310, 1335, 465, nullptr, F::Default, 0 },
    { "Label15(5)", Indicator, "Frame3", 7980, 4030, 1335, 465, nullptr, F::Default, 0 },

    { "Label11", Label, "Frame3", 630, kRow0, 0, kFieldH, "PWM Volt(1.0-24.0V):", F::Label, 0 },
    { "Text3", Field, "Frame3", 2760, kRow0, kFieldW, kFieldH, nullptr, F::Field, kGreen },
    { "Label9", Label, "Frame3", 4725, kRow0, 0, kFieldH, "CH(1-5):", F::Label, 0 },
    { "Text12", Field, "Frame3", 5640, kRow0, kFieldW, kFieldH, nullptr, F::Field, kYellow },
    { "Label18", Label, "Frame3", 7090, kRow0, 0, kFieldH, "KeyLock:", F::Label, 0 },
    { "Command5", Button, "Frame3", 8040, kRow0 + kButtonTop, kButtonW, kButtonH, "UnLock",
        F::Button, 0 },
    { "Label8", Label, "Frame3", 9960, kRow0, 0, kFieldH, "VIN:", F::Label, 0 },
    { "Label19", Label, "Frame3", 10560, kRow0, 0, kFieldH, "0.00V", F::Label, 0 },

    { "Label10(3)", Label, "Frame3", 240, kRow1, 0, kFieldH, "CH1", F::ChannelLabel, 0 },
    { "Label10(0)", Label, "Frame3", 840, kRow1, 0, kFieldH, " Freq(1-150000HZ):", F::Label, 0 },
    { "Text4", Field, "Frame3", 2760, kRow1, kFieldW, kFieldH, nullptr, F::Field, kOrange },
    { "Label20(1)", Label, "Frame3", 4200, kRow1, 0, kFieldH, "Duty(0-100%):", F::Label, 0 },
    { "Text6", Field, "Frame3", 5640, kRow1, kFieldW, kFieldH, nullptr, F::Field, kCyan },
    { "Label20(0)", Label, "Frame3", 7200, kRow1, 0, kFieldH, "Output:", F::Label, 0 },
    { "Command4", Button, "Frame3", 8040, kRow1 + kButtonTop, kButtonW, kButtonH, "OFF", F::Button,
        0 },
    { "Command2", Button, "Frame3", 9960, kRow1, kButtonW, kButtonH, "设 置", F::Button, 0 },

    { "Label10(4)", Label, "Frame3", 240, kRow2, 0, kFieldH, "CH2", F::ChannelLabel, 0 },
    { "Label10(2)", Label, "Frame3", 840, kRow2, 0, kFieldH, " Freq(1-150000HZ):", F::Label, 0 },
    { "Text5", Field, "Frame3", 2760, kRow2, kFieldW, kFieldH, nullptr, F::Field, kOrange },
    { "Label10(1)", Label, "Frame3", 4200, kRow2, 0, kFieldH, "Duty(0-100%):", F::Label, 0 },
    { "Text7", Field, "Frame3", 5640, kRow2, kFieldW, kFieldH, nullptr, F::Field, kCyan },
    { "Label20(2)", Label, "Frame3", 7200, kRow2, 0, kFieldH, "Output:", F::Label, 0 },
    { "Command6", Button, "Frame3", 8040, kRow2 + kButtonTop, kButtonW, kButtonH, "OFF", F::Button,
        0 },

    { "Label10(6)", Label, "Frame3", 240, kRow3, 0, kFieldH, "CH3", F::ChannelLabel, 0 },
    { "Label10(5)", Label, "Frame3", 840, kRow3, 0, kFieldH, " Freq(1-150000HZ):", F::Label, 0 },
    { "Text10", Field, "Frame3", 2760, kRow3, kFieldW, kFieldH, nullptr, F::Field, kOrange },
    { "Label17", Label, "Frame3", 4200, kRow3, 0, kFieldH, "Duty(0-100%):", F::Label, 0 },
    { "Text8", Field, "Frame3", 5640, kRow3, kFieldW, kFieldH, nullptr, F::Field, kCyan },
    { "Label20(3)", Label, "Frame3", 7200, kRow3, 0, kFieldH, "Output:", F::Label, 0 },
    { "Command7", Button, "Frame3", 8040, kRow3 + kButtonTop, kButtonW, kButtonH, "OFF", F::Button,
        0 },
    { "Picture1(1)", Picture, "Frame3", 10000, 3000, 1095, 855, "PWM", F::Label, 0 },

    { "Label10(8)", Label, "Frame3", 240, kRow4, 0, kFieldH, "CH4", F::ChannelLabel, 0 },
    { "Label10(7)", Label, "Frame3", 840, kRow4, 0, kFieldH, " Freq(1-150000HZ):", F::Label, 0 },
    { "Text11", Field, "Frame3", 2760, kRow4, kFieldW, kFieldH, nullptr, F::Field, kOrange },
    { "Label21", Label, "Frame3", 4200, kRow4, 0, kFieldH, "Duty(0-100%):", F::Label, 0 },
    { "Text9", Field, "Frame3", 5640, kRow4, kFieldW, kFieldH, nullptr, F::Field, kCyan },
    { "Label20(4)", Label, "Frame3", 7200, kRow4, 0, kFieldH, "Output:", F::Label, 0 },
    { "Command8", Button, "Frame3", 8040, kRow4 + kButtonTop, kButtonW, kButtonH, "OFF", F::Button,
        0 },

    { "Label10(10)", Label, "Frame3", 240, kRow5, 0, kFieldH, "CH5", F::ChannelLabel, 0 },
    { "Label10(9)", Label, "Frame3", 840, kRow5, 0, kFieldH, " Freq(1-150000HZ):", F::Label, 0 },
    { "Text13", Field, "Frame3", 2760, kRow5, kFieldW, kFieldH, nullptr, F::Field, kOrange },
    { "Label24", Label, "Frame3", 4200, kRow5, 0, kFieldH, "Duty(0-100%):", F::Label, 0 },
    { "Text14", Field, "Frame3", 5640, kRow5, kFieldW, kFieldH, nullptr, F::Field, kCyan },
    { "Label20(5)", Label, "Frame3", 7200, kRow5, 0, kFieldH, "Output:", F::Label, 0 },
    { "Command9", Button, "Frame3", 8040, kRow5 + kButtonTop, kButtonW, kButtonH, "OFF", F::Button,
        0 },
    { "Command3", Button, "Frame3", 9960, kRow5, kButtonW, kButtonH, "读 取", F::Button, 0 },

    // Rules of the grid: one black under the top row, grey between the channel rows,
    // and one before the right column.
    { "Line1", Line, "Frame3", 240, 960, 11160 - 240, 0, nullptr, F::Default, kBlack },
    { "Line2", Line, "Frame3", 960, 1750, 9240 - 960, 0, nullptr, F::Default, kGrey },
    { "Line3", Line, "Frame3", 960, 2470, 9240 - 960, 0, nullptr, F::Default, kGrey },
    { "Line4", Line, "Frame3", 960, 3190, 9240 - 960, 0, nullptr, F::Default, kGrey },
    { "Line5", Line, "Frame3", 960, 3910, 9240 - 960, 0, nullptr, F::Default, kGrey },
    { "Line6", Line, "Frame3", 9600, 1200, 0, 4440 - 1200, nullptr, F::Default, kBlack },

    // Baud-rate change
    { "Frame4", Frame, nullptr, 2760, 4920, 4215, 855, " 波特率更改 ", F::FrameCaption, 0 },
    { "Label16", Label, "Frame4", 260, 360, 0, 0, "波特率:", F::Label, 0 },
    { "Combo6", Combo, "Frame4", 1200, 330, 1215, 300, nullptr, F::Default, 0 },
    { "Command10", Button, "Frame4", 2760, 280, 1215, 375, "修 改", F::Button, 0 },

    // Module address change
    { "Frame2", Frame, nullptr, 7200, 4920, 6975, 855, " 模块地址更改 ", F::FrameCaption, 0 },
    { "Label6", Label, "Frame2", 260, 360, 0, 0, "模块地址:", F::Label, 0 },
    { "Combo_Addr(0)", Combo, "Frame2", 3600, 330, 1215, 300, nullptr, F::Default, 0 },
    { "Command_OK1", Button, "Frame2", 5520, 280, 1215, 375, "修 改", F::Button, 0 },

    // Traces and status
    { "Label13(0)", Label, nullptr, 375, 6240, 0, 0, "Send:", F::Label, 0 },
    { "Text1(0)", Trace, nullptr, 960, 6000, 9975, 495, nullptr, F::Default, 0 },
    { "Label14", Label, nullptr, 360, 6910, 0, 0, "Rece:", F::Label, 0 },
    { "Text2", Trace, nullptr, 960, 6720, 13215, 450, nullptr, F::Default, 0 },
    { "Label7", Label, nullptr, 11280, 6240, 0, 0, "Mess:", F::Label, 0 },
    { "Message_Show", Trace, nullptr, 11880, 6180, 2295, 315, nullptr, F::Status, 0 },
});

constexpr auto kComboLists = std::to_array<ComboList>({
    { "Combo1", "COM1|COM2|COM3|COM4|COM5|COM6|COM7|COM8|COM9" },
    { "Combo2", nullptr },
    { "Combo3", "无校验|奇校验|偶校验" },
    { "Combo4", "8|7|6" },
    { "Combo5", "1|2" },
    { "Combo6", nullptr },
});

} // namespace

std::span<const Control> controls()
{
    return kControls;
}

std::span<const ComboList> comboLists()
{
    return kComboLists;
}

QStringList comboItems(const ComboList& list)
{
    if (list.items)
        return QString::fromUtf8(list.items).split(QLatin1Char('|'));
    QStringList rates;
    for (const std::int32_t rate : device::kBaudRates)
        rates << QString::number(rate);
    return rates;
}

} // namespace panel
