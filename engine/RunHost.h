#pragma once

#include <cstdint>
#include <string>

#include "engine/OperatorText.h"
#include "engine/SlotInputs.h"

namespace pellion {

// Columns of the port list, one row per port slot.
enum PortColumn : std::int32_t {
    ColumnNumber = 0,    // "序号": the check box that opens and closes the slot's port
    ColumnPort = 1,      // "串口"
    ColumnBaud = 2,      // "波特率"
    ColumnInit = 3,      // "初始化"
    ColumnReadable = 4,  // "可读？"
    ColumnModel = 5,     // "设备型号"
    ColumnProgress = 6,  // "完成状态"
    ColumnRemark = 7,    // "备注"
};

// Caption of every message about runs and ports.
inline constexpr const char* kRunCaption = "KT MCU";

struct PortTextUpdate {
    std::int32_t slot = 0;
    std::int32_t column = 0;
    std::string text;
};

struct PortProgressUpdate {
    std::int32_t slot = 0;
    std::int32_t column = ColumnProgress;
    std::int32_t position = 0;
    std::int32_t maximum = 0;  // not 0: sets the maximum; 0: sets the position
};

// What the programming engine takes from, and gives to, the operator's surface: the window,
// or the command line. Every call is made on the owner thread; the engine never blocks in
// one except for ShowMessage, which is modal.
class RunHost {
  public:
    virtual ~RunHost() = default;

    // --- Read by the run control, the adapter; the state machine never sees the surface ---
    // Whether the row's check box (column 0) is ticked.
    virtual bool IsRowTicked(std::int32_t slot) const = 0;
    // The current text of a row's cell; the run control reads columns 1 (port), 2 (baud
    // rate) and 5 (device model).
    virtual std::string RowText(std::int32_t slot, std::int32_t column) const = 0;
    // The download-file box and the address box, read when a run starts.
    virtual std::string DownloadFilePath() const = 0;
    virtual std::string StartAddressText() const = 0;
    // The download interval in milliseconds, applied as a port's write pause when it opens.
    virtual std::uint32_t WritePauseMs() const = 0;
    // "下载后设置读保护": read when a run starts (SlotInputsOf).
    virtual bool IsReadProtectChecked() const = 0;
    // "下载后校验": read when a run starts. Off unless the surface offers it.
    virtual bool IsVerifyChecked() const { return false; }
    // The station's block size and blank-block rule (its settings, or the command line's).
    virtual WritePlan StationWritePlan() const { return {}; }
    // What a slot's cycle takes from the surface, read when its port opens and when a run
    // starts: the row's baud rate (57600 when it names none) and model, the interval, verify,
    // protect, the station's write plan and its boot sequences. No image: the run loads that
    // once for all its cycles.
    virtual SlotInputs SlotInputsOf(std::int32_t slot) const;
    // The station's boot entry and exit, part of every slot's inputs. None by default.
    virtual BootSequences StationBootSequences() const { return {}; }

    // --- Written by the engine ---
    virtual void SetRowText(const PortTextUpdate& update) = 0;
    // maximum != 0 sets the cell's progress maximum, otherwise its position.
    virtual void SetRowProgress(const PortProgressUpdate& update) = 0;
    // Unticks the row's check box (a port that could not be opened, or a stopped slot).
    virtual void UntickRow(std::int32_t slot) = 0;
    virtual void SetOkEnabled(bool enabled) = 0;
    // The elapsed-time text after "用时：", formatted hh:mm:ss.
    virtual void SetElapsedText(const std::string& text) = 0;
    // A modal message with an OK button, worded in the surface's language; returns when the
    // operator has acknowledged it (at once where nobody can). Captions: kRunCaption, or
    // "Application Error" for port faults.
    virtual void ShowMessage(const std::string& caption, const OperatorText& text) = 0;

    // A slot has started programming in the run that OK just began.
    virtual void OnSlotRunStarted(std::int32_t /*slot*/) {}
    // A slot's run has ended, well or not (for reports; the window may ignore it).
    virtual void OnSlotRunEnded(std::int32_t /*slot*/, bool /*succeeded*/) {}
    // Every started slot has ended; OK is enabled again.
    virtual void OnRunEnded() {}
};

}  // namespace pellion
