#!/usr/bin/env python3
"""adopt [--show] [--meanwhile=COMMAND] PROGRAM [ARGUMENT...]

Runs a program that may leave a copy of itself running on its own (the transmitter's default
mode) as the adoptive parent of that copy. Prints "launch: STATUS" once the program has ended,
then "copy: STATUS" once the copy it started has ended, or "copy: none". With --show, while the
copy runs: its arguments one per line, "session leader" when it leads a session of its own, and
where its descriptors 0, 1 and 2 lead; --meanwhile runs a shell command at that moment. The
current folder is shown as "." and the names of temporary copies as "kqt*". A copy that runs
for more than 30 s is killed ("copy: killed"). Linux only.
"""
import ctypes
import os
import re
import subprocess
import sys
import time

PR_SET_CHILD_SUBREAPER = 36
COPY_DEADLINE = 30


def adopted_child():
    # The launch has been reaped, so every child left is one it handed over when it ended.
    me = str(os.getpid())
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open("/proc/%s/stat" % pid) as file:
                stat = file.read()
        except OSError:
            continue
        if stat[stat.rfind(")") + 2:].split()[1] == me:
            return int(pid)
    return None


def plain(text):
    return re.sub(r"kqt\w+", "kqt*", text.replace(os.getcwd(), "."))


def show(pid):
    with open("/proc/%d/cmdline" % pid, "rb") as file:
        for word in file.read().split(b"\0")[:-1]:
            print(plain(word.decode()))
    if os.getsid(pid) == pid:
        print("session leader")
    for fd in range(3):
        print(fd, plain(os.readlink("/proc/%d/fd/%d" % (pid, fd))))
    sys.stdout.flush()


def wait_for(pid):
    deadline = time.monotonic() + COPY_DEADLINE
    while True:
        done, status = os.waitpid(pid, os.WNOHANG)
        if done:
            return str(os.waitstatus_to_exitcode(status))
        if time.monotonic() > deadline:
            os.kill(pid, 9)
            os.waitpid(pid, 0)
            return "killed"
        time.sleep(0.01)


def main():
    arguments = sys.argv[1:]
    showing, meanwhile = False, None
    while arguments and arguments[0].startswith("--"):
        option = arguments.pop(0)
        if option == "--show":
            showing = True
        elif option.startswith("--meanwhile="):
            meanwhile = option[len("--meanwhile="):]
        else:
            sys.exit("adopt: unknown option %s\n%s" % (option, __doc__))
    if not arguments:
        sys.exit(__doc__)
    if ctypes.CDLL(None, use_errno=True).prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0) != 0:
        sys.exit("adopt: cannot adopt the copies of a launch")
    print("launch: %d" % subprocess.run(arguments).returncode, flush=True)
    pid = adopted_child()
    if pid is None:
        print("copy: none")
        return
    if showing:
        show(pid)
    if meanwhile:
        subprocess.run(["bash", "-c", meanwhile])
    print("copy: " + wait_for(pid))


if __name__ == "__main__":
    main()
