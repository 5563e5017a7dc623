#!/usr/bin/env python3
"""on-terminal FILE COMMAND...: runs COMMAND with standard output and standard error on one
pseudo-terminal, as in a console window (200 columns, or TERMINAL_COLUMNS), and writes every
byte the terminal got to FILE. Ends with COMMAND's status; a COMMAND still running after 60 s is
killed."""
import fcntl
import os
import pty
import select
import struct
import subprocess
import sys
import termios
import time

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
