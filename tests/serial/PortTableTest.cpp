#include "serial/PortTable.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "support/PtyPair.h"
#include "support/TestSerialOwner.h"

namespace pellion {
namespace {

TEST(ParseComNumberTest, TakesTheDigitsThatEndTheName) {
    EXPECT_EQ(ParseComNumber("COM3"), 3);
    EXPECT_EQ(ParseComNumber("COM12"), 12);
    EXPECT_EQ(ParseComNumber("COM123"), 123);
    EXPECT_EQ(ParseComNumber("ttyUSB12"), 12);
    EXPECT_EQ(ParseComNumber("ttyACM0"), 0);
    EXPECT_EQ(ParseComNumber("/tmp/chips/chip3"), 3);
    EXPECT_EQ(ParseComNumber("COM1A"), 0);  // no digit at the end
    EXPECT_EQ(ParseComNumber("COM"), 0);
    EXPECT_EQ(ParseComNumber(""), 0);
    EXPECT_GT(ParseComNumber("tty99999999999999999999"), 0);  // stays in range
}

void expectInitial(const PortSlot& s) {
    EXPECT_EQ(s.cycle.state, 0);
    EXPECT_EQ(s.chip.geometry, DeviceGeometry{});
    EXPECT_TRUE(s.chip.partName.empty());
    EXPECT_EQ(s.cycle.optionBytes, (std::array<std::uint8_t, 16>{}));
    EXPECT_EQ(s.chip.eraseCommand, 0x43);
    for (std::uint16_t page : s.cycle.pageList)
        ASSERT_EQ(page, 0);
    EXPECT_EQ(s.cycle.writeAddress, 0u);
    EXPECT_EQ(s.cycle.imageCursor, 0u);
    EXPECT_TRUE(s.chip.readUnprotectAllowed);
    EXPECT_EQ(s.result.outcome, SlotOutcome::Idle);
    EXPECT_EQ(s.result.runId, 0u);
    EXPECT_EQ(s.cycle.inputs.image, nullptr);
    EXPECT_FALSE(s.ports.IsOpen());
}

// An image a slot's cycle writes, shared as a run shares it.
std::shared_ptr<const FirmwareImage> sampleImage(std::size_t size) {
    FirmwareImage image;
    image.imageBytes.assign(size, 0x5A);
    image.imageSize = std::uint32_t(size);
    image.startAddress = 0x08000000;
    return std::make_shared<const FirmwareImage>(std::move(image));
}

TEST(PortTableTest, OneSlotPerPortInOrderWithInitialValues) {
    PortTable table;
    EXPECT_FALSE(table.built());
    table.BuildPortTable(std::vector<std::string>{"COM7", "COM3", "COM12", "COM123"});
    ASSERT_TRUE(table.built());
    ASSERT_EQ(table.slotCount(), 4);
    EXPECT_EQ(table.slot(0).comNumber, 7);
    EXPECT_EQ(table.slot(1).comNumber, 3);
    EXPECT_EQ(table.slot(2).comNumber, 12);
    EXPECT_EQ(table.slot(3).comNumber, 123);
    EXPECT_EQ(table.slot(1).portName, "COM3");
    EXPECT_EQ(table.slot(1).devicePath, "COM3");
    for (int i = 0; i < table.slotCount(); ++i)
        expectInitial(table.slot(i));
}

TEST(PortTableTest, RebuildStartsEverySlotAfresh) {
    PortTable table;
    table.BuildPortTable(std::vector<std::string>{"COM1", "COM2"});
    auto image = sampleImage(10);
    const std::weak_ptr<const FirmwareImage> held = image;
    for (int i = 0; i < 2; ++i) {
        PortSlot& s = table.slot(i);
        s.cycle.inputs.image = image;
        s.cycle.state = 100;
        s.chip.geometry = {256, 2, 2048, 128, 0};
        s.chip.partName = "KTM1RCB-0256";
        s.cycle.optionBytes.fill(0xA5);
        s.chip.eraseCommand = 0x44;
        s.cycle.pageList.fill(7);
        s.cycle.writeAddress = 0x08000400;
        s.cycle.imageCursor = 0x400;
        s.chip.readUnprotectAllowed = false;
        s.result.outcome = SlotOutcome::Failed;
        s.result.runId = 3;
    }
    image.reset();
    table.FreePortTable();
    table.BuildPortTable(std::vector<std::string>{"COM1", "COM2"});
    ASSERT_EQ(table.slotCount(), 2);
    for (int i = 0; i < 2; ++i)
        expectInitial(table.slot(i));
    EXPECT_TRUE(held.expired()) << "no slot keeps an earlier cycle's image";

    // Building over a table that still exists frees it first.
    table.slot(0).cycle.state = 12;
    table.BuildPortTable(std::vector<std::string>{"COM9"});
    ASSERT_EQ(table.slotCount(), 1);
    expectInitial(table.slot(0));
    EXPECT_EQ(table.slot(0).comNumber, 9);
}

TEST(PortTableTest, FreeReleasesTheCyclesImagesAndTwiceIsHarmless) {
    PortTable table;
    table.BuildPortTable(std::vector<std::string>{});
    EXPECT_TRUE(table.built());
    EXPECT_EQ(table.slotCount(), 0);
    table.FreePortTable();
    table.BuildPortTable(std::vector<std::string>{"COM1"});
    std::weak_ptr<const FirmwareImage> held;
    {
        auto image = sampleImage(1000);
        held = image;
        table.slot(0).cycle.inputs.image = image;
    }
    EXPECT_FALSE(held.expired());
    table.FreePortTable();
    EXPECT_FALSE(table.built());
    EXPECT_EQ(table.slotCount(), 0);
    EXPECT_TRUE(held.expired()) << "the last holder of a run's image was the freed slot";
    table.FreePortTable();
    EXPECT_FALSE(table.built());
    EXPECT_FALSE(table.slotOf(CSerialPort{}).has_value());
}

TEST(PortTableTest, SlotsAreFoundByPortIdentityNotByNumber) {
    PortTable table;
    // ttyUSB1 and ttyACM1 have the same number; their ports are still told apart.
    table.BuildPortTable(std::vector<std::string>{"ttyUSB1", "ttyACM1", "COM5"});
    ASSERT_EQ(table.slot(0).comNumber, table.slot(1).comNumber);
    EXPECT_EQ(table.slotOf(table.slot(0).ports), 0);
    EXPECT_EQ(table.slotOf(table.slot(1).ports), 1);
    EXPECT_EQ(table.slotOf(table.slot(2).ports), 2);
    CSerialPort stranger;
    EXPECT_FALSE(table.slotOf(stranger).has_value());
}

TEST(PortTableTest, FreeClosesOpenPorts) {
    test::PtyPair first, second;
    ASSERT_TRUE(first.ok()) << first.error();
    ASSERT_TRUE(second.ok()) << second.error();
    test::TestSerialOwner owner;
    PortTable table;
    table.BuildPortTable(
        std::vector<PortIdentity>{{"COM3", first.slavePath()}, {"COM4", second.slavePath()}});
    EXPECT_EQ(table.slot(0).devicePath, first.slavePath());
    EXPECT_EQ(table.slot(1).portName, "COM4");
    for (int i = 0; i < 2; ++i) {
        PortSlot& s = table.slot(i);
        ASSERT_TRUE(s.ports.OpenPort(&owner, s.devicePath, s.comNumber, 57600, 0));
        ASSERT_TRUE(s.ports.SetTimeouts(CommTimeouts::uniform(5)));
        ASSERT_TRUE(s.ports.StartMonitor());
        // The monitor empties the input queue as it starts; the far end talks after that.
        ASSERT_TRUE(owner.waitFor([&] { return s.ports.threadAlive == 1; }));
    }
    EXPECT_TRUE(CSerialPort::IsPortBusy(first.slavePath()));
    EXPECT_TRUE(CSerialPort::IsPortBusy(second.slavePath()));

    // A delivery reaches the owner from the slot's own port object.
    ASSERT_TRUE(second.write({0x79}));
    ASSERT_TRUE(owner.waitForDeliveries(1));
    EXPECT_EQ(table.slotOf(*owner.deliveries[0].port), 1);

    table.FreePortTable();
    EXPECT_FALSE(CSerialPort::IsPortBusy(first.slavePath()));
    EXPECT_FALSE(CSerialPort::IsPortBusy(second.slavePath()));
}

TEST(PortTableTest, DestroyingTheTableClosesItsPorts) {
    test::PtyPair pty;
    ASSERT_TRUE(pty.ok()) << pty.error();
    test::TestSerialOwner owner;
    {
        PortTable table;
        table.BuildPortTable(std::vector<PortIdentity>{{"COM3", pty.slavePath()}});
        PortSlot& s = table.slot(0);
        ASSERT_TRUE(s.ports.OpenPort(&owner, s.devicePath, s.comNumber, 57600, 0));
        ASSERT_TRUE(s.ports.StartMonitor());
        EXPECT_TRUE(CSerialPort::IsPortBusy(pty.slavePath()));
    }
    EXPECT_FALSE(CSerialPort::IsPortBusy(pty.slavePath()));
}

}  // namespace
}  // namespace pellion
