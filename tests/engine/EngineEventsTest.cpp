// The engine's events as a listener sees them, the inputs a cycle takes when it starts, and the
// text table the surfaces make their words from.
#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "EngineRig.h"
#include "engine/RowTexts.h"
#include "engine/TextTableZh.h"

namespace pellion::test {
namespace {

using namespace std::chrono_literals;

struct Recorder : EngineListener {
    std::vector<StepStarted> steps;
    std::vector<Identified> identified;
    std::vector<Progress> progress;
    std::vector<SlotEnded> ended;
    void OnStepStarted(const StepStarted& e) override { steps.push_back(e); }
    void OnIdentified(const Identified& e) override { identified.push_back(e); }
    void OnProgress(const Progress& e) override { progress.push_back(e); }
    void OnSlotEnded(const SlotEnded& e) override { ended.push_back(e); }

    std::vector<SlotStep> stepsOf(std::int32_t slot) const {
        std::vector<SlotStep> out;
        for (const auto& e : steps) {
            if (e.slot == slot && (out.empty() || out.back() != e.step))
                out.push_back(e.step);
        }
        return out;
    }
    std::vector<SlotEnded> endsOf(std::int32_t slot) const {
        std::vector<SlotEnded> out;
        for (const auto& e : ended) {
            if (e.slot == slot)
                out.push_back(e);
        }
        return out;
    }
};

// One chip programmed and verified, one cancelled in the middle: each cycle ends exactly once,
// with what a report needs, and the steps come in the order the chip saw them.
TEST(EngineEvents, EveryCycleEndsOnceWithItsFacts) {
    EngineRig rig;
    rig.addChip("1RCB");
    rig.addChip("1RCB");
    rig.build();
    Recorder recorder;
    rig.control->events().subscribe(recorder);
    rig.tickAllAndIdentify();
    ASSERT_EQ(recorder.identified.size(), 2u);
    EXPECT_EQ(recorder.identified[0].part, "KTM1RCB-0256");
    EXPECT_FALSE(recorder.identified[0].code.empty());

    const auto image = patternImage(8000);
    rig.setImage(image);
    rig.host->verify = true;
    const auto endedBefore = rig.host->runsEnded;
    rig.control->StartRun();
    ASSERT_TRUE(rig.runUntil([&] { return rig.slot(1).cycle.state == WriteData; }));
    rig.untick(1);
    ASSERT_TRUE(rig.runUntil([&] { return rig.host->runsEnded > endedBefore; }, 30s));
    rig.control->events().unsubscribe(recorder);

    const auto first = recorder.endsOf(0);
    ASSERT_EQ(first.size(), 1u);
    EXPECT_EQ(first[0].phase, SlotPhase::Programming);
    EXPECT_EQ(first[0].result, SlotResult::Succeeded);
    EXPECT_TRUE(first[0].verified);
    EXPECT_EQ(first[0].bytesWritten, image.size());
    EXPECT_EQ(
        recorder.stepsOf(0),
        (std::vector<SlotStep>{SlotStep::Sync, SlotStep::Identify, SlotStep::ReadOptions,
                               SlotStep::Erase, SlotStep::Write, SlotStep::Verify, SlotStep::Go}));
    const auto second = recorder.endsOf(1);
    ASSERT_EQ(second.size(), 1u);
    EXPECT_EQ(second[0].result, SlotResult::Cancelled);

    // Progress never goes back within the run and ends with everything moved.
    std::int32_t last = -1;
    for (const auto& p : recorder.progress) {
        if (p.slot != 0)
            continue;
        EXPECT_GE(p.done, last);
        last = p.done;
    }
    EXPECT_GT(last, std::int32_t(2 * image.size()) - 2);
}

// Readout protection is an input of the cycle: unticking the box once the run has started
// changes nothing for it.
TEST(EngineEvents, ACycleKeepsTheInputsItStartedWith) {
    EngineRig rig;
    rig.addChip("1RCB");
    rig.build();
    rig.tickAllAndIdentify();
    rig.setImage(patternImage(600));
    rig.host->readProtect = true;
    const auto endedBefore = rig.host->runsEnded;
    rig.control->StartRun();
    rig.host->readProtect = false;
    ASSERT_TRUE(rig.runUntil([&] { return rig.host->runsEnded > endedBefore; }, 30s));
    EXPECT_EQ(rig.slot(0).result.outcome, SlotOutcome::Succeeded);
    EXPECT_EQ(rig.row(0).texts[ColumnRemark], "下载完成，设置读保护成功");
}

// The unique ID is read only when the cycle's inputs ask for it, so normal mode's turns stay
// as they were; a readout-protected chip refuses it and is identified all the same, and runs
// go on as before.
TEST(EngineEvents, TheUniqueIdIsReadWhenAskedAndRefusedUnderReadoutProtection) {
    EngineRig rig;
    rig.addChip("1RCB");
    sim::ChipOptions locked;
    locked.code = DeviceCode("1RCB");
    locked.readoutProtected = true;
    rig.addChip(locked);
    rig.addChip("1RCB");
    rig.build();
    Recorder recorder;
    rig.control->events().subscribe(recorder);
    rig.host->readUniqueId = true;
    rig.tick(0);
    rig.tick(1);
    rig.host->readUniqueId = false;
    rig.tick(2);
    for (std::int32_t i = 0; i < 3; ++i)
        ASSERT_TRUE(rig.waitIdentified(i));
    ASSERT_EQ(recorder.identified.size(), 3u);
    std::array<Identified, 3> bySlot;
    for (const auto& e : recorder.identified)
        bySlot.at(std::size_t(e.slot)) = e;
    ASSERT_TRUE(bySlot[0].uniqueId.has_value());
    EXPECT_EQ(*bySlot[0].uniqueId, rig.chips.chip(0).uniqueId());
    EXPECT_FALSE(bySlot[0].uniqueIdRefused);
    EXPECT_EQ(bySlot[1].part, "KTM1RCB-0256");
    EXPECT_FALSE(bySlot[1].uniqueId.has_value());
    EXPECT_TRUE(bySlot[1].uniqueIdRefused);
    EXPECT_FALSE(bySlot[2].uniqueId.has_value());
    EXPECT_FALSE(bySlot[2].uniqueIdRefused);
    EXPECT_EQ(recorder.stepsOf(0), (std::vector<SlotStep>{SlotStep::Sync, SlotStep::Identify}));

    const auto image = patternImage(600);
    rig.setImage(image);
    ASSERT_TRUE(rig.run());
    rig.control->events().unsubscribe(recorder);
    for (std::int32_t i = 0; i < 3; ++i) {
        EXPECT_EQ(rig.slot(i).result.outcome, SlotOutcome::Succeeded) << i;
        EXPECT_EQ(rig.flashOf(std::size_t(i), 0x08000000, image.size()), image) << i;
    }
}

// A slot's next cycle starts clean: a fresh chip in the socket inherits nothing of the one
// before it (its ID, the mass erase that its protection cost), and its run's result is its own.
TEST(EngineEvents, ANewChipsCycleInheritsNothingOfTheLastOne) {
    EngineRig rig;
    sim::ChipOptions locked;
    locked.code = DeviceCode("1RCB");
    locked.readoutProtected = true;
    auto& chip = rig.addChip(locked);
    rig.build();
    rig.host->readUniqueId = true;
    rig.tick(0);
    ASSERT_TRUE(rig.waitIdentified(0));
    EXPECT_TRUE(rig.slot(0).chip.uniqueIdRefused);
    const auto image = patternImage(900);
    rig.setImage(image);
    ASSERT_TRUE(rig.run());
    EXPECT_EQ(rig.slot(0).result.outcome, SlotOutcome::Succeeded);
    EXPECT_TRUE(rig.slot(0).result.massErased);
    EXPECT_FALSE(rig.slot(0).chip.readUnprotectAllowed);

    chip.replace();
    chip.setReadoutProtected(false);  // the fresh chip comes from the factory
    rig.untick(0);
    rig.tick(0);
    ASSERT_TRUE(rig.waitIdentified(0));
    const PortSlot& s = rig.slot(0);
    ASSERT_TRUE(s.chip.uniqueId.has_value());
    EXPECT_EQ(*s.chip.uniqueId, chip.uniqueId());
    EXPECT_FALSE(s.chip.uniqueIdRefused);
    EXPECT_TRUE(s.chip.readUnprotectAllowed);
    EXPECT_EQ(s.result.outcome, SlotOutcome::Idle);
    ASSERT_TRUE(rig.run());
    EXPECT_EQ(s.result.outcome, SlotOutcome::Succeeded);
    EXPECT_FALSE(s.result.massErased);
    EXPECT_EQ(s.result.failedStep, SlotStep::None);
    EXPECT_EQ(rig.flashOf(0, 0x08000000, image.size()), image);
}

TEST(EngineEvents, TextsComeFromTheTableWithTheirParameters) {
    for (std::size_t i = 0; i < kZhTexts.size(); ++i)
        EXPECT_FALSE(kZhTexts[i].empty()) << i;
    EXPECT_EQ(Text(TextId::NoModel, {{"ports", "COM3,COM5"}}), "COM3,COM5芯片请选择型号!");
    EXPECT_EQ(Text(TextId::ModelRefused, {{"part", "KTM1C8A-0064"}}),
              "芯片已识别为KTM1C8A-0064,不能选择其他型号!");  // a missing parameter is empty

    SlotEnded gone;
    gone.reason = EndReason::PortGone;
    gone.during = SlotStep::Erase;
    EXPECT_EQ(EndingText(gone), "擦除失败,串口已断开");
    gone.phase = SlotPhase::Identification;
    EXPECT_EQ(EndingText(gone), "串口已断开");
    SlotEnded differs;
    differs.reason = EndReason::FlashDiffers;
    differs.during = SlotStep::Verify;
    differs.address = 0x08000104;
    EXPECT_EQ(EndingText(differs), "校验失败,地址0x08000104的内容与下载文件不同");
    SlotEnded unprotect;
    unprotect.reason = EndReason::Refused;
    unprotect.during = SlotStep::Unprotect;
    unprotect.readout = true;
    EXPECT_EQ(EndingText(unprotect), "去除读保护失败,芯片多次拒绝");
}

}  // namespace
}  // namespace pellion::test
