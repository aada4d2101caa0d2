#include "sim/UniqueId.h"

namespace pellion::sim {

namespace {

constexpr std::uint64_t kMask40 = (std::uint64_t(1) << 40) - 1;

std::uint64_t splitMix(std::uint64_t& state) {
    std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

// A bijection of 40-bit numbers chosen by the seed, so that ids look scattered as on a wafer
// while distinct chip numbers stay distinct: each step (odd multiply, add, xor-shift) is
// invertible modulo 2^40.
std::uint64_t scatter(std::uint64_t number, std::uint64_t seed) {
    std::uint64_t state = seed;
    const std::uint64_t multiplier = splitMix(state) | 1;
    const std::uint64_t offset = splitMix(state);
    std::uint64_t x = (number * multiplier + offset) & kMask40;
    x ^= x >> 20;
    x = (x * 0x9E3779B1ull) & kMask40;
    x ^= x >> 13;
    return x;
}

}  // namespace

UniqueId makeUniqueId(std::uint64_t seed, std::uint32_t socketNumber, std::uint32_t sequence) {
    const std::uint64_t chipNumber =
        (std::uint64_t(socketNumber & 0x7FF) << 24) | (sequence & 0xFFFFFF);
    const std::uint64_t position = scatter(chipNumber, seed);
    UniqueId id{};
    for (int i = 0; i < 5; ++i)
        id[std::size_t(i)] = std::uint8_t(position >> (8 * i));
    static constexpr char kLotCharacters[] = "0123456789ABCDEFGHJKLMNPQRSTUVWXYZ";
    std::uint64_t state = seed ^ 0x4C4F54ull;
    std::uint64_t lot = splitMix(state);
    for (std::size_t i = 5; i < id.size(); ++i) {
        id[i] = std::uint8_t(kLotCharacters[lot % (sizeof kLotCharacters - 1)]);
        lot /= sizeof kLotCharacters - 1;
    }
    return id;
}

std::string uniqueIdText(const UniqueId& id) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    for (std::uint8_t byte : id) {
        text += kDigits[byte >> 4];
        text += kDigits[byte & 0x0F];
    }
    return text;
}

}  // namespace pellion::sim
