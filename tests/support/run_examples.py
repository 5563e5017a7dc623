#!/usr/bin/env python3
r"""Runs the examples of a Markdown file (the users' guide, or a scenario file of the test suite)
as a reader would, and fails when the text and the program disagree.

An example is the text between "<!-- example: NAME -->" and "<!-- end -->". Its fenced blocks
run in order:
  ```<lang> file=NAME    a file the example writes into its scratch folder (a NAME with blanks
                         between double quotes; folders made as
                         needed; with "escaped", \xHH, \r and \n in it stand for bytes;
                         "mode=600" sets its mode);
  ```console             commands ("$ ..."), each followed by the standard output it prints;
                         "$ orvane-sim ... &" starts a simulator in the background and
                         "$ echo $?" prints the status of the command before;
  ```cmd                 the same at a Windows cmd prompt ("> ..."), each line played by Wine's cmd
                         from a batch file, with the Windows program on its PATH; "> start /b orvane-sim ..." starts a
                         simulator and "> echo %errorlevel%" prints the status;
  ```log                 messages that the command before writes on standard error, in order
                         (other messages may come between them); "log exact": all of them;
                         "log counts": every message it writes, each line "N MESSAGE" (exactly
                         N times) or "any MESSAGE" (any number of times, timing decides);
  <!-- hidden console   a block the reader does not see, played as the fenced one of that
  ...                    kind; it ends with a line "-->". Checks a reader would not type live
  -->                    there;
  ```text received=PORT  the exact bytes the simulator on that port received, over all its
                         connections (awaited, since the default mode returns at once); with
                         "connections=N", each of exactly N connections received the text
                         ("reads=prefix": a leading part of it; "reads=prefix-then-whole": a
                         leading part, and the last one all of it); "from=FILE" takes the
                         text from a file of the example.
Ports named in an example stand for ports the system picks: every "orvane-sim --port=N" is
started with --port=0, and N is replaced by the real port in the files, commands and
expectations that follow; "$ closed-port N" holds a port on which nothing listens and
"$ dropping-port N" one whose full queue drops every connection request unanswered. Log lines
are compared without their time stamps; {TIMEOUT}, {RESET} and {TOOLONG} in them stand for
the platform's socket error numbers of a receive time-out, a reset and a line too long. $PWD
stands for the example's folder, in commands (also between single quotes, as in a line the
program printed for pasting) and in what they print and write, there as the program names it;
undo-YYYYMMDD-HHMMSS in what they print stands for an undo file's name of any time.

An example that only Linux can play (a link that Wine's files follow unseen, a name for argv[0]
that Wine does not pass on) says so: "<!-- example: NAME linux -->"; one that needs root and a
second user who can run the program (a mount namespace, a thread limit) says "linux root", and
is skipped where those are not at hand. One that only the Windows program plays says "windows".

run_examples.py [--wine=WINE_RUN] [--dry-run-scripts] TEXT TRANSMITTER ORVANE_SIM
With --dry-run-scripts, every script file an example writes must pass `transmitter --dry-run`.
The commands run in bash with `transmitter`, `orvane-sim`, `adopt` (support/adopt.py),
`on-terminal` (support/on_terminal.py) and `matches-schema` (support/matches_schema.py) on the
PATH, DOCS the project's docs/ folder, the project's Ansible collection found by ansible-core, TEST_STATE the program's
machine-wide state folder (as the environment gives it) and the desktop's data folders in the scratch folder. With --wine,
TRANSMITTER is a Windows program that WINE_RUN runs, with the line ends of its output made LF
as the texts have them, and the examples that only Linux can play are skipped.
"""
import concurrent.futures
import os
import re
import select
import shlex
import socket
import subprocess
import sys
import tempfile
import time

STAMP = re.compile(r"^\d\d/\d\d/\d\d \d\d:\d\d:\d\d : ")
UNDO_STAMP = re.compile(r"undo-\d{8}-\d{6}")
COMMAND_DEADLINE = 90
DOCS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "docs")
# The project's Ansible collection, found as the package installs it.
COLLECTIONS = os.path.join(DOCS, "..", "ansible")
DRY_RUN_SCRIPTS = False  # --dry-run-scripts: every script an example writes has no problem
RECEIVE_DEADLINE = 20


WINE_WRAPPER = r"""#!/usr/bin/env bash
[ -t 2 ] && exec timeout 60 %s %s "$@"  # a console: as it is
out=$(mktemp) err=$(mktemp)
timeout 60 %s %s "$@" >"$out" 2>"$err"
status=$?
sed 's/\r$//' "$out"; sed 's/\r$//' "$err" >&2
rm -f "$out" "$err"
exit $status
"""


# Socket error numbers as the program logs them: Linux, then Windows.
SOCKET_ERRORS = {"{TIMEOUT}": ("11", "10060"), "{RESET}": ("104", "10054"),
                 "{TOOLONG}": ("90", "10040")}


class Example:
    def __init__(self, name, line, needs):
        self.name = name
        self.line = line
        self.linux_only = needs in (" linux", " linux root")
        self.windows_only = needs == " windows"
        self.needs_root = needs == " linux root"
        self.blocks = []  # (info string, text)


def parse_examples(text):
    examples, current, block, info, closer = [], None, None, "", ""
    for number, line in enumerate(text.split("\n"), 1):
        if block is not None:
            if line.startswith(closer):
                current.blocks.append((info, "".join(l + "\n" for l in block)))
                block = None
            else:
                block.append(line)
            continue
        hidden = re.match(r"<!-- hidden (.+)$", line)
        if hidden and current is not None:
            info, block, closer = hidden.group(1).strip(), [], "-->"
            continue
        start = re.match(r"<!-- example: (\S+)( linux(?: root)?| windows)? -->", line)
        if start:
            current = Example(start.group(1), number, start.group(2))
            examples.append(current)
        elif line.strip() == "<!-- end -->":
            current = None
        elif line.startswith("```") and current is not None:
            info, block, closer = line[3:].strip(), [], "```"
    return examples


class Run:
    def __init__(self, example, transmitter, sim, folder, wine):
        self.example = example
        self.sim = sim
        self.folder = folder
        self.ports = {}  # port named in the text -> port of the simulator
        self.sims = []
        self.held = []  # sockets of the closed and dropping ports
        self.wine = wine
        self.transmitter = transmitter
        self.files = {}
        self.status = 0
        self.stderr = ""
        self.bin = os.path.join(folder, ".bin")
        os.makedirs(self.bin)
        program = os.path.join(self.bin, "transmitter")
        if wine:
            with open(program, "w") as file:
                file.write(WINE_WRAPPER % ((shlex.quote(wine), shlex.quote(transmitter)) * 2))
            os.chmod(program, 0o755)
        else:
            os.symlink(transmitter, program)
        for helper in ("adopt", "on_terminal", "matches_schema"):
            os.symlink(os.path.join(os.path.dirname(os.path.abspath(__file__)), helper + ".py"),
                       os.path.join(self.bin, helper.replace("_", "-")))
        os.symlink(sim, os.path.join(self.bin, "orvane-sim"))

    def real(self, text):
        for named, real in self.ports.items():
            text = re.sub(r"(?<!\d)%s(?!\d)" % named, real, text)
        for name, numbers in SOCKET_ERRORS.items():
            text = text.replace(name, numbers[1 if self.wine else 0])
        return text

    def shown(self, text):
        folder = "Z:" + self.folder.replace("/", "\\") if self.wine else self.folder
        return self.real(text).replace("$PWD", folder)

    def hold_closed_port(self, named):
        held = socket.socket()
        held.bind(("127.0.0.1", 0))
        self.held.append(held)
        self.ports[named] = str(held.getsockname()[1])

    def hold_dropping_port(self, named):
        # A backlog of 0 still queues one connection; once it is there, the rest are dropped.
        listener = socket.socket()
        listener.bind(("127.0.0.1", 0))
        listener.listen(0)
        self.held += [listener, socket.create_connection(listener.getsockname())]
        self.ports[named] = str(listener.getsockname()[1])

    def start_sim(self, command):
        words = shlex.split(command.rstrip("&"))
        named = "3004"
        for i, word in enumerate(words):
            if word.startswith("--port="):
                named, words[i] = word[len("--port="):], "--port=0"
        record = os.path.join(self.folder, ".received-" + named)
        os.makedirs(record)
        process = subprocess.Popen([self.sim] + words[1:] + ["--record=" + record],
                                   stdout=subprocess.PIPE, stdin=subprocess.DEVNULL)
        self.sims.append(process)
        ready, _, _ = select.select([process.stdout], [], [], 10)
        port = process.stdout.readline().decode().strip() if ready else ""
        if not port:
            raise AssertionError("orvane-sim did not start: " + command)
        self.ports[named] = port

    def run_command(self, command, expected, at_cmd_prompt=False):
        if command in ("echo $?", "echo %errorlevel%"):
            output = "%d\n" % self.status
        elif command.startswith(("orvane-sim ", "start /b orvane-sim ")):
            self.start_sim(command[command.index("orvane-sim"):])
            return
        elif command.startswith("closed-port "):
            self.hold_closed_port(command.split()[1])
            return
        elif command.startswith("dropping-port "):
            self.hold_dropping_port(command.split()[1])
            return
        else:
            # Files are written once, before the first command after them, with the ports
            # known by then.
            for name, (text, escaped, mode) in self.files.items():
                path = os.path.join(self.folder, name)
                os.makedirs(os.path.dirname(path), exist_ok=True)
                data = self.real(text).encode()
                if escaped:
                    data = data.decode("unicode_escape").encode("latin-1")
                with open(path, "wb") as file:
                    file.write(data)
                if mode:
                    os.chmod(path, int(mode, 8))
            included = set(re.findall(r"^\*include=(.+)$", "".join(
                text for text, _, _ in self.files.values()), re.M))
            for name in self.files:
                if DRY_RUN_SCRIPTS and name.endswith(".qvtrx") and name not in included:
                    self.dry_run(name)
            self.files.clear()
            # A registration publishes to the desktop: to a scratch one.
            environment = dict(os.environ, PATH=self.bin + ":" + os.environ["PATH"],
                               DOCS=DOCS, ANSIBLE_COLLECTIONS_PATH=COLLECTIONS,
                               XDG_DATA_HOME=os.path.join(self.folder, ".desktop-home"),
                               XDG_DATA_DIRS=os.path.join(self.folder, ".desktop-machine"))
            # A line the program printed for pasting names the folder in full.
            shell = ["bash", "-c", self.real(command).replace("$PWD", self.folder)]
            if at_cmd_prompt:
                # From a batch file of one line: Wine would quote the line as an argument.
                with open(os.path.join(self.folder, ".prompt.bat"), "w", newline="\r\n") as bat:
                    bat.write("@echo off\n" + self.real(command) + "\n")
                shell = [self.wine, "cmd", "/c", ".prompt.bat"]
                environment["WINEPATH"] = "Z:" + os.path.dirname(self.transmitter).replace("/", "\\")
            done = subprocess.run(shell, cwd=self.folder, env=environment, capture_output=True,
                                  timeout=COMMAND_DEADLINE, stdin=subprocess.DEVNULL)
            output, self.stderr = (UNDO_STAMP.sub("undo-YYYYMMDD-HHMMSS", text.decode(
                errors="replace").replace("\r\n", "\n")) for text in (done.stdout, done.stderr))
            self.status = done.returncode
        want = self.shown("".join(line + "\n" for line in expected))
        if output != want:
            raise AssertionError("$ %s\nprinted:\n%s\nthe text says:\n%s\nstandard error:\n%s"
                                 % (command, output, want, self.stderr))

    def dry_run(self, name):
        # With the values from outside that the example's files of NAME=VALUE lines hold.
        values = ["--set-file=" + f for f in sorted(os.listdir(self.folder)) if f.endswith(".env")]
        done = subprocess.run([os.path.join(self.bin, "transmitter"), "--dry-run"] + values + [name],
                              cwd=self.folder, capture_output=True, timeout=COMMAND_DEADLINE)
        if done.returncode != 0:
            raise AssertionError("--dry-run %s: status %d\n%s" % (
                name, done.returncode, done.stdout.decode(errors="replace")))

    def console(self, text, prompt="$ "):
        if prompt == "> " and not self.wine:
            raise AssertionError("a cmd block plays only with the Windows program: say windows")
        command, expected = None, []
        lines = text.rstrip("\n").split("\n")
        for line in lines + [prompt]:
            if line.startswith(prompt):
                if command:
                    self.run_command(command, expected, prompt == "> ")
                command, expected = line[2:].strip(), []
            elif command is not None and command.endswith("\\"):
                command = command[:-1] + line.strip()
            else:
                expected.append(line)

    def log(self, text, mode):
        written = [STAMP.sub("", line) for line in self.stderr.split("\n")]
        if mode == "counts":
            self.log_counts(written[:-1], text)
        elif mode == "exact":
            self.log_exact(written[:-1], text)
        elif mode == "in order":
            self.log_in_order(written, text)
        else:
            raise AssertionError("unknown log block: log " + mode)

    def log_counts(self, written, text):
        counts, anytimes = {}, set()
        for line in filter(None, text.split("\n")):
            count, message = line.split(" ", 1)
            if count == "any":
                anytimes.add(self.shown(message))
            else:
                counts[self.shown(message)] = int(count)
        seen = {}
        for message in written:
            if message not in anytimes:
                seen[message] = seen.get(message, 0) + 1
        if seen != counts:
            raise AssertionError("messages written, with their counts:\n%s\nthe text says:\n%s"
                                 % (seen, counts))

    def log_exact(self, written, text):
        want = [self.shown(STAMP.sub("", line)) for line in text.split("\n")[:-1]]
        if written != want:
            raise AssertionError("standard error:\n%s\nthe text says:\n%s"
                                 % (self.stderr, "\n".join(want)))

    def log_in_order(self, written, text):
        position = 0
        for line in text.rstrip("\n").split("\n"):
            line = self.shown(STAMP.sub("", line))
            while position < len(written) and written[position] != line:
                position += 1
            if position == len(written):
                raise AssertionError("message not written: %s\nstandard error:\n%s"
                                     % (line, self.stderr))
            position += 1

    def received(self, named, text, attributes):
        folder = os.path.join(self.folder, ".received-" + named)
        if "from" in attributes:
            with open(os.path.join(self.folder, attributes["from"]), "rb") as file:
                want = file.read()
        else:
            want = self.real(text).encode()
        connections = int(attributes.get("connections", 0))
        deadline = time.monotonic() + RECEIVE_DEADLINE
        while True:
            names = sorted((n for n in os.listdir(folder) if n.startswith("conn-")),
                           key=lambda n: int(re.sub(r"\D", "", n) or 0))
            got = []
            for name in names:
                with open(os.path.join(folder, name), "rb") as file:
                    got.append(file.read())
            failure = self.compare_received(got, want, connections, attributes.get("reads"))
            if failure is None:
                return
            if time.monotonic() > deadline:
                raise AssertionError("port %s: %s" % (named, failure))
            time.sleep(0.05)

    @staticmethod
    def compare_received(got, want, connections, reads):
        if not connections:
            whole = b"".join(got)
            return None if whole == want else "received:\n%r\nthe text says:\n%r" % (whole, want)
        if reads not in (None, "prefix", "prefix-then-whole"):
            raise AssertionError("unknown reads=%s" % reads)
        if len(got) != connections:
            return "%d connections, the text says %d" % (len(got), connections)
        for number, bytes_received in enumerate(got, 1):
            whole = reads is None or (reads == "prefix-then-whole" and number == connections)
            if bytes_received != want[:len(bytes_received)] or (whole and bytes_received != want):
                return "connection %d received %d bytes, not %s of the %d of the text: %r" % (
                    number, len(bytes_received), "all" if whole else "a leading part",
                    len(want), bytes_received[:300])
        return None

    def play(self):
        try:
            for info, text in self.example.blocks:
                words = shlex.split(info)
                attributes = dict(w.split("=", 1) for w in words[1:] if "=" in w)
                kind = words[0] if words else ""
                if "file" in attributes:
                    self.files[attributes["file"]] = (text, "escaped" in words,
                                                      attributes.get("mode"))
                elif "received" in attributes:
                    self.received(attributes["received"], text, attributes)
                elif kind == "console":
                    self.console(text)
                elif kind == "cmd":
                    self.console(text, "> ")
                elif kind == "log":
                    self.log(text, words[1] if len(words) > 1 else "in order")
        finally:
            for held in self.held:
                held.close()
            for process in self.sims:
                process.terminate()
                process.wait(timeout=10)
                process.stdout.close()


def play(example, transmitter, sim, wine):
    with tempfile.TemporaryDirectory(prefix="example-") as folder:
        try:
            Run(example, transmitter, sim, folder, wine).play()
            return example, None
        except (AssertionError, subprocess.TimeoutExpired) as failure:
            return example, str(failure)


def second_user_runs(transmitter):
    return os.geteuid() == 0 and subprocess.run(
        ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "test", "-x",
         os.path.abspath(transmitter)]).returncode == 0


def main():
    arguments = sys.argv[1:]
    wine = ""
    if arguments and arguments[0].startswith("--wine="):
        wine = os.path.abspath(arguments.pop(0)[len("--wine="):])
    if arguments and arguments[0] == "--dry-run-scripts":
        global DRY_RUN_SCRIPTS
        DRY_RUN_SCRIPTS = bool(arguments.pop(0))
    text_file, transmitter, sim = arguments[:3]
    with open(text_file, encoding="utf-8") as file:
        examples = parse_examples(file.read())
    if not examples:
        print("no examples in " + text_file)
        return 1
    if wine:
        for example in examples:
            if example.linux_only:
                print("SKIP    %s (Linux only)" % example.name)
        examples = [e for e in examples if not e.linux_only]
    else:
        for example in examples:
            if example.windows_only:
                print("SKIP    %s (Windows only)" % example.name)
        examples = [e for e in examples if not e.windows_only]
    if any(e.needs_root for e in examples) and not second_user_runs(transmitter):
        for example in examples:
            if example.needs_root:
                print("SKIP    %s (needs root and a second user who can run the program)"
                      % example.name)
        examples = [e for e in examples if not e.needs_root]
    failed = 0
    with concurrent.futures.ThreadPoolExecutor(max_workers=4) as pool:
        jobs = [pool.submit(play, e, os.path.abspath(transmitter), os.path.abspath(sim), wine)
                for e in examples]
        for job in jobs:
            example, failure = job.result()
            if failure is None:
                print("PASS    %s" % example.name)
            else:
                failed += 1
                print("FAIL    %s (%s line %d)\n%s\n" % (example.name, text_file, example.line,
                                                         failure))
    print("%s: %d examples, %d failed" % (os.path.basename(text_file), len(examples), failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
