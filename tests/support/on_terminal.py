#!/usr/bin/env python3
"""on-terminal FILE COMMAND...: runs COMMAND with standard output and standard error on one
pseudo-terminal, as in a console window (200 columns, or TERMINAL_COLUMNS), and writes every
byte the terminal got to FILE. Ends with COMMAND's status; a COMMAND still running after 60 s is
killed.
on-terminal --read FILE: what a person saw on that terminal: whether more than three progress
lines were shown and the last was cleared, the first of them (its script line as N), then the
lines that stayed, sorted, without their time stamps."""
import fcntl
import os
import pty
import re
import select
import struct
import subprocess
import sys
import termios
import time

if sys.argv[1] == "--read":
    text = re.sub(r"\x1b\[\?25[hl]", "", open(sys.argv[2], newline="").read())
    shown = re.findall(r"([^\r\n\x1b]+)\x1b\[K", text)
    print(len(shown) > 3, bool(re.search(r"\r\x1b\[K\r?[^\x1b]*$", text)))
    print(re.sub(r":[0-9]+$", ":N", shown[0]) if shown else "(none)")
    stayed = re.sub(r"[^\r\n\x1b]*\x1b\[K|\r", "", text).split("\n")
    for line in sorted(re.sub(r"^[0-9/]{8} [0-9:]{8} : ", "", line) for line in stayed if line):
        print(line)
    sys.exit(0)

main, side = pty.openpty()
columns = int(os.environ.get("TERMINAL_COLUMNS", "200"))
fcntl.ioctl(side, termios.TIOCSWINSZ, struct.pack("HHHH", 50, columns, 0, 0))  # rows, columns
process = subprocess.Popen(sys.argv[2:], stdin=subprocess.DEVNULL, stdout=side, stderr=side)
os.close(side)
got, deadline = b"", time.time() + 60
while time.time() < deadline:
    if select.select([main], [], [], 0.5)[0]:
        try:
            data = os.read(main, 65536)
        except OSError:  # every writer has gone
            data = b""
        if not data:
            break
        got += data
try:
    status = process.wait(timeout=max(1, deadline - time.time()))
except subprocess.TimeoutExpired:
    process.kill()
    status = process.wait()
with open(sys.argv[1], "wb") as file:
    file.write(got)
sys.exit(status)
