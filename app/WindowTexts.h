#pragma once

#include <QCoreApplication>
#include <QString>

namespace pellion {

// The window's own operator texts beyond the dialog's original ones, as written (Chinese);
// windowText() gives them in the window's language.
inline QString windowText(const char* text) {
    return QCoreApplication::translate("pellion::WindowTexts", text);
}

// Cancel, Escape, closing the window or "刷新列表" while chips are being programmed.
inline constexpr const char* kTextStopRunQuestion =
    QT_TRANSLATE_NOOP("pellion::WindowTexts", "下载尚未完成,是否停止下载?");
// OK with a download file while no row is ticked.
inline constexpr const char* kTextNoPortTicked =
    QT_TRANSLATE_NOOP("pellion::WindowTexts", "请勾选要下载的串口!");
// A model chosen by hand for a chip that named itself as another: port, then the chip's name.
inline constexpr const char* kTextModelRefused =
    QT_TRANSLATE_NOOP("pellion::WindowTexts", "%1芯片已识别为%2,不能选择其他型号!");
// A chosen or dropped file whose name holds a line break.
inline constexpr const char* kTextFileNameLineBreak =
    QT_TRANSLATE_NOOP("pellion::WindowTexts", "文件名含有换行符,不能使用!");
// An interval beyond the longest write pause, when a port is about to open with it.
inline constexpr const char* kTextIntervalTooLong =
    QT_TRANSLATE_NOOP("pellion::WindowTexts", "下载间隔不能大于%1ms,已改为%1ms!");
// Beside "用时：": the slots of the current run that succeeded, failed and are still going.
inline constexpr const char* kTextRunCounts =
    QT_TRANSLATE_NOOP("pellion::WindowTexts", "成功：%1  失败：%2  进行中：%3");
// The port cell's tooltip: the device path, udev's link by socket, and for a USB adapter what
// it is (ids, maker, product), its serial number and where it is plugged in.
inline constexpr const char* kTextPortDevice =
    QT_TRANSLATE_NOOP("pellion::WindowTexts", "设备：%1");
inline constexpr const char* kTextPortByPath =
    QT_TRANSLATE_NOOP("pellion::WindowTexts", "固定路径：%1");
inline constexpr const char* kTextPortAdapter =
    QT_TRANSLATE_NOOP("pellion::WindowTexts", "适配器：%1");
inline constexpr const char* kTextPortSerialNumber =
    QT_TRANSLATE_NOOP("pellion::WindowTexts", "序列号：%1");
inline constexpr const char* kTextPortUsbLocation =
    QT_TRANSLATE_NOOP("pellion::WindowTexts", "USB位置：%1");
// The context menu of a port row, and the question it opens: the caption, then the prompt
// naming the port. A station label replaces the row's number; an empty one brings it back.
inline constexpr const char* kTextStationLabelMenu =
    QT_TRANSLATE_NOOP("pellion::WindowTexts", "设置工位标签(&L)...");
inline constexpr const char* kTextStationLabelCaption =
    QT_TRANSLATE_NOOP("pellion::WindowTexts", "工位标签");
inline constexpr const char* kTextStationLabelPrompt =
    QT_TRANSLATE_NOOP("pellion::WindowTexts", "%1的工位标签(留空则显示序号)：");
// OK while the settings file's WriteBlockSize is not a block size: the value as written.
inline constexpr const char* kTextBadBlockSize = QT_TRANSLATE_NOOP(
    "pellion::WindowTexts", "配置文件中的写入块大小%1无效,应为4的倍数且不大于256,请修改后重试!");
// The window's context menu item for boot entry and exit, and the dialog it opens: the caption,
// the two fields and what they accept.
inline constexpr const char* kTextBootMenu =
    QT_TRANSLATE_NOOP("pellion::WindowTexts", "设置启动方式(&B)...");
inline constexpr const char* kTextBootCaption =
    QT_TRANSLATE_NOOP("pellion::WindowTexts", "启动方式");
inline constexpr const char* kTextBootEntry =
    QT_TRANSLATE_NOOP("pellion::WindowTexts", "进入下载模式：");
inline constexpr const char* kTextBootExit =
    QT_TRANSLATE_NOOP("pellion::WindowTexts", "下载完成后：");
inline constexpr const char* kTextBootHelp = QT_TRANSLATE_NOOP(
    "pellion::WindowTexts",
    "none：不控制DTR/RTS(芯片已处于下载模式)；go：用跳转命令运行程序；\n"
    "dtr-reset：DTR接复位,RTS接BOOT0；rts-reset：RTS接复位,DTR接BOOT0；\n"
    "自定义：D0/D1、R0/R1设置DTR/RTS,B00..B11同时设置两者,W毫秒数等待,步骤之间用|分隔,"
    "例如R1|D1|W20|D0|W50");
// The context menu's language item, Chinese first with English beside so that either reader
// finds it, and its question and answer (LanguageSetting.h).
inline constexpr const char* kTextLanguageMenu =
    QT_TRANSLATE_NOOP("pellion::WindowTexts", "语言 Language(&G)...");
inline constexpr const char* kTextLanguageCaption =
    QT_TRANSLATE_NOOP("pellion::WindowTexts", "语言 Language");
inline constexpr const char* kTextLanguagePrompt =
    QT_TRANSLATE_NOOP("pellion::WindowTexts", "界面语言：");
inline constexpr const char* kTextLanguageAtNextStart =
    QT_TRANSLATE_NOOP("pellion::WindowTexts", "界面语言将在下次启动时更改。");

// Production mode: the check box, OK's text while the station runs, the counts beside "用时："
// (succeeded, failed, yield in percent), a port's counts in its tooltip, and the context menu's
// reset of the counts.
inline constexpr const char* kTextContinuous =
    QT_TRANSLATE_NOOP("pellion::WindowTexts", "连续烧录");
inline constexpr const char* kTextStationStop = QT_TRANSLATE_NOOP("pellion::WindowTexts", "停止");
inline constexpr const char* kTextStationCounts =
    QT_TRANSLATE_NOOP("pellion::WindowTexts", "成功：%1  失败：%2  良率：%3%");
inline constexpr const char* kTextStationPortCounts =
    QT_TRANSLATE_NOOP("pellion::WindowTexts", "本工位成功：%1  失败：%2");
inline constexpr const char* kTextResetCounts =
    QT_TRANSLATE_NOOP("pellion::WindowTexts", "清零(&Z)");
// The context menu of a row whose socket holds a failed chip: program that chip again in place.
inline constexpr const char* kTextRetryChip = QT_TRANSLATE_NOOP("pellion::WindowTexts", "重试(&R)");

}  // namespace pellion
