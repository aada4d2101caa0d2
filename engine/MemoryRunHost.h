#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/RunHost.h"

namespace pellion {

// A run host without a window: the rows, the boxes and the controls held in memory. The
// command line drives its runs through it, and tests read what the engine showed.
class MemoryRunHost : public RunHost {
  public:
    static constexpr int kColumns = 8;

    struct Row {
        bool ticked = false;
        std::array<std::string, kColumns> texts;
        std::int32_t progressPosition = 0;
        std::int32_t progressMaximum = 0;
        std::vector<std::string> remarks;  // every text column 7 showed, in order
    };
    struct Message {
        std::string caption;
        std::string text;  // in `language`
        OperatorText said;
    };

    MemoryRunHost() = default;
    // One row per port name, as the list fills them: number, name, "57600", "N".
    explicit MemoryRunHost(const std::vector<std::string>& portNames);

    Row& row(std::int32_t slot) { return rows_.at(std::size_t(slot)); }
    const Row& row(std::int32_t slot) const { return rows_.at(std::size_t(slot)); }
    std::int32_t rowCount() const { return std::int32_t(rows_.size()); }

    // The boxes and check boxes of the window.
    std::string downloadFilePath;
    std::string startAddressText = "8000000";
    std::uint32_t writePauseMs = 0;
    bool readProtect = false;
    bool verify = false;
    WritePlan writePlan;  // the station's settings
    // Not a control of the window: a cycle that keeps records asks for the chip's unique ID.
    bool readUniqueId = false;
    BootSequences boot;
    std::optional<SerialBlockPlan> serial;  // the command line's serial block

    // The language messages are worded in.
    OperatorLanguage language = OperatorLanguage::Chinese;

    // What the engine showed.
    bool okEnabled = true;
    std::string elapsedText;
    std::vector<Message> messages;
    std::int32_t runsEnded = 0;

    // Optional observers (the command line's live table).
    std::function<void(std::int32_t slot, std::int32_t column)> onRowChanged;
    std::function<void(const Message&)> onMessage;
    std::function<void(std::int32_t slot, bool succeeded)> onSlotEnded;
    std::function<void()> onRunEnded;

    // RunHost.
    bool IsRowTicked(std::int32_t slot) const override;
    std::string RowText(std::int32_t slot, std::int32_t column) const override;
    std::string DownloadFilePath() const override { return downloadFilePath; }
    std::string StartAddressText() const override { return startAddressText; }
    std::uint32_t WritePauseMs() const override { return writePauseMs; }
    bool IsReadProtectChecked() const override { return readProtect; }
    bool IsVerifyChecked() const override { return verify; }
    WritePlan StationWritePlan() const override { return writePlan; }
    SlotInputs SlotInputsOf(std::int32_t slot) const override;
    BootSequences StationBootSequences() const override { return boot; }
    void SetRowText(const PortTextUpdate& update) override;
    void SetRowProgress(const PortProgressUpdate& update) override;
    void UntickRow(std::int32_t slot) override;
    void SetOkEnabled(bool enabled) override { okEnabled = enabled; }
    void SetElapsedText(const std::string& text) override { elapsedText = text; }
    void ShowMessage(const std::string& caption, const OperatorText& text) override;
    void OnSlotRunEnded(std::int32_t slot, bool succeeded) override;
    void OnRunEnded() override;

  private:
    bool valid(std::int32_t slot) const { return slot >= 0 && slot < rowCount(); }
    std::vector<Row> rows_;
};

}  // namespace pellion
