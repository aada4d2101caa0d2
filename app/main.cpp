#include <QApplication>
#include <cstring>
#include <iostream>

#include "app/CPellionApp.h"
#include "app/OwnFileVersion.h"
#include "app/SettingsFile.h"
#include "serial/PortDiscovery.h"

namespace {

void printHelp() {
    std::cout
        << "Usage: pellion [--help] [--version] [Qt options]\n\n"
           "The operator's window of Pellion: it programs one firmware image into many\n"
           "microcontrollers at once, one chip per serial port, through the serial bootloader\n"
           "built into each chip. It lists every serial port of the machine as a row; ticking a\n"
           "row opens the port and identifies the chip behind it, OK programs every ticked,\n"
           "identified chip. A port's tooltip names its device, its stable path under\n"
           "/dev/serial/by-path and its adapter; the list's context menu gives a port a station\n"
           "label that replaces its row number and stays with the USB socket.\n\n"
           "Options:\n"
           "  --help      this text\n"
           "  --version   the program's version\n\n"
           "Environment:\n"
           "  "
        << pellion::kPortDirVariable
        << "   also list the entries of this directory as ports, such as the\n"
           "                     chip links 'pellion-sim --link-dir DIR' makes\n\n"
           "Files:\n"
           "  ~/.config/Pellion/"
        << pellion::kSettingsFileName
        << "\n"
           "              the window's settings (section Config; under $XDG_CONFIG_HOME when\n"
           "              that is set). A program run from where it was built, not installed,\n"
           "              keeps them beside itself until this file exists. Its key\n"
           "              Language=zh or Language=en sets the window's language; without it\n"
           "              the window speaks English where the locale (LC_ALL, LC_MESSAGES,\n"
           "              LANG) names a language other than Chinese, Chinese otherwise.\n";
}

}  // namespace

int main(int argc, char** argv) {
    // Answered before Qt starts, so that neither needs a display.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            printHelp();
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::cout << "pellion " << pellion::ownFileVersion() << "\n";
            return 0;
        }
    }
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("pellion"));
    pellion::CPellionApp app;
    return app.Run();
}
