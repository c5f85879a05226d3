#!/usr/bin/env python3
"""Time whole commands from outside, two of them in turn.

usage: paired_runs.py [-n RUNS] [--warmup N] [--timeout SECONDS] [--vs 'COMMAND_B'] -- COMMAND [ARG ...]

Each run is the whole process, start-up included: wall seconds from a monotonic
clock read before the start and after the reap, CPU seconds (user + system) and
peak memory from the kernel's accounting of the finished child (wait4), which
covers the processes it waited for (peak: the largest one, not their sum).
With --vs, A and B run in turn (A B A B ...) and A/B is taken pair by pair, so
a machine whose speed drifts during the call still gives a meaningful ratio.
Neither command gets a shell: write a pipe as sh -c '...'. Their input is empty
and their output is thrown away. Every figure is min / median / max: quote the
median.

Exit status: 0 when the runs were made (the commands' own exit codes are
printed, not acted on; a timeout prints the runs finished before it); 2 for
unusable arguments or a command that cannot be started.

example: bench/paired_runs.py -n 7 --vs 'sleep 0.1' -- true
"""

import argparse
import os
import resource
import shlex
import signal
import statistics
import subprocess
import sys
import time

PROG = "paired_runs.py"


class Timing:
    """The finished runs of one command."""

    def __init__(self, name, argv):
        self.name = name
        self.argv = argv
        self.wall = []
        self.cpu = []
        self.peak_kib = []
        self.exit_codes = []


class Runner:
    """Starts one command at a time in its own process group, so that a
    timeout can kill all of it and nothing it leaves behind outlives its run."""

    def __init__(self):
        self.current = None
        self.timed_out = False
        self.leftovers = 0

    def on_alarm(self, signum, frame):
        self.timed_out = True
        self.kill_group(self.current)

    @staticmethod
    def kill_group(pid):
        if pid is None:
            return False
        try:
            os.killpg(pid, signal.SIGKILL)
            return True
        except (ProcessLookupError, PermissionError):
            return False

    def run(self, argv):
        """One run: (wall, cpu, peak KiB, exit code), or None when the timeout
        ended it."""
        start = time.monotonic()
        child = subprocess.Popen(argv, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                 stderr=subprocess.DEVNULL, start_new_session=True)
        self.current = child.pid
        if self.timed_out:
            self.kill_group(child.pid)
        _, status, usage = os.wait4(child.pid, 0)
        end = time.monotonic()
        self.current = None
        code = os.waitstatus_to_exitcode(status)
        # Popen would otherwise try to reap the child a second time.
        child.returncode = code
        left_behind = self.kill_group(child.pid)
        if self.timed_out and code == -signal.SIGKILL:
            return None
        if left_behind:
            self.leftovers += 1
        return end - start, usage.ru_utime + usage.ru_stime, usage.ru_maxrss, code


def parse_arguments(argv):
    if "--" in argv:
        split = argv.index("--")
        options, command = argv[:split], argv[split + 1:]
    else:
        options, command = argv, []
    parser = argparse.ArgumentParser(
        prog=PROG, usage="%(prog)s [-n RUNS] [--warmup N] [--timeout SECONDS] "
        "[--vs 'COMMAND_B'] -- COMMAND [ARG ...]",
        description="\n\n".join(__doc__.split("\n\n")[2:-1]),
        epilog="example: %(prog)s -n 7 --vs 'sleep 0.1' -- true",
        formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("-n", dest="runs", type=int, default=5, metavar="RUNS",
                        help="counted runs of each command (default 5)")
    parser.add_argument("--warmup", type=int, default=1, metavar="N",
                        help="runs of each command before those, not counted (default 1)")
    parser.add_argument("--timeout", type=float, default=None, metavar="SECONDS",
                        help="one bound on the whole call, warm-up included (default none)")
    parser.add_argument("--vs", metavar="'COMMAND_B'",
                        help="a second command (B), split as a shell splits words")
    parsed = parser.parse_args(options)
    if not command:
        parser.error("no command: give it after --")
    if parsed.runs < 1:
        parser.error("-n must be at least 1")
    if parsed.warmup < 0:
        parser.error("--warmup cannot be negative")
    if parsed.timeout is not None and not parsed.timeout > 0:
        parser.error("--timeout must be more than 0 seconds")
    commands = [Timing("A", command)]
    if parsed.vs is not None:
        try:
            command_b = shlex.split(parsed.vs)
        except ValueError as error:
            parser.error("--vs %r: %s" % (parsed.vs, error))
        if not command_b:
            parser.error("--vs is empty")
        commands.append(Timing("B", command_b))
    return parsed, commands


def figure(value):
    """Three significant digits, never in exponent form."""
    if value == 0:
        return "0"
    digits = 2
    scale = abs(value)
    while scale >= 10 and digits > 0:
        scale /= 10
        digits -= 1
    while scale < 1:
        scale *= 10
        digits += 1
    return "%.*f" % (digits, value)


def spread(values, unit="", show=figure):
    return "%s / %s / %s%s" % (show(min(values)), show(statistics.median(values)),
                               show(max(values)), unit)


def report(commands, runner, warmup):
    own_peak = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024
    counts = " and ".join("%s %d" % (c.name, len(c.wall)) for c in commands)
    print("runs: %s after %d warm-up%s%s; min / median / max; peak cannot read below %.1f MiB"
          % (counts, warmup, "" if warmup == 1 else "s",
             ", in turn" if len(commands) > 1 else "", own_peak))
    for c in commands:
        if not c.wall:
            print("%s no finished run" % c.name)
            continue
        print("%s wall %s" % (c.name, spread(c.wall, " s")))
        print("%s cpu  %s" % (c.name, spread(c.cpu, " s")))
        peaks = [k / 1024 for k in c.peak_kib]
        # The child starts as a copy of this script, so its peak includes ours.
        floor = " (this script's own: the command's is at most that)" \
            if statistics.median(peaks) <= own_peak * 1.02 else ""
        print("%s peak %s%s" % (c.name, spread(peaks, " MiB", lambda mib: "%.1f" % mib), floor))
        if any(c.exit_codes):
            print("%s exit %s" % (c.name, ", ".join(
                "signal %d" % -code if code < 0 else str(code) for code in c.exit_codes)))
    if len(commands) > 1:
        a, b = commands
        # A pair is whole only when B finished too: an A cut short of its B
        # stays out of the ratio but is still a run of A.
        ratios = [wa / wb for wa, wb in zip(a.wall, b.wall) if wb > 0]
        if ratios:
            print("A/B wall %s (%d pair%s)" % (spread(ratios), len(ratios),
                                               "" if len(ratios) == 1 else "s"))
    if runner.leftovers:
        print("note: %d run(s) left processes in their group, killed after the run"
              % runner.leftovers)
    if runner.timed_out:
        print("timeout: stopped before all runs were made; the figures are of the runs finished")


def main(argv):
    options, commands = parse_arguments(argv)
    runner = Runner()
    if options.timeout is not None:
        signal.signal(signal.SIGALRM, runner.on_alarm)
        signal.setitimer(signal.ITIMER_REAL, options.timeout)
    interrupted = False
    try:
        for turn in range(options.warmup + options.runs):
            for c in commands:
                if runner.timed_out:
                    break
                outcome = runner.run(c.argv)
                if outcome is None or turn < options.warmup:
                    continue
                wall, cpu, peak, code = outcome
                c.wall.append(wall)
                c.cpu.append(cpu)
                c.peak_kib.append(peak)
                c.exit_codes.append(code)
    except OSError as error:
        signal.setitimer(signal.ITIMER_REAL, 0)
        print("%s: cannot start %s: %s" % (PROG, shlex.join(c.argv),
                                            error.strerror or error), file=sys.stderr)
        return 2
    except KeyboardInterrupt:
        interrupted = True
        runner.kill_group(runner.current)
    signal.setitimer(signal.ITIMER_REAL, 0)
    report(commands, runner, options.warmup)
    return 130 if interrupted else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
