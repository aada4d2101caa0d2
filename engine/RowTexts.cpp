#include "engine/RowTexts.h"

#include "engine/RunHost.h"

namespace pellion {

namespace {

TextId stepFailureId(SlotStep step, bool readout) {
    switch (step) {
        case SlotStep::Sync:
            return TextId::FailedSync;
        case SlotStep::Identify:
            return TextId::FailedIdentify;
        case SlotStep::ReadOptions:
            return TextId::FailedReadOptions;
        case SlotStep::Erase:
            return TextId::FailedErase;
        case SlotStep::Go:
            return TextId::FailedGo;
        case SlotStep::Unprotect:
            return readout ? TextId::FailedReadUnprotect : TextId::FailedWriteUnprotect;
        case SlotStep::Protect:
            return TextId::FailedProtect;
        case SlotStep::Verify:
            return TextId::FailedVerify;
        case SlotStep::BootEntry:
            return TextId::FailedBootEntry;
        case SlotStep::BootExit:
            return TextId::FailedBootExit;
        default:
            return TextId::FailedWrite;  // writing, and anything without a step of its own
    }
}

// The reason's own text; none for a step whose failure says it all.
bool reasonId(EndReason reason, TextId& id) {
    switch (reason) {
        case EndReason::None:
            return false;
        case EndReason::NoAnswer:
            id = TextId::ReasonNoAnswer;
            return true;
        case EndReason::NoAnswerParityBlind:
            id = TextId::ReasonParityBlind;
            return true;
        case EndReason::Garbled:
            id = TextId::ReasonGarbled;
            return true;
        case EndReason::Refused:
            id = TextId::ReasonRefused;
            return true;
        case EndReason::OptionBytesCorrupt:
            id = TextId::ReasonOptionBytesCorrupt;
            return true;
        case EndReason::Interrupted:
            id = TextId::ReasonInterrupted;
            return true;
        case EndReason::PortGone:
            id = TextId::ReasonPortGone;
            return true;
        case EndReason::DataRefused:
            id = TextId::ReasonDataRefused;
            return true;
        case EndReason::FlashDiffers:
            id = TextId::ReasonFlashDiffers;
            return true;
        case EndReason::NoLines:
            id = TextId::ReasonNoLines;
            return true;
        case EndReason::LinesFailed:
            id = TextId::ReasonLinesFailed;
            return true;
        case EndReason::NoSerialNumber:
            id = TextId::ReasonNoSerialNumber;
            return true;
        case EndReason::PortBusy:
            id = TextId::PortBusy;
            return true;
        case EndReason::PortAbsent:
            id = TextId::PortAbsent;
            return true;
        case EndReason::NotASerialPort:
            id = TextId::NotASerialPort;
            return true;
        case EndReason::PortDenied:
            id = TextId::PortDenied;
            return true;
        case EndReason::PortNotStarted:
            id = TextId::PortNotStarted;
            return true;
    }
    return false;
}

bool isPortOpening(EndReason reason) {
    return reason >= EndReason::PortBusy;
}

TextId stepStartedId(const StepStarted& event, bool& shown) {
    shown = true;
    switch (event.step) {
        case SlotStep::Sync:
            shown = event.again;
            return TextId::Initialising;
        case SlotStep::Identify:
            return TextId::ReadingInfo;
        case SlotStep::Erase:
            return TextId::Erasing;
        case SlotStep::Write:
            return TextId::Downloading;
        case SlotStep::Verify:
            return TextId::Verifying;
        case SlotStep::BootEntry:
            return TextId::EnteringBootloader;
        default:
            shown = false;  // reading options, unprotecting, Go, protecting: no remark of their own
            return TextId::Count;
    }
}

TextId milestoneId(Milestone milestone) {
    switch (milestone) {
        case Milestone::Erased:
            return TextId::Erased;
        case Milestone::EraseRefused:
            return TextId::RemovingWriteProtection;
        case Milestone::Written:
            return TextId::Downloaded;
        case Milestone::GoAccepted:
            return TextId::Started;
        case Milestone::WriteUnprotected:
            return TextId::WriteUnprotected;
        case Milestone::ReadUnprotected:
            return TextId::ReadUnprotected;
        case Milestone::Protected:
            return TextId::Protected;
        case Milestone::Verified:
            return TextId::Verified;
        case Milestone::Restarted:
            return TextId::Restarted;
    }
    return TextId::Count;
}

}  // namespace

std::string StepFailureText(SlotStep step, bool readout, OperatorLanguage language) {
    return Text(stepFailureId(step, readout), {}, language);
}

std::string FailedStepText(std::int32_t state, OperatorLanguage language) {
    return StepFailureText(StepOfState(state), IsReadUnprotectState(state), language);
}

OperatorText EndingMessage(const SlotEnded& ended) {
    TextId reason = TextId::Count;
    const bool hasReason = reasonId(ended.reason, reason);
    OperatorText reasonText;
    if (hasReason)
        reasonText = OperatorText(reason).with("address", HexAddress(ended.address));
    // A port lost while its chip was being identified ends nothing the operator started.
    if (isPortOpening(ended.reason) ||
        (ended.reason == EndReason::PortGone && ended.phase == SlotPhase::Identification))
        return reasonText;
    OperatorText step(stepFailureId(ended.during, ended.readout));
    if (!hasReason)
        return step;
    return OperatorText(TextId::FailureWithReason)
        .with("step", std::move(step))
        .with("reason", std::move(reasonText));
}

std::string EndingText(const SlotEnded& ended, OperatorLanguage language) {
    return EndingMessage(ended).words(language);
}

const std::string& RowTexts::remark(std::int32_t slot) const {
    static const std::string none;
    return slot >= 0 && std::size_t(slot) < remarks_.size() ? remarks_[std::size_t(slot)] : none;
}

std::string& RowTexts::remarkOf(std::int32_t slot) {
    if (std::size_t(slot) >= remarks_.size())
        remarks_.resize(std::size_t(slot) + 1);
    return remarks_[std::size_t(slot)];
}

void RowTexts::setText(std::int32_t /*slot*/, std::int32_t /*column*/,
                       const std::string& /*text*/) {}

void RowTexts::show(std::int32_t slot, std::int32_t column, TextId id) {
    const std::string text = Text(id, {}, language_);
    if (column == ColumnRemark)
        remarkOf(slot) = text;
    setText(slot, column, text);
}

void RowTexts::OnStepStarted(const StepStarted& event) {
    bool shown = false;
    const TextId id = stepStartedId(event, shown);
    if (event.step == SlotStep::Identify)
        show(event.slot, ColumnInit, TextId::Synchronised);
    if (shown)
        show(event.slot, ColumnRemark, id);
}

void RowTexts::OnMilestone(const MilestoneReached& event) {
    show(event.slot, ColumnRemark, milestoneId(event.milestone));
}

void RowTexts::OnIdentified(const Identified& event) {
    show(event.slot, ColumnRemark, TextId::Identified);
    if (!event.part.empty())
        setText(event.slot, ColumnModel, event.part);
}

void RowTexts::OnModelNeeded(const ModelNeeded& event) {
    if (event.unknownDevice) {
        show(event.slot, ColumnModel, TextId::UnknownDevice);
        show(event.slot, ColumnRemark, TextId::ChooseModel);
    } else {
        show(event.slot, ColumnRemark, TextId::ChooseModelByHand);
    }
}

void RowTexts::OnSlotEnded(const SlotEnded& event) {
    std::string& remark = remarkOf(event.slot);
    if (isPortOpening(event.reason)) {
        remark = EndingText(event, language_);  // shown as a message, never in the row
        return;
    }
    if (event.result == SlotResult::Failed) {
        remark = EndingText(event, language_);
        setText(event.slot, ColumnRemark, remark);
    }
    // Whatever became of the image, everything else the chip held is gone: the operator must
    // know, even when the run succeeded.
    if (event.massErased && event.result != SlotResult::Cancelled) {
        remark += Text(TextId::MassErasedNote, {}, language_);
        setText(event.slot, ColumnRemark, remark);
    }
}

void RowTexts::OnSlotClosed(std::int32_t slot) {
    remarkOf(slot).clear();
    setText(slot, ColumnInit, Text(TextId::NotSynchronised, {}, language_));
    setText(slot, ColumnReadable, "");
    setText(slot, ColumnModel, "");
    setText(slot, ColumnRemark, "");
}

}  // namespace pellion
