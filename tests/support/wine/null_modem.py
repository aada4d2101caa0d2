#!/usr/bin/env python3
"""A null-modem cable between two pseudo-terminals, for the Windows serial tests under Wine.

Usage: null_modem.py LINK_A LINK_B CUT_FILE

Links LINK_A and LINK_B (e.g. $WINEPREFIX/dosdevices/com31, com32) to the two terminals and
carries every byte across. The cable holds each terminal's own side open, so a Windows program
closing one end does not cut it. Once CUT_FILE exists, end A's terminal is hung up (the device
"vanishes" for whoever holds LINK_A) and the cable exits. Ends by itself after an hour at most.
"""
import os
import select
import sys
import time
import tty


def terminal():
    master, slave = os.openpty()
    tty.setraw(slave)
    return master, slave, os.ttyname(slave)


def main():
    link_a, link_b, cut_file = sys.argv[1:4]
    a_master, a_slave, a_name = terminal()
    b_master, b_slave, b_name = terminal()
    for link, name in ((link_a, a_name), (link_b, b_name)):
        if os.path.lexists(link):
            os.remove(link)
        os.symlink(name, link)
    print(f"{link_a} {a_name} {link_b} {b_name}", flush=True)
    other = {a_master: b_master, b_master: a_master}
    give_up = time.monotonic() + 3600
    while time.monotonic() < give_up and not os.path.exists(cut_file):
        ready, _, _ = select.select([a_master, b_master], [], [], 0.02)
        for fd in ready:
            try:
                data = os.read(fd, 4096)
            except OSError:
                continue
            os.write(other[fd], data)
    os.close(a_master)  # the far end of LINK_A hangs up
    os.close(a_slave)
    time.sleep(1)


if __name__ == "__main__":
    main()
