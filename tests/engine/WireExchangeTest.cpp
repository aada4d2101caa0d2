// The exact bytes of the transition table, against a scripted peer on a pseudo-terminal: the
// refusals and odd answers a well-behaved chip model never gives.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "EngineRig.h"
#include "engine/BootloaderCodec.h"
#include "support/PtyPair.h"

namespace pellion::test {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

// One exchange: what the host must send, and what the peer answers.
struct Exchange {
    Bytes expect;
    Bytes answer;
};

// Plays the chip from a script on its own thread; records what the host really sent.
class ScriptedPeer {
  public:
    explicit ScriptedPeer(std::vector<Exchange> script) : script_(std::move(script)) {}
    ~ScriptedPeer() {
        if (thread_.joinable())
            thread_.join();
    }
    void start() {
        thread_ = std::thread([this] {
            for (const auto& step : script_) {
                Bytes got = line.read(step.expect.size(), 5s);
                received.push_back(got);
                if (got != step.expect)
                    break;
                if (!step.answer.empty())
                    line.write(step.answer);
            }
            done = true;
        });
    }
    PtyPair line;
    std::vector<Bytes> received;  // read only after done
    std::atomic<bool> done{false};

  private:
    std::vector<Exchange> script_;
    std::thread thread_;
};

Bytes optionBytesAnswer() {
    Bytes answer{ACK, 0xA5, 0x5A};
    for (int i = 0; i < 7; ++i)
        answer.insert(answer.end(), {0xFF, 0x00});
    return answer;
}

const Bytes kSync{SYNC};
const Bytes kAck{ACK};
const Bytes kNack{NACK};
const Bytes kReadCmd{0x11, 0xEE};
const Bytes kOptionAddress{0x1F, 0xFF, 0xF8, 0x00, 0x18};
const Bytes kCount16{0x0F, 0xF0};

std::vector<Exchange> identification() {
    return {{kSync, kAck}, {{0x06, 0xF9}, {ACK, 0x03, '1', 'C', '8', 'A', ACK}}};
}

std::vector<Exchange> optionRead() {
    return {{kReadCmd, kAck}, {kOptionAddress, kAck}, {kCount16, optionBytesAnswer()}};
}

void append(std::vector<Exchange>& script, const std::vector<Exchange>& more) {
    script.insert(script.end(), more.begin(), more.end());
}

void expectScriptFollowed(const ScriptedPeer& peer, const std::vector<Exchange>& script) {
    ASSERT_EQ(peer.received.size(), script.size());
    for (std::size_t i = 0; i < script.size(); ++i)
        EXPECT_EQ(peer.received[i], script[i].expect) << "exchange " << i;
}

// The rig with the peer as its one port; the peer starts playing and the slot is ticked.
void tickAgainst(EngineRig& rig, ScriptedPeer& peer) {
    rig.extraDevices = {peer.line.slavePath()};
    rig.build();
    peer.start();
    rig.tick(0);
}

// Identifies the chip the script plays, runs `image` into it, and checks that the host sent
// what the script expects and nothing after it.
void runScript(EngineRig& rig, const std::vector<Exchange>& script, const Bytes& image,
               bool readProtect = false) {
    ScriptedPeer peer(script);
    ASSERT_TRUE(peer.line.ok());
    tickAgainst(rig, peer);
    ASSERT_TRUE(rig.waitIdentified(0));
    rig.setImage(image);
    rig.host->readProtect = readProtect;
    ASSERT_TRUE(rig.run(10s));
    ASSERT_TRUE(rig.runUntil([&] { return peer.done.load(); }, 5s));
    expectScriptFollowed(peer, script);
    EXPECT_TRUE(peer.line.readUntilQuiet(100ms, 1s).empty()) << "sent after the script";
}

TEST(WireExchange, RefusalsAndCorruptedOptionBytesAreRepeatedAndNothingIsMassErased) {
    const Bytes image{0xD0, 0xD1, 0xD2, 0xD3};
    const Bytes dataFrame{0x03, 0xD0, 0xD1,
                          0xD2, 0xD3, std::uint8_t(0x03 ^ 0xD0 ^ 0xD1 ^ 0xD2 ^ 0xD3)};
    Bytes corrupted = optionBytesAnswer();
    corrupted[9] ^= 0x01;  // byte 8's pair broken on the line: protection of region 0 appears
    std::vector<Exchange> script = identification();
    append(script, {
                       {kReadCmd, kNack},  // two refusals in a row are not readout protection
                       {kReadCmd, kNack},
                       {kReadCmd, kAck},
                       {kOptionAddress, kAck},
                       {kCount16, corrupted},  // read again, never taken for a setting
                   });
    append(script, optionRead());
    append(script, {
                       {{0x43, 0xBC}, kNack},  // refused erase: asked again, then...
                       {{0x43, 0xBC}, kNack},
                       {{0x43, 0xBC}, kNack},
                       {{0x73, 0x8C}, kAck},  // ...write unprotect: the chip is readable
                       {{}, kNack},           // second answer refused: asked again for two
                       {{0x73, 0x8C}, {ACK, ACK}},
                       {kSync, kAck},
                       {{0x43, 0xBC}, kAck},  // erase, not a new option read
                       {{0x00, 0x00, 0x00}, kAck},
                       {{0x31, 0xCE}, {0x00}},  // neither ACK nor NACK: asked again
                       {{0x31, 0xCE}, kAck},
                       {{0x08, 0x00, 0x00, 0x00, 0x08}, kAck},
                       {dataFrame, kAck},
                       {{0x21, 0xDE}, kNack},  // Go refused once
                       {{0x21, 0xDE}, kAck},
                       {{0x08, 0x00, 0x00, 0x00, 0x08}, kAck},
                   });
    EngineRig rig;
    runScript(rig, script, image);
    EXPECT_EQ(rig.row(0).texts[ColumnModel], "KTM1C8A-0064");
    EXPECT_EQ(rig.slot(0).result.outcome, SlotOutcome::Succeeded);
    for (const char* text : {"正在去除写保护,请稍后.....", "去除写保护成功",
                             "正在擦除芯片,请稍后.....", "擦除成功", "下载完成"})
        EXPECT_TRUE(rig.remarked(0, text)) << text;
    EXPECT_FALSE(rig.remarked(0, "去除读保护成功"));
    EXPECT_EQ(rig.row(0).texts[ColumnRemark], "下载完成后成功跳转");
    EXPECT_FALSE(rig.slot(0).result.massErased);
}

TEST(WireExchange, ReadProtectionFollowsTheImageAndItsRefusalIsReported) {
    const Bytes dataFrame{0x03, 0x42, 0xFF, 0xFF, 0xFF, std::uint8_t(0x03 ^ 0x42 ^ 0xFF)};
    Bytes protectFrame{0x0F, 0xFF, 0x00};
    for (int i = 0; i < 7; ++i)
        protectFrame.insert(protectFrame.end(), {0xFF, 0x00});
    std::uint8_t checksum = 0;
    for (auto b : protectFrame)
        checksum ^= b;
    protectFrame.push_back(checksum);

    std::vector<Exchange> script = identification();
    append(script, optionRead());
    append(script, {
                       {{0x43, 0xBC}, kAck},
                       {{0x00, 0x00, 0x00}, kAck},
                       {{0x31, 0xCE}, kAck},
                       {{0x08, 0x00, 0x00, 0x00, 0x08}, kAck},
                       {dataFrame, kAck},
                       {{0x31, 0xCE}, kAck},  // the option bytes, no Go
                       {kOptionAddress, kAck},
                       {protectFrame, kNack},
                   });
    EngineRig rig;
    runScript(rig, script, {0x42}, true);
    EXPECT_EQ(rig.row(0).texts[ColumnRemark], "下载完成，设置读保护失败");
    EXPECT_EQ(rig.slot(0).result.outcome, SlotOutcome::Failed);
    EXPECT_TRUE(rig.host->okEnabled);
}

TEST(WireExchange, OptionBytesThatStayCorruptedFailTheSlotAndAreNeverWrittenBack) {
    Bytes corrupted = optionBytesAnswer();
    corrupted[2] = 0x5B;  // the readout-protection pair broken
    std::vector<Exchange> script = identification();
    for (int read = 0; read < 3; ++read) {
        append(script, {{kReadCmd, kAck}, {kOptionAddress, kAck}, {kCount16, corrupted}});
    }
    EngineRig rig;
    runScript(rig, script, {0x42}, true);
    EXPECT_EQ(rig.row(0).texts[ColumnRemark], "读取选项字节失败,选项字节校验错误");
    EXPECT_EQ(rig.slot(0).result.outcome, SlotOutcome::Failed);
    EXPECT_EQ(rig.slot(0).result.failedStep, SlotStep::ReadOptions);
}

// A device-code answer that stays short, each of the three times it is asked for (a byte lost
// on the line would not), names an unknown device; a chip that answers nothing to Get device
// code after taking SYNC for the end of a frame gets filler until it refuses, then SYNC.
TEST(WireExchange, IdentificationRecoversFromShortAnswersAndChipsLeftMidFrame) {
    {
        const Exchange shortCode = {{0x06, 0xF9}, {ACK, 0x03, '1'}};
        const std::vector<Exchange> script = {{kSync, kAck}, shortCode, shortCode, shortCode};
        ScriptedPeer peer(script);
        ASSERT_TRUE(peer.line.ok());
        EngineRig rig;
        tickAgainst(rig, peer);
        ASSERT_TRUE(rig.waitIdentified(0));
        expectScriptFollowed(peer, script);
        EXPECT_EQ(rig.slot(0).cycle.state, CodeRequested);
        EXPECT_TRUE(rig.slot(0).chip.awaitingModel);
        EXPECT_EQ(rig.row(0).texts[ColumnModel], "未识别的设备");
        EXPECT_EQ(rig.row(0).texts[ColumnRemark], "请选择设备型号，否则无法下载");
    }
    {
        const std::vector<Exchange> script = {
            {kSync, kNack},                          // the end of a frame the chip was left in
            {{0x06, 0xF9}, {}},                      // taken as more of a frame: silence
            {Bytes(256, 0xFF), {NACK, NACK, NACK}},  // the filler ends it, the rest is refused
            {kSync, kAck},
            {{0x06, 0xF9}, {ACK, 0x03, '1', 'C', '8', 'A', ACK}},
        };
        ScriptedPeer peer(script);
        ASSERT_TRUE(peer.line.ok());
        EngineRig rig;
        tickAgainst(rig, peer);
        ASSERT_TRUE(rig.waitIdentified(0, 10s));
        ASSERT_TRUE(rig.runUntil([&] { return peer.done.load(); }, 5s));
        expectScriptFollowed(peer, script);
        EXPECT_EQ(rig.slot(0).cycle.state, Ready);
        EXPECT_EQ(rig.row(0).texts[ColumnModel], "KTM1C8A-0064");
    }
}

TEST(WireExchange, ANackToSyncMeansAlreadySynchronised) {
    std::vector<Exchange> script = {
        {kSync, {}},     // half a command to a listening bootloader: silence
        {kSync, kNack},  // the pair completed and refused
        {{0x06, 0xF9}, {ACK, 0x03, '1', 'C', '8', 'A', ACK}},
    };
    ScriptedPeer peer(script);
    ASSERT_TRUE(peer.line.ok());
    EngineRig rig;
    rig.timing.answerMargin = 100ms;
    tickAgainst(rig, peer);
    ASSERT_TRUE(rig.waitIdentified(0));
    ASSERT_TRUE(rig.runUntil([&] { return peer.done.load(); }, 5s));
    expectScriptFollowed(peer, script);
    EXPECT_EQ(rig.slot(0).cycle.state, Ready);
    EXPECT_EQ(rig.row(0).texts[ColumnInit], "Y");
}

}  // namespace
}  // namespace pellion::test
