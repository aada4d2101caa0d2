#include "engine/MemoryRunHost.h"

namespace pellion {

MemoryRunHost::MemoryRunHost(const std::vector<std::string>& portNames) {
    rows_.reserve(portNames.size());
    for (const auto& name : portNames) {
        Row row;
        row.texts = {std::to_string(rows_.size() + 1),
                     name,
                     std::string("57600"),
                     std::string("N"),
                     std::string(),
                     std::string(),
                     std::string(),
                     std::string()};
        rows_.push_back(std::move(row));
    }
}

bool MemoryRunHost::IsRowTicked(std::int32_t slot) const {
    return valid(slot) && row(slot).ticked;
}

std::string MemoryRunHost::RowText(std::int32_t slot, std::int32_t column) const {
    if (!valid(slot) || column < 0 || column >= kColumns)
        return {};
    return row(slot).texts[std::size_t(column)];
}

SlotInputs MemoryRunHost::SlotInputsOf(std::int32_t slot) const {
    SlotInputs inputs = RunHost::SlotInputsOf(slot);
    inputs.readUniqueId = readUniqueId;
    inputs.serial = serial;
    return inputs;
}

void MemoryRunHost::SetRowText(const PortTextUpdate& update) {
    if (!valid(update.slot) || update.column < 0 || update.column >= kColumns)
        return;
    Row& r = row(update.slot);
    r.texts[std::size_t(update.column)] = update.text;
    if (update.column == ColumnRemark && !update.text.empty())
        r.remarks.push_back(update.text);
    if (onRowChanged)
        onRowChanged(update.slot, update.column);
}

void MemoryRunHost::SetRowProgress(const PortProgressUpdate& update) {
    if (!valid(update.slot))
        return;
    Row& r = row(update.slot);
    if (update.maximum != 0) {
        r.progressMaximum = update.maximum;
    } else {
        r.progressPosition = update.position;
    }
    if (onRowChanged)
        onRowChanged(update.slot, update.column);
}

void MemoryRunHost::UntickRow(std::int32_t slot) {
    if (valid(slot))
        row(slot).ticked = false;
}

void MemoryRunHost::ShowMessage(const std::string& caption, const OperatorText& text) {
    messages.push_back({caption, text.words(language), text});
    if (onMessage)
        onMessage(messages.back());
}

void MemoryRunHost::OnSlotRunEnded(std::int32_t slot, bool succeeded) {
    if (onSlotEnded)
        onSlotEnded(slot, succeeded);
}

void MemoryRunHost::OnRunEnded() {
    ++runsEnded;
    if (onRunEnded)
        onRunEnded();
}

}  // namespace pellion
