#include <gtest/gtest.h>

#include "engine/BootloaderCodec.h"
#include "engine/EngineTiming.h"
#include "engine/ImageFit.h"
#include "engine/PortStateMachine.h"
#include "engine/RunControl.h"

namespace pellion {
namespace {

using namespace std::chrono_literals;

FirmwareImage imageOf(std::uint32_t size, std::uint32_t start) {
    FirmwareImage image;
    image.imageBytes.assign(size, 0x11);
    image.imageSize = size;
    image.startAddress = start;
    return image;
}

TEST(RunTexts, ElapsedTimeWrapsHoursAtADay) {
    EXPECT_EQ(FormatElapsed(0), "00:00:00");
    EXPECT_EQ(FormatElapsed(3725), "01:02:05");
    EXPECT_EQ(FormatElapsed(25 * 3600), "01:00:00");
    EXPECT_EQ(FormatElapsed(59), "00:00:59");
}

TEST(RunTexts, PortListsAreCommaSeparatedAndFollowedByTheText) {
    EXPECT_EQ(PortListMessage({"COM3", "COM5"}, "芯片请选择型号!"), "COM3,COM5芯片请选择型号!");
    EXPECT_EQ(PortListMessage({"COM7"}, "芯片初始化失败!"), "COM7芯片初始化失败!");
}

TEST(RunTexts, ImageFitNamesEveryWayAnImageCanMissTheChip) {
    const DeviceGeometry chip64{64, 4, 1024, 64, 0};
    EXPECT_EQ(ImageFitProblem(imageOf(64 * 1024, kFlashBase), chip64), "");
    EXPECT_EQ(ImageFitProblem(imageOf(4, kFlashBase + 64 * 1024 - 4), chip64), "");
    EXPECT_EQ(ImageFitProblem(imageOf(1, kFlashBase + 64 * 1024 - 4), chip64), "");
    EXPECT_EQ(ImageFitProblem(imageOf(5, kFlashBase + 64 * 1024 - 4), chip64),
              "下载文件结束于0x08010000,超出芯片闪存末地址0x0800FFFF");
    // Writes go to word addresses only; the last byte alone would be padded past the end.
    EXPECT_EQ(ImageFitProblem(imageOf(1, kFlashBase + 64 * 1024 - 1), chip64),
              "起始地址0x0800FFFF不是4字节对齐的地址,芯片无法写入");
    EXPECT_EQ(ImageFitProblem(imageOf(201, kFlashBase + 2), chip64),
              "起始地址0x08000002不是4字节对齐的地址,芯片无法写入");
    EXPECT_EQ(ImageFitProblem(imageOf(16, 0x07FFFFF0), chip64),
              "起始地址0x07FFFFF0不在芯片闪存范围(0x08000000-0x0800FFFF)内");
    EXPECT_EQ(ImageFitProblem(imageOf(16, kFlashBase + 64 * 1024), chip64),
              "起始地址0x08010000不在芯片闪存范围(0x08000000-0x0800FFFF)内");
    // The option bytes fit any chip, but only whole.
    EXPECT_EQ(ImageFitProblem(imageOf(16, kOptionBytesAddress), chip64), "");
    EXPECT_EQ(ImageFitProblem(imageOf(15, kOptionBytesAddress), chip64),
              "选项字节文件只有15字节,需要16字节");
    // A chip whose pages outnumber the erase list (no catalogue chip does).
    const DeviceGeometry tinyPages{512, 32, 128, 4096, 1};
    EXPECT_EQ(ImageFitProblem(imageOf(300 * 1024, kFlashBase), tinyPages),
              "下载文件需要擦除2400页,超过2000页的上限");
    EXPECT_EQ(ImageFitProblem(imageOf(200 * 1024, kFlashBase), tinyPages), "");
}

TEST(RunTexts, AnswerTimeoutsGrowWithFrameBaudAndWork) {
    EngineTiming timing;
    timing.answerMargin = 100ms;
    // 202 + 1 bytes at 115200: about 19 ms on the line, doubled.
    EXPECT_EQ(AnswerTimeout(timing, 115200, 0, 202, 1, 0ms), 100ms + 39ms);
    // At 1200 baud the same frame needs seconds.
    EXPECT_EQ(AnswerTimeout(timing, 1200, 0, 202, 1, 0ms), 100ms + 3722ms);
    EXPECT_EQ(AnswerTimeout(timing, 115200, 20, 2, 1, 500ms), 100ms + 20ms + 1ms + 500ms);
}

TEST(RunTexts, ProgressCoversWritingAndReadingBack) {
    PortSlot slot;
    const std::uint32_t start = kFlashBase;
    slot.cycle.endAddress = start + 399;
    slot.cycle.writeAddress = start + 100;
    EXPECT_EQ(PortStateMachine::ProgressMaximum(slot, start), 399);
    EXPECT_EQ(PortStateMachine::ProgressPosition(slot, start), 100);
    slot.cycle.inputs.verify = true;
    slot.cycle.verifyAddress = start;
    EXPECT_EQ(PortStateMachine::ProgressMaximum(slot, start), 799);
    EXPECT_EQ(PortStateMachine::ProgressPosition(slot, start), 100);
    slot.cycle.writeAddress = start + 400;
    EXPECT_LT(PortStateMachine::ProgressPosition(slot, start), 799);  // written, not verified
    slot.cycle.verifyAddress = start + 400;
    EXPECT_EQ(PortStateMachine::ProgressPosition(slot, start), 800);
}

TEST(RunTexts, FailedStepsAreNamedLikeTheOtherRemarks) {
    EXPECT_EQ(FailedStepText(SyncSent), "初始化失败");
    EXPECT_EQ(FailedStepText(ErasePages), "擦除失败");
    EXPECT_EQ(FailedStepText(WriteAddr), "下载失败");
    EXPECT_EQ(FailedStepText(GoAddr), "跳转失败");
    EXPECT_EQ(FailedStepText(ResyncAfterWriteUnprotect), "去除写保护失败");
    EXPECT_EQ(FailedStepText(UnprotectReadDone), "去除读保护失败");
    EXPECT_EQ(FailedStepText(ProtectAddr), "下载完成，设置读保护失败");
    EXPECT_EQ(FailedStepText(VerifyData), "校验失败");
}

}  // namespace
}  // namespace pellion
