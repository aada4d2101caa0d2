#pragma once

#include <QString>

namespace pellion {

// The window's own operator texts beyond the dialog's original ones.

// Cancel, Escape, closing the window or "刷新列表" while chips are being programmed.
inline const QString kTextStopRunQuestion = QStringLiteral("下载尚未完成,是否停止下载?");
// OK with a download file while no row is ticked.
inline const QString kTextNoPortTicked = QStringLiteral("请勾选要下载的串口!");
// A model chosen by hand for a chip that named itself as another: port, then the chip's name.
inline const QString kTextModelRefused = QStringLiteral("%1芯片已识别为%2,不能选择其他型号!");
// A chosen or dropped file whose name holds a line break.
inline const QString kTextFileNameLineBreak = QStringLiteral("文件名含有换行符,不能使用!");
// An interval beyond the longest write pause, when a port is about to open with it.
inline const QString kTextIntervalTooLong = QStringLiteral("下载间隔不能大于%1ms,已改为%1ms!");
// Beside "用时：": the slots of the current run that succeeded, failed and are still going.
inline const QString kTextRunCounts = QStringLiteral("成功：%1  失败：%2  进行中：%3");
// The port cell's tooltip: the device path, udev's link by socket, and for a USB adapter what
// it is (ids, maker, product), its serial number and where it is plugged in.
inline const QString kTextPortDevice = QStringLiteral("设备：%1");
inline const QString kTextPortByPath = QStringLiteral("固定路径：%1");
inline const QString kTextPortAdapter = QStringLiteral("适配器：%1");
inline const QString kTextPortSerialNumber = QStringLiteral("序列号：%1");
inline const QString kTextPortUsbLocation = QStringLiteral("USB位置：%1");
// The context menu of a port row, and the question it opens: the caption, then the prompt
// naming the port. A station label replaces the row's number; an empty one brings it back.
inline const QString kTextStationLabelMenu = QStringLiteral("设置工位标签(&L)...");
inline const QString kTextStationLabelCaption = QStringLiteral("工位标签");
inline const QString kTextStationLabelPrompt = QStringLiteral("%1的工位标签(留空则显示序号)：");

}  // namespace pellion
