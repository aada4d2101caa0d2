#!/usr/bin/env python3
"""A bounded fault soak: rounds of pellion-cli program against pellion-sim chips with faults.

Every round is drawn from the run's seed (printed, so a failure can be replayed): a chip count,
an image (raw, or Intel HEX with gaps), a line speed, and faults on some of the chips. After
the run the chips are stopped and every dump is compared with the image. A chip the report
calls programmed must hold the image: any that does not is a false success, and the soak fails.
"""
import argparse
import json
import os
import random
import signal
import subprocess
import sys
import tempfile
import time

FLASH_BASE = 0x08000000
BAUDS = [115200, 230400, 460800, 921600]
FAULTS = ["nack", "drop", "corrupt", "silent", "disconnect", "bad-cells", "write-protect",
          "readout", "stray-zero", "parity-blind"]


def fault_arguments(kind, rng):
    if kind == "nack":
        return ["--nack-probability", str(rng.choice([0.01, 0.05, 0.2]))]
    if kind == "drop":
        return ["--drop-probability", str(rng.choice([0.0005, 0.003, 0.01]))]
    if kind == "corrupt":
        return ["--corrupt-probability", str(rng.choice([0.0005, 0.003, 0.01]))]
    if kind == "silent":
        return ["--silent-after", str(rng.randint(0, 400))]
    if kind == "disconnect":
        return ["--disconnect-after", str(rng.randint(0, 40000))]
    if kind == "bad-cells":
        return ["--bad-cell-probability", str(rng.choice([0.01, 0.1]))]
    if kind == "write-protect":
        return ["--write-protect", rng.choice(["0", "0-3", "1,5", "0-15"]),
                "--protected-writes", "ack"]
    if kind == "readout":
        return ["--readout-protected"]
    if kind == "stray-zero":
        return ["--stray-zero"]
    return ["--parity-blind-adapter"]


def make_image(rng, size):
    """Bytes from FLASH_BASE on: random runs, runs of 0xFF and 0x00 as linkers leave them."""
    data = bytearray()
    while len(data) < size:
        run = rng.randint(1, 3000)
        kind = rng.random()
        if kind < 0.2:
            data += b"\xff" * run
        elif kind < 0.25:
            data += b"\x00" * run
        else:
            data += bytes(rng.getrandbits(8) for _ in range(run))
    return bytes(data[:size])


def hex_text(image, rng):
    """Intel HEX of `image` with gaps: a gap's bytes are left out (the chip keeps them erased)."""
    lines = []
    upper = None

    def record(kind, address, payload):
        body = bytes([len(payload), (address >> 8) & 0xFF, address & 0xFF, kind]) + payload
        return ":" + (body + bytes([(-sum(body)) & 0xFF])).hex().upper()

    at = 0
    while at < len(image):
        if at > 0 and rng.random() < 0.05:
            at = min(len(image) - 1, at + rng.randint(1, 4096))  # a gap, 0xFF on the chip
        chunk = image[at:at + rng.choice([16, 32])]
        address = FLASH_BASE + at
        if address >> 16 != upper:
            upper = address >> 16
            lines.append(record(4, 0, bytes([upper >> 8, upper & 0xFF])))
        lines.append(record(0, address & 0xFFFF, chunk))
        at += len(chunk)
    lines.append(":00000001FF")
    return "\n".join(lines) + "\n", image_with_gaps(image, lines)


def image_with_gaps(image, lines):
    """What the chip must hold from FLASH_BASE on: the HEX's bytes, 0xFF where it has none."""
    held = bytearray(b"\xff" * len(image))
    upper = 0
    for line in lines:
        raw = bytes.fromhex(line[1:])
        count, address, kind = raw[0], raw[1] << 8 | raw[2], raw[3]
        if kind == 4:
            upper = raw[4] << 8 | raw[5]
        elif kind == 0:
            offset = (upper << 16 | address) - FLASH_BASE
            held[offset:offset + count] = raw[4:4 + count]
    # The HEX file ends at its last record: the expected span is the same.
    end = max(i for i, line in enumerate(lines) if bytes.fromhex(line[1:])[3] == 0)
    last = bytes.fromhex(lines[end][1:])
    span = ((upper << 16 | last[1] << 8 | last[2]) - FLASH_BASE) + last[0]
    return bytes(held[:span])


class Round:
    def __init__(self, number, seed):
        self.number = number
        self.seed = seed
        rng = random.Random(seed)
        self.chips = rng.randint(1, 16)
        self.size = rng.randint(1, 64) * 1024 - rng.randint(0, 1023)
        self.hex = rng.random() < 0.5
        self.baud = rng.choice(BAUDS)
        self.latency = rng.choice([0, 0, 1, 16])
        self.faults = rng.sample(FAULTS, rng.choice([0, 1, 1, 2]))
        self.fault_chips = sorted(rng.sample(range(self.chips), rng.randint(1, self.chips)))
        self.block = rng.choice([200, 200, 256, 128])
        self.rng = rng
        self.outcome = ""

    def describe(self):
        faults = ",".join(self.faults) or "none"
        chips = ",".join(map(str, self.fault_chips))
        kind = "hex" if self.hex else "raw"
        return (f"round {self.number} seed {self.seed}: {self.chips} chips, {kind} "
                f"{self.size} bytes, {self.block}-byte blocks, {self.baud} baud, "
                f"latency {self.latency} ms, "
                f"faults {faults} on chips {chips}")

    def bound_seconds(self):
        # Twice the wire both ways, plus every step's bounded repeats and time-outs, plus the
        # recoveries from lost answers a run may make (16, and one per KiB), each a time-out,
        # filler and SYNC.
        wire = 2 * self.size * 11 / self.baud + (self.size / 128) * 3 * self.latency / 1000
        recoveries = 16 + self.size // 1024
        return 90 + 4 * wire + 2.5 * recoveries


def start_sim(build, round_, work):
    args = [os.path.join(build, "sim", "pellion-sim"), "--chips", str(round_.chips),
            "--code", "1RCB", "--link-dir", work, "--dump-dir", os.path.join(work, "dump"),
            "--seed", str(round_.seed % 1000000), "--latency-ms", str(round_.latency)]
    for kind in round_.faults:
        args += fault_arguments(kind, round_.rng)
    if round_.faults:
        args += ["--fault-chips", ",".join(map(str, round_.fault_chips))]
    sim = subprocess.Popen(args, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    for _ in range(round_.chips):
        if not sim.stdout.readline():
            break
    return sim


def run_round(build, round_, stats):
    with tempfile.TemporaryDirectory(prefix="pellion-soak-") as work:
        image = make_image(round_.rng, round_.size)
        if round_.hex:
            text, expected = hex_text(image, round_.rng)
            path = os.path.join(work, "image.hex")
            with open(path, "w") as out:
                out.write(text)
        else:
            expected = image
            path = os.path.join(work, "image.bin")
            with open(path, "wb") as out:
                out.write(image)
        sim = start_sim(build, round_, work)
        report = os.path.join(work, "report.json")
        args = [os.path.join(build, "cli", "pellion-cli"), "program", "--file", path,
                "--baud", str(round_.baud), "--block-size", str(round_.block), "--json", report]
        for k in range(round_.chips):
            args += ["--port", os.path.join(work, f"chip{k}")]
        began = time.monotonic()
        try:
            subprocess.run(args, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                           timeout=round_.bound_seconds() + 60)
        except subprocess.TimeoutExpired:
            pass
        took = time.monotonic() - began
        sim.send_signal(signal.SIGINT)
        sim.wait(timeout=60)
        stats["rounds"] += 1
        stats["chips"] += round_.chips
        stats["longestRoundSeconds"] = max(stats["longestRoundSeconds"], round(took, 1))
        problems = []
        before = dict(stats)
        if took > round_.bound_seconds():
            stats["roundsPastBound"] += 1
            problems.append(f"took {took:.1f} s, bound {round_.bound_seconds():.1f} s")
        try:
            with open(report) as f:
                ports = json.load(f)["ports"]
        except (OSError, ValueError):
            problems.append("no report")
            ports = []
        for k, port in enumerate(ports):
            stats["recoveries"] += port.get("recoveries", 0)
            if port["result"] != "succeeded":
                stats["failed"] += 1
                continue
            stats["programmed"] += 1
            try:
                with open(os.path.join(work, "dump", f"chip{k}.flash.bin"), "rb") as f:
                    flash = f.read()
            except OSError:
                flash = b""
            if flash[:len(expected)] != expected:
                stats["falseSuccesses"] += 1
                problems.append(f"chip{k} reported programmed but its flash differs")
        round_.outcome = (f"{stats['programmed'] - before['programmed']} programmed, "
                          f"{stats['failed'] - before['failed']} failed, "
                          f"{stats['recoveries'] - before['recoveries']} recoveries, {took:.1f} s")
        return problems


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--minutes", type=float, default=2)
    parser.add_argument("--seed", type=int, default=None)
    parser.add_argument("--build", default="build")
    parser.add_argument("--round", type=int, help="replay the one round of this round seed")
    parser.add_argument("--json", help="write the counts here too")
    options = parser.parse_args()
    if options.round is not None:
        stats = dict(rounds=0, chips=0, programmed=0, falseSuccesses=0, failed=0, recoveries=0,
                     roundsPastBound=0, longestRoundSeconds=0.0)
        round_ = Round(0, options.round)
        problems = run_round(options.build, round_, stats)
        print(round_.describe() + ": " + round_.outcome + "; " + ("; ".join(problems) or "ok"))
        print(json.dumps(stats))
        return 1 if problems else 0
    seed = options.seed if options.seed is not None else random.SystemRandom().randrange(1 << 31)
    print(f"soak seed {seed} (replay: scripts/soak.sh --seed {seed}; one round: --round "
          "ROUND_SEED), "
          f"{options.minutes} minutes", flush=True)
    stats = dict(rounds=0, chips=0, programmed=0, falseSuccesses=0, failed=0, recoveries=0,
                 roundsPastBound=0, longestRoundSeconds=0.0)
    deadline = time.monotonic() + options.minutes * 60
    rounds = random.Random(seed)
    failed = False
    number = 0
    while time.monotonic() < deadline:
        round_ = Round(number, rounds.randrange(1 << 31))
        problems = run_round(options.build, round_, stats)
        print(round_.describe() + ": " + round_.outcome +
              ("; " + "; ".join(problems) if problems else ""), flush=True)
        failed = failed or bool(problems)
        number += 1
    print(json.dumps(stats))
    if options.json:
        with open(options.json, "w") as out:
            json.dump(dict(stats, seed=seed, minutes=options.minutes), out)
    if failed:
        print(f"soak FAILED; replay with scripts/soak.sh --seed {seed}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
