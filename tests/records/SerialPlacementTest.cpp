#include <gtest/gtest.h>

#include "catalogue/DeviceCatalogue.h"
#include "records/SerialPlacement.h"

namespace pellion::records {
namespace {

// A 256 KiB chip with 2 KiB pages (128 pages, one-byte page numbers).
DeviceGeometry geometry() {
    return *DeviceCatalogue().findGeometry(DeviceCode("1RCB"));
}

// 3000 bytes of code at the start of flash whose last 200 bytes are erased-flash padding.
FirmwareImage image() {
    FirmwareImage img;
    img.startAddress = 0x08000000;
    img.imageBytes.assign(3000, 0x5A);
    std::fill(img.imageBytes.end() - 200, img.imageBytes.end(), std::uint8_t{0xFF});
    img.imageSize = std::uint32_t(img.imageBytes.size());
    return img;
}

TEST(SerialPlacementTest, AcceptsErasedRoomAndNamesThePagesToEraseForIt) {
    // Inside the image's padding, inside its last page, and on a page of its own.
    EXPECT_TRUE(PlaceSerialBlock(image(), geometry(), 0x08000000 + 2800, 16).ok());
    auto samePage = PlaceSerialBlock(image(), geometry(), 0x08000FF0, 16);
    EXPECT_TRUE(samePage.ok()) << samePage.problem;
    EXPECT_TRUE(samePage.extraPages.empty());
    auto lastPage = PlaceSerialBlock(image(), geometry(), 0x0803FFF0, 16);
    EXPECT_TRUE(lastPage.ok()) << lastPage.problem;
    EXPECT_EQ(lastPage.extraPages, std::vector<std::uint16_t>{127});
    // A block that straddles the image's last page and the next one.
    auto straddling = PlaceSerialBlock(image(), geometry(), 0x08000FF8, 16);
    EXPECT_EQ(straddling.extraPages, std::vector<std::uint16_t>{2});
}

TEST(SerialPlacementTest, RefusesInOperatorWords) {
    const struct {
        std::uint32_t address;
        const char* says;
    } cases[] = {
        {0x08000000 + 2798, "不是4字节对齐"},                       // not a word address
        {0x08000000 + 2780, "与下载文件重叠(0x08000ADC处有数据)"},  // over code bytes
        {0x0803FFF8, "不在芯片闪存范围"},                           // runs past the end of flash
        {0x07FFFFF0, "不在芯片闪存范围"},                           // below flash
        {0x20000000, "不在芯片闪存范围"},                           // RAM
    };
    for (const auto& c : cases) {
        auto placement = PlaceSerialBlock(image(), geometry(), c.address, 16);
        EXPECT_FALSE(placement.ok()) << std::hex << c.address;
        EXPECT_NE(placement.problem.find(c.says), std::string::npos) << placement.problem;
    }
    FirmwareImage options;
    options.startAddress = 0x1FFFF800;
    options.imageBytes.assign(16, 0xFF);
    options.imageSize = 16;
    EXPECT_FALSE(PlaceSerialBlock(options, geometry(), 0x08000000, 4).ok());
}

}  // namespace
}  // namespace pellion::records
