"""What the checks of the stub's build share: how a check reports and how it is called."""
import sys


def report(failures, ok):
    """Prints each failure, or the one line that says what held; returns the exit code."""
    for failure in failures:
        print(f"FAIL: {failure}", file=sys.stderr)
    if not failures:
        print(f"ok: {ok}")
    return 1 if failures else 0


def run(main, usage, count, at_least=False):
    """Calls main with the command line's arguments, or ends with the usage when they do
    not number count (or at least count)."""
    arguments = sys.argv[1:]
    if len(arguments) < count or (not at_least and len(arguments) != count):
        sys.exit(usage)
    sys.exit(main(*arguments))
