#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/OperatorText.h"
#include "engine/SlotEvents.h"
#include "engine/TextTable.h"

namespace pellion {

// The step a failure names, in the operator's words ("擦除失败"); `readout` tells the two
// kinds of unprotect apart.
std::string StepFailureText(SlotStep step, bool readout,
                            OperatorLanguage language = OperatorLanguage::Chinese);
// The same for the step a state machine state belongs to.
std::string FailedStepText(std::int32_t state,
                           OperatorLanguage language = OperatorLanguage::Chinese);
// Why a phase ended, as a slot's remark names it ("擦除失败,芯片无应答", "串口已断开"); the
// port-opening reasons give the message the operator was shown.
OperatorText EndingMessage(const SlotEnded& ended);
// The same in words.
std::string EndingText(const SlotEnded& ended,
                       OperatorLanguage language = OperatorLanguage::Chinese);

// A slot's row texts (columns 3, 5 and 7) made from the engine's events with one language's
// table, as the window's grid and the command line show them. Subclasses send every change on
// (setText); the texts are kept for those that only read them.
class RowTexts : public EngineListener {
  public:
    explicit RowTexts(OperatorLanguage language = OperatorLanguage::Chinese)
        : language_(language) {}

    // Texts made from now on are in `language`.
    void setLanguage(OperatorLanguage language) { language_ = language; }

    // The remark column's last text, or why the port never opened.
    const std::string& remark(std::int32_t slot) const;

    void OnStepStarted(const StepStarted& event) override;
    void OnMilestone(const MilestoneReached& event) override;
    void OnIdentified(const Identified& event) override;
    void OnModelNeeded(const ModelNeeded& event) override;
    void OnSlotEnded(const SlotEnded& event) override;
    void OnSlotClosed(std::int32_t slot) override;

  protected:
    // A cell of the slot's row now shows `text`.
    virtual void setText(std::int32_t slot, std::int32_t column, const std::string& text);

  private:
    void show(std::int32_t slot, std::int32_t column, TextId id);
    std::string& remarkOf(std::int32_t slot);

    OperatorLanguage language_;
    std::vector<std::string> remarks_;
};

}  // namespace pellion
