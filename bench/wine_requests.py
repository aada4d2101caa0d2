#!/usr/bin/env python3
"""Counts a wineserver request log (wineserver -d1) per exchange of the serial ports.

Usage: wine_requests.py LOG

A monitor thread is one that writes to a COM port: Wine marks every serial write with a
set_serial_info request (flags=4, a pending write), so those count the exchanges. Prints the
requests the monitor threads and the thread that opened the ports (the owner) send per
exchange, by request, as what Windows under Wine pays per answer beyond the Linux build.
"""
import collections
import re
import sys

REQUEST = re.compile(r"^([0-9a-f]{4}): ([a-z_]+)\( ")


def main():
    per_thread = collections.defaultdict(collections.Counter)
    opener = None
    for line in open(sys.argv[1], errors="replace"):
        match = REQUEST.match(line)
        if not match:
            continue
        thread, request = match.groups()
        per_thread[thread][request] += 1
        if request == "create_file" and re.search(r'name=L"\\\\\?\?\\\\COM\d+"', line):
            opener = thread
    monitors = [t for t, c in per_thread.items() if c["set_serial_info"] > 0 and t != opener]
    exchanges = sum(per_thread[t]["set_serial_info"] for t in monitors)
    if not exchanges:
        print("no serial writes in the log")
        return 1
    print(f"{exchanges} exchanges on {len(monitors)} monitor thread(s)")
    for who, threads in (("monitor threads", monitors), ("owner thread", [opener] if opener else [])):
        total = collections.Counter()
        for thread in threads:
            total.update(per_thread[thread])
        if not total:
            continue
        detail = ", ".join(f"{name} {count / exchanges:.2f}" for name, count in total.most_common(8))
        print(f"{who}: {sum(total.values()) / exchanges:.2f} requests per exchange ({detail})")
    return 0


if __name__ == "__main__":
    sys.exit(main())
