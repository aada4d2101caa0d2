// pellion-sim: virtual chips on pseudo-terminals, for demos, benchmarks and manual tests.

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include "sim/ChipDump.h"
#include "sim/ChipHost.h"
#include "sim/ChipSummary.h"
#include "sim/ControlEndpoint.h"
#include "sim/SimCommandLine.h"

namespace {

using namespace pellion::sim;

int fail(const std::string& message) {
    std::cerr << "pellion-sim: " << message << "\n";
    return 1;
}

std::string loadFlashFile(SimSettings& settings) {
    if (settings.flashFile.empty())
        return "";
    std::ifstream in(settings.flashFile, std::ios::binary);
    if (!in)
        return "cannot read " + settings.flashFile;
    settings.chip.initialFlash.assign(std::istreambuf_iterator<char>(in),
                                      std::istreambuf_iterator<char>());
    const auto geometry = geometryFor(settings.chip);
    if (geometry && settings.chip.initialFlash.size() > std::size_t(geometry->flashKiB) * 1024)
        return settings.flashFile + " is larger than the flash of " + settings.chip.code.text();
    return "";
}

std::string createLinks(const std::string& dir, const std::string& prefix, ChipHost& host,
                        std::vector<std::string>& made) {
    std::error_code error;
    std::filesystem::create_directories(dir, error);
    if (error)
        return "cannot create " + dir + ": " + error.message();
    for (std::size_t i = 0; i < host.size(); ++i) {
        const auto link = std::filesystem::path(dir) / (prefix + std::to_string(i));
        std::filesystem::remove(link, error);  // a stale link from an earlier run
        if (::symlink(host.chip(i).devicePath().c_str(), link.c_str()) != 0)
            return "cannot create " + link.string() + ": " + std::strerror(errno);
        made.push_back(link.string());
    }
    return "";
}

void dumpAll(const SimSettings& settings, ChipHost& host) {
    if (settings.dumpDir.empty())
        return;
    for (std::size_t i = 0; i < host.size(); ++i) {
        const std::string error = writeSocketDumps(settings.dumpDir, host.chip(i), i);
        if (!error.empty())
            std::cerr << "pellion-sim: " << error << "\n";
    }
}

// Every chip that passed through each socket, in order; empty sockets say nothing.
void printSummaries(ChipHost& host) {
    for (std::size_t i = 0; i < host.size(); ++i) {
        std::vector<ChipSnapshot> chips = host.chip(i).retiredChips();
        chips.push_back(host.chip(i).snapshot());
        for (const ChipSnapshot& chip : chips) {
            if (chip.state != chipStateName(ChipState::Empty))
                std::cout << summaryJson(chip, i) << "\n";
        }
    }
    std::cout.flush();
}

}  // namespace

int main(int argc, char** argv) {
    SimCommandLine commandLine =
        parseSimCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    if (commandLine.help) {
        std::cout << simHelpText();
        return 0;
    }
    if (!commandLine.error.empty()) {
        std::cerr << "pellion-sim: " << commandLine.error << "\nTry pellion-sim --help\n";
        return 2;
    }
    SimSettings& settings = commandLine.settings;

    // Signals are taken synchronously by this thread; every thread started later inherits the
    // mask, so none of them is interrupted.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGUSR1);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    if (std::string error = loadFlashFile(settings); !error.empty())
        return fail(error);

    ChipHost host(settings.loopPerChip ? ChipHost::Threading::LoopPerChip
                                       : ChipHost::Threading::SharedLoop);
    for (int i = 0; i < settings.chips; ++i) {
        auto added = host.addChip(optionsForChip(settings, i));
        if (!added.chip)
            return fail("chip " + std::to_string(i) + ": " + added.error);
    }
    if (!settings.controlPath.empty()) {
        if (std::string error = serveControlEndpoint(host, settings.controlPath); !error.empty())
            return fail(error);
    }
    std::vector<std::string> links;
    if (!settings.linkDir.empty()) {
        if (std::string error = createLinks(settings.linkDir, settings.linkPrefix, host, links);
            !error.empty())
            return fail(error);
    }
    for (std::size_t i = 0; i < host.size(); ++i) {
        std::cout << "chip" << i << " " << host.chip(i).devicePath();
        if (!links.empty())
            std::cout << " " << links[i];
        std::cout << "\n";
    }
    std::cout.flush();

    while (true) {
        int signal = 0;
        if (sigwait(&signals, &signal) != 0)
            continue;
        if (signal == SIGUSR1) {
            dumpAll(settings, host);
            continue;
        }
        break;
    }
    host.stop();
    dumpAll(settings, host);
    for (const std::string& link : links)
        ::unlink(link.c_str());
    printSummaries(host);
    return 0;
}
