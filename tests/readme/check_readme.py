#!/usr/bin/env python3
"""Runs the commands the README and HACKING.md show, as someone with a fresh clone would right
after the main job: every line of their ```sh blocks, the README's first and then the
developers' manual's, in order, in one shell (so that an `export` holds for the lines after
it), from the checkout's top folder, with an empty home folder and none of the hive or XDG
variables set. The first command must be the main job, scripts/demo. A
block marked ```sh slow is not run; its programs must be built and its scripts in the
repository. A restore an example makes is undone right after that command: objects that were
tombstones before it and are live after it are deleted again, so the demo domain keeps its
tombstones for the commands that follow (the directory test among them) and for later tests.
Exits 1 naming the first command that failed.

`check_readme.py remember FILE` and `check_readme.py undo FILE` are the two halves of that
undoing, which the examples' shell runs around each command.
"""
import base64
import os
import re
import shlex
import subprocess
import sys
import tempfile

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
TESTDC = "tests/testdc/testdc"
MAIN_JOB = "scripts/demo"
# The administrators' manual first: the main job and its examples set up what the developers'
# commands use.
MANUALS = ("README.md", "HACKING.md")
# Bounds for the main job, the examples together, and one directory read.
MAIN_JOB_LIMIT = 3600
EXAMPLES_LIMIT = 1800
READ_LIMIT = 120
FRESH_ENVIRONMENT_DROPS = ("LUMIVEL_MACHINE_HIVE", "LUMIVEL_USER_HIVE", "LUMIVEL_UI", "XDG_CONFIG_HOME",
                           "XDG_CACHE_HOME", "XDG_DATA_HOME")


def shown_commands(text):
    """(slow, command) for every command line of the fenced sh blocks, in order."""
    found = []
    lines = text.splitlines()
    i = 0
    while i < len(lines):
        fence = re.match(r"^```(\S*)(.*)$", lines[i])
        i += 1
        if not fence:
            continue
        body = []
        while i < len(lines) and not lines[i].startswith("```"):
            body.append(lines[i])
            i += 1
        i += 1
        if fence.group(1) != "sh":
            continue
        slow = "slow" in fence.group(2).split()
        pending = ""
        for line in body:
            if line.endswith("\\"):
                pending += line[:-1] + " "
                continue
            line = (pending + line).strip()
            pending = ""
            if line and not line.startswith("#"):
                found.append((slow, line))
    return found


def programs_of(command):
    """The programs a command line starts: past variable assignments and `testdc exec`."""
    lexer = shlex.shlex(command, posix=True, punctuation_chars=True)
    lexer.whitespace_split = True
    parts, words = [], []
    for token in lexer:
        if token in ("|", "||", "&&", ";", "&"):
            parts.append(words)
            words = []
        else:
            words.append(token)
    parts.append(words)
    out = []
    for words in parts:
        while words and re.match(r"^[A-Za-z_][A-Za-z0-9_]*=", words[0]):
            words.pop(0)
        if words[:2] == [TESTDC, "exec"]:
            out.append(TESTDC)
            words = words[2:]
        if words:
            out.append(words[0])
    return out


def built_problems(command):
    problems = []
    for program in programs_of(command):
        if "/" not in program:
            continue  # a program of the system
        path = os.path.join(ROOT, program)
        if not (os.path.isfile(path) and os.access(path, os.X_OK)):
            problems.append(f"{command}: {program} is not built")
            continue
        if program.startswith("build/"):
            continue
        tracked = subprocess.run(["git", "-C", ROOT, "ls-files", "--error-unmatch", program],
                                 stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if tracked.returncode != 0:
            problems.append(f"{command}: {program} is not in the repository, so a fresh clone lacks it")
    return problems


def in_domain(script, environment):
    return subprocess.run([TESTDC, "exec", "sh", "-c", script], cwd=ROOT, env=environment, capture_output=True,
                          text=True, timeout=READ_LIMIT)


def tombstone_guids(environment):
    """The objectGUIDs (base64) of the demo domain's tombstones, read with the LDAP tools."""
    result = in_domain('ldapsearch -LLL -Q -Y GSSAPI -H "ldap://$TESTDC_DC" -E "!1.2.840.113556.1.4.417" '
                       '-b "<WKGUID=18e2ea80684f11d2b9aa00c04f79f805,$TESTDC_BASEDN>" -s one objectGUID',
                       environment)
    if result.returncode != 0:
        raise RuntimeError("cannot list the demo domain's tombstones: " + result.stderr.strip())
    return set(re.findall(r"^objectGUID:: (\S+)$", result.stdout, re.MULTILINE))


def undo_restores(before, environment):
    """Deletes again the objects the examples brought back; a problem text, or None."""
    for encoded in sorted(before - tombstone_guids(environment)):
        # <GUID=...> takes the GUID's bytes in storage order as hexadecimal digits.
        guid = base64.b64decode(encoded).hex()
        in_domain(f'ldapdelete -Q -Y GSSAPI -H "ldap://$TESTDC_DC" "<GUID={guid}>"', environment)
    left = before - tombstone_guids(environment)
    return f"{len(left)} objects the examples restored could not be deleted again" if left else None


def session_script(commands, state=None):
    """One shell that runs the commands in order and stops at the first that fails; with a
    state file, the restores each command makes are undone before the next one runs."""
    me = shlex.quote(os.path.abspath(__file__))
    lines = ["set -o pipefail", "cd " + shlex.quote(ROOT)]
    for command in commands:
        lines.append("echo " + shlex.quote("check-readme: " + command) + " >&2")
        if state:
            lines.append(f"{me} remember {shlex.quote(state)} || exit 1")
        lines.append(command + " || { status=$?; echo " + shlex.quote("check-readme: failed: " + command) +
                     ' "(exit $status)" >&2; exit 1; }')
        if state:
            lines.append(f"{me} undo {shlex.quote(state)} || exit 1")
    return "\n".join(lines)


def remember(state):
    with open(state, "w", encoding="ascii") as out:
        out.write("\n".join(sorted(tombstone_guids(dict(os.environ)))))
    return 0


def undo(state):
    with open(state, encoding="ascii") as saved:
        before = set(saved.read().split())
    problem = undo_restores(before, dict(os.environ))
    if problem:
        print("check-readme: " + problem, file=sys.stderr)
        return 1
    return 0


def main():
    shown, problems = [], []
    for manual in MANUALS:
        with open(os.path.join(ROOT, manual), encoding="utf-8") as text:
            commands = shown_commands(text.read())
        for slow, command in commands:
            if slow:
                problems += [f"{manual}: {problem}" for problem in built_problems(command)]
        shown += commands
    runnable = [command for slow, command in shown if not slow]
    if not runnable or runnable[0] != MAIN_JOB:
        print(f"check-readme: the README's first command must be the main job, {MAIN_JOB}", file=sys.stderr)
        return 1

    with tempfile.TemporaryDirectory(prefix="lumivel-readme-") as home:
        environment = {k: v for k, v in os.environ.items() if k not in FRESH_ENVIRONMENT_DROPS}
        environment["HOME"] = home
        main_job = subprocess.run(["bash", "-c", session_script(runnable[:1])], env=environment, timeout=MAIN_JOB_LIMIT)
        if main_job.returncode != 0:
            return 1
        state = os.path.join(home, "tombstones-before")
        examples = subprocess.run(["bash", "-c", session_script(runnable[1:], state)], env=environment,
                                  timeout=EXAMPLES_LIMIT)
    for problem in problems:
        print("check-readme: " + problem, file=sys.stderr)
    if examples.returncode != 0 or problems:
        return 1
    print(f"check-readme: the {len(runnable)} commands of the README and HACKING.md ran as shown", file=sys.stderr)
    return 0


if __name__ == "__main__":
    if len(sys.argv) == 3 and sys.argv[1] in ("remember", "undo"):
        sys.exit((remember if sys.argv[1] == "remember" else undo)(sys.argv[2]))
    sys.exit(main())
