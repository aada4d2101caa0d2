#include "catalogue/DeviceCatalogue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <tuple>

#include "catalogue/DeviceRows.h"

namespace pellion {
namespace {

// The geometry rule, written out again independently of the stored rows.
std::int32_t flashKiBOf(char letter) {
    static const std::map<char, std::int32_t> kiB = {
        {'4', 16},  {'6', 32},  {'8', 64},   {'B', 128},  {'C', 256}, {'D', 384},
        {'E', 512}, {'F', 768}, {'G', 1024}, {'I', 2048}, {'K', 3072}};
    return kiB.at(letter);
}

DeviceGeometry ruleGeometry(const std::string& code) {
    char series = code[0];
    std::int32_t kib = flashKiBOf(code[2]);
    bool bigPageSeries = series == '5' || series == '7';
    DeviceGeometry g;
    g.flashKiB = kib;
    g.pageBytes = (bigPageSeries || kib >= 256) ? 2048 : 1024;
    g.pagesPer4KiB = 4096 / g.pageBytes;
    g.pageCount = kib <= 512 ? kib * 1024 / g.pageBytes : 256 + (kib - 512) / 4;
    g.eraseMode = bigPageSeries ? 2 : (kib > 512 ? 1 : 0);
    return g;
}

class DeviceCatalogueTest : public ::testing::Test {
  protected:
    DeviceCatalogue catalogue;
    std::vector<CatalogueEntry> entries = catalogue.entries();
};

TEST_F(DeviceCatalogueTest, CompositionPerSeriesAndLine) {
    ASSERT_EQ(entries.size(), 155u);
    ASSERT_EQ(deviceRows().size(), 155u);  // no stored duplicate was swallowed by the maps

    std::map<char, int> perSeries;
    std::map<std::pair<char, char>, int> perLine;
    std::map<char, std::set<char>> flashLetters, variantLetters;
    std::map<std::pair<char, char>, std::set<char>> flashPerLine;
    for (const auto& e : entries) {
        std::string code = e.code.text();
        perSeries[code[0]]++;
        perLine[{code[0], code[3]}]++;
        flashLetters[code[0]].insert(code[2]);
        variantLetters[code[0]].insert(code[1]);
        flashPerLine[{code[0], code[3]}].insert(code[2]);
    }
    EXPECT_EQ(perSeries,
              (std::map<char, int>{{'0', 22}, {'1', 35}, {'3', 35}, {'5', 31}, {'7', 32}}));
    EXPECT_EQ(perLine, (std::map<std::pair<char, char>, int>{{{'0', 'A'}, 12},
                                                             {{'0', 'B'}, 10},
                                                             {{'1', 'A'}, 14},
                                                             {{'1', 'B'}, 21},
                                                             {{'3', 'A'}, 14},
                                                             {{'3', 'B'}, 21},
                                                             {{'5', 'B'}, 19},
                                                             {{'5', 'C'}, 12},
                                                             {{'7', 'B'}, 17},
                                                             {{'7', 'C'}, 15}}));
    using Set = std::set<char>;
    EXPECT_EQ(flashLetters['0'], (Set{'4', '6', '8'}));
    EXPECT_EQ(flashLetters['1'], (Set{'4', '6', '8', 'B', 'C', 'D', 'E', 'F', 'G', 'I', 'K'}));
    EXPECT_EQ(flashLetters['3'], flashLetters['1']);
    EXPECT_EQ(flashLetters['5'], (Set{'8', 'B', 'C', 'D', 'E', 'F', 'G', 'K'}));
    EXPECT_EQ(flashLetters['7'], (Set{'B', 'C', 'D', 'E', 'F', 'G', 'K'}));
    EXPECT_EQ(variantLetters['0'], (Set{'C', 'F', 'G', 'K', 'R'}));
    EXPECT_EQ(variantLetters['1'], (Set{'C', 'R', 'T', 'V', 'Z'}));
    EXPECT_EQ(variantLetters['3'], (Set{'C', 'R', 'T', 'V', 'Z'}));
    EXPECT_EQ(variantLetters['5'], (Set{'R', 'V', 'Z'}));
    EXPECT_EQ(variantLetters['7'], (Set{'I', 'R', 'V', 'Z'}));
    for (char series : {'1', '3'}) {
        EXPECT_EQ(flashPerLine[std::make_pair(series, 'A')], (Set{'4', '6', '8', 'B'})) << series;
        EXPECT_EQ(flashPerLine[std::make_pair(series, 'B')],
                  (Set{'C', 'D', 'E', 'F', 'G', 'I', 'K'}))
            << series;
    }
    for (char series : {'5', '7'}) {
        EXPECT_EQ(flashPerLine[std::make_pair(series, 'C')], (Set{'C', 'E', 'G', 'K'})) << series;
    }
}

TEST_F(DeviceCatalogueTest, EveryGeometryFollowsTheRuleAndNineteenAreDistinct) {
    std::set<std::tuple<int, int, int, int, int>> distinct;
    for (const auto& e : entries) {
        std::string code = e.code.text();
        DeviceGeometry expected = ruleGeometry(code);
        EXPECT_EQ(e.geometry, expected) << code;
        auto found = catalogue.findGeometry(e.code);
        ASSERT_TRUE(found.has_value()) << code;
        EXPECT_EQ(*found, expected) << code;
        const auto& g = e.geometry;
        distinct.insert({g.flashKiB, g.pagesPer4KiB, g.pageBytes, g.pageCount, g.eraseMode});
    }
    EXPECT_EQ(distinct.size(), 19u);
}

TEST_F(DeviceCatalogueTest, BoundariesOfTheRule) {
    // 512 KiB is the last size erased with one-byte page numbers in series 1 and 3.
    auto g512 = catalogue.findGeometry(DeviceCode("1REB"));
    ASSERT_TRUE(g512);
    EXPECT_EQ(g512->pageCount, 256);
    EXPECT_EQ(g512->eraseMode, 0);
    auto g768 = catalogue.findGeometry(DeviceCode("3VFB"));
    ASSERT_TRUE(g768);
    EXPECT_EQ(g768->pageCount, 320);
    EXPECT_EQ(g768->eraseMode, 1);
    auto g3072 = catalogue.findGeometry(DeviceCode("1ZKB"));
    ASSERT_TRUE(g3072);
    EXPECT_EQ(g3072->pageCount, 896);

    // 64 KiB: 2048-byte pages in series 5 and 7, 1024-byte pages in series 0, 1 and 3.
    auto big = catalogue.findGeometry(DeviceCode("5R8B"));
    ASSERT_TRUE(big);
    EXPECT_EQ(big->pageBytes, 2048);
    EXPECT_EQ(big->pageCount, 32);
    EXPECT_EQ(big->eraseMode, 2);
    for (const auto& e : entries) {
        std::string code = e.code.text();
        bool smallSeries = code[0] == '0' || code[0] == '1' || code[0] == '3';
        if (smallSeries && e.geometry.flashKiB <= 128) {
            EXPECT_EQ(e.geometry.pageBytes, 1024) << code;
        }
        if (!smallSeries) {
            EXPECT_EQ(e.geometry.pageBytes, 2048) << code;
        }
    }
}

TEST_F(DeviceCatalogueTest, LineLetterNeverChangesTheGeometry) {
    int pairs = 0;
    for (const auto& a : entries) {
        for (const auto& b : entries) {
            std::string ca = a.code.text(), cb = b.code.text();
            if (ca < cb && ca.substr(0, 3) == cb.substr(0, 3)) {
                EXPECT_EQ(a.geometry, b.geometry) << ca << " " << cb;
                ++pairs;
            }
        }
    }
    EXPECT_GT(pairs, 0);  // the table has such pairs, e.g. series 5 flash C in lines B and C
}

TEST_F(DeviceCatalogueTest, PartNamesAreUniqueAndCarryCodeAndFlashSize) {
    std::set<std::string> seen;
    for (const auto& e : entries) {
        char expected[16];
        std::snprintf(expected, sizeof expected, "KTM%s-%04d", e.code.text().c_str(),
                      e.geometry.flashKiB);
        EXPECT_EQ(e.partName, expected);
        EXPECT_EQ(e.partName.size(), 12u);
        EXPECT_TRUE(seen.insert(e.partName).second) << e.partName;
        EXPECT_EQ(catalogue.findPartName(e.code), e.partName);
        EXPECT_EQ(catalogue.findCodeByPartName(e.partName), e.code);
    }
}

TEST_F(DeviceCatalogueTest, PartNamesFollowCodeOrder) {
    auto names = catalogue.partNames();
    ASSERT_EQ(names.size(), 155u);
    // Code order is byte order of the code, which the name carries at positions 3 to 6.
    EXPECT_TRUE(std::is_sorted(names.begin(), names.end(), [](const auto& a, const auto& b) {
        return a.substr(3, 4) < b.substr(3, 4);
    }));
    EXPECT_EQ(names.front(), "KTM0C4A-0016");   // series 0 first
    EXPECT_EQ(names.back().substr(3, 1), "7");  // series 7 last
    // The stored rows are not in code order, so the enumeration cannot just replay them.
    bool storedInCodeOrder = std::is_sorted(
        deviceRows().begin(), deviceRows().end(),
        [](const DeviceRow& a, const DeviceRow& b) { return std::string(a.code) < b.code; });
    EXPECT_FALSE(storedInCodeOrder);
}

TEST_F(DeviceCatalogueTest, UnknownCodesAndNamesFindNothing) {
    EXPECT_FALSE(catalogue.findGeometry(DeviceCode("1rcb")));  // lower case
    EXPECT_FALSE(catalogue.findGeometry(DeviceCode("1rCB")));
    EXPECT_FALSE(catalogue.findPartName(DeviceCode("1rcb")));
    EXPECT_FALSE(catalogue.findGeometry(DeviceCode("2RCB")));  // series outside the grammar
    EXPECT_FALSE(catalogue.findGeometry(DeviceCode("1RCA")));  // grammar fits, not a row
    EXPECT_FALSE(catalogue.findPartName(DeviceCode("1RCA")));
    EXPECT_FALSE(catalogue.findGeometry(DeviceCode("0Z4A")));
    const std::uint8_t withZero[4] = {'1', 'R', 0, 'B'};
    EXPECT_FALSE(catalogue.findGeometry(DeviceCode::fromBytes(withZero)));
    const std::uint8_t known[4] = {'1', 'R', 'C', 'B'};
    EXPECT_EQ(catalogue.findPartName(DeviceCode::fromBytes(known)), "KTM1RCB-0256");

    EXPECT_FALSE(catalogue.findCodeByPartName(""));
    EXPECT_FALSE(catalogue.findCodeByPartName("ktm1rcb-0256"));  // case-sensitive
    EXPECT_FALSE(catalogue.findCodeByPartName("KTM1RCB-025"));   // prefix only
    EXPECT_FALSE(catalogue.findCodeByPartName("未识别设备"));
}

TEST(DeviceCodeTest, TextRoundTrip) {
    EXPECT_EQ(DeviceCode::fromText("5VKC"), DeviceCode("5VKC"));
    EXPECT_EQ(DeviceCode("5VKC").text(), "5VKC");
    EXPECT_FALSE(DeviceCode::fromText("5VK"));
    EXPECT_FALSE(DeviceCode::fromText("5VKCC"));
    EXPECT_LT(DeviceCode("1ZKB"), DeviceCode("3C4A"));  // digits before letters, byte order
    EXPECT_LT(DeviceCode("1Z4B"), DeviceCode("1ZKB"));
}

}  // namespace
}  // namespace pellion
