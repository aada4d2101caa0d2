#pragma once

#include <optional>

namespace pellion::sim {

// How the adapter's modem-control lines reach the chip on its board. Asserted DTR holds RESET
// and asserted RTS pulls BOOT0 high (dtr-reset), or the other way round (rts-reset).
enum class Wiring { DtrReset, RtsReset };
const char* wiringName(Wiring wiring);

struct LineLevels {
    bool dtr = false;  // true: asserted
    bool rts = false;
};

// The board between an adapter and a chip: the two lines as the host left them, and the RESET
// and BOOT0 pins they drive. Without a boot jumper BOOT0 is pulled low and only the line can
// raise it; with the jumper (how chips are set up by hand) it reads high whatever the line does.
class BoardPins {
  public:
    BoardPins(Wiring wiring, bool bootJumper) : wiring_(wiring), bootJumper_(bootJumper) {}

    enum class ResetEdge { None, Asserted, Released };
    // Changes the lines given; says what happened to RESET.
    ResetEdge setLines(std::optional<bool> dtr, std::optional<bool> rts);

    LineLevels lines() const { return lines_; }
    bool resetHeld() const;
    bool boot0High() const;  // sampled by the chip when reset ends
    Wiring wiring() const { return wiring_; }

  private:
    bool resetLine() const { return wiring_ == Wiring::DtrReset ? lines_.dtr : lines_.rts; }
    bool bootLine() const { return wiring_ == Wiring::DtrReset ? lines_.rts : lines_.dtr; }

    Wiring wiring_;
    bool bootJumper_;
    LineLevels lines_;
};

}  // namespace pellion::sim
