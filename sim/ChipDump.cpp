#include "sim/ChipDump.h"

#include <filesystem>
#include <fstream>

#include "sim/ChipSummary.h"

namespace pellion::sim {

namespace {

std::string writeFile(const std::filesystem::path& path, const void* data, std::size_t size) {
    const auto partial = std::filesystem::path(path).concat(".part");
    {
        std::ofstream out(partial, std::ios::binary | std::ios::trunc);
        out.write(static_cast<const char*>(data), std::streamsize(size));
        if (!out)
            return "cannot write " + partial.string();
    }
    // A reader never sees half a dump.
    std::error_code error;
    std::filesystem::rename(partial, path, error);
    return error ? "cannot write " + path.string() + ": " + error.message() : "";
}

}  // namespace

std::string chipDumpName(std::size_t index, std::uint32_t sequence) {
    std::string name = "chip" + std::to_string(index);
    if (sequence > 0)
        name += "-" + std::to_string(sequence);
    return name;
}

std::string writeChipDump(const std::string& dir, const ChipSnapshot& chip, std::size_t index) {
    if (chip.state == chipStateName(ChipState::Empty))
        return "";
    std::error_code error;
    std::filesystem::create_directories(dir, error);
    if (error)
        return "cannot create " + dir + ": " + error.message();
    const std::filesystem::path base =
        std::filesystem::path(dir) / chipDumpName(index, chip.sequence);
    const auto flash = chip.fullFlash();
    const std::string summary = summaryJson(chip, index) + "\n";
    for (std::string failure :
         {writeFile(std::filesystem::path(base).concat(".flash.bin"), flash.data(), flash.size()),
          writeFile(std::filesystem::path(base).concat(".option.bin"), chip.optionBytes.data(),
                    chip.optionBytes.size()),
          writeFile(std::filesystem::path(base).concat(".json"), summary.data(), summary.size())}) {
        if (!failure.empty())
            return failure;
    }
    return "";
}

std::string writeChipDump(const std::string& dir, const VirtualChip& chip, std::size_t index) {
    return writeChipDump(dir, chip.snapshot(), index);
}

std::string writeSocketDumps(const std::string& dir, const VirtualChip& chip, std::size_t index) {
    for (const ChipSnapshot& gone : chip.retiredChips()) {
        if (std::string error = writeChipDump(dir, gone, index); !error.empty())
            return error;
    }
    return writeChipDump(dir, chip, index);
}

}  // namespace pellion::sim
