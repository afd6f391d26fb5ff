#pragma once

#include <QString>

// The texts the operator is told, word for word.
namespace message {

inline const QString kOpenPortFirst = QStringLiteral("请先打开串口！");
inline const QString kParameterError = QStringLiteral("参数设置错误！");
inline const QString kPortMissing = QStringLiteral("串口不存在！");
inline const QString kPortBusy = QStringLiteral("串口已打开！");
inline const QString kOtherError = QStringLiteral("其它错误");
inline const QString kReplyGood = QStringLiteral("通讯数据正常！");
inline const QString kReplyBad = QStringLiteral("通讯数据错误！");

inline const QString kCaptionOpen = QStringLiteral("打开串口");
inline const QString kCaptionClose = QStringLiteral("关闭串口");

} // namespace message
