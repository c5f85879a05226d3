"""What the command-line check scripts share: a failed expectation and the
way a script reports it (one FAIL line, exit 1) to the test that runs it."""
import sys


class Failed(Exception):
    pass


def expect(condition, what):
    if not condition:
        raise Failed(what)


def run_checks(main):
    try:
        main()
    except Failed as failure:
        print("FAIL: %s" % failure)
        sys.exit(1)
