#!/usr/bin/env python3
"""Reads the JUnit file of a ctest run (ctest --output-junit FILE).

  ctest-junit.py count FILE      "RUN NOT_RUN": tests that ran (passed or
                                 failed), and those skipped or not run
  ctest-junit.py failed FILE     the names of the failed tests, one line
  ctest-junit.py unstarted FILE  the failed tests that printed nothing at all:
                                 under Wine, a program the environment failed
                                 to start (a started test program always
                                 prints before it can fail)

A file that is missing or does not parse is an error (exit 2), never a count
of zero.
"""
import sys
import xml.etree.ElementTree as ElementTree


def cases(path):
    try:
        return ElementTree.parse(path).getroot().iter("testcase")
    except (OSError, ElementTree.ParseError) as error:
        sys.exit(f"ctest-junit: cannot read {path}: {error}")


def failed(case):
    return case.get("status") == "fail" or case.find("failure") is not None


def printed_nothing(case):
    return all(not (part.text or "").strip() for part in case.iter("system-out"))


def main(argv):
    if len(argv) != 3 or argv[1] not in ("count", "failed", "unstarted"):
        sys.exit(__doc__)
    command, path = argv[1], argv[2]
    every = list(cases(path))
    if command == "count":
        ran = sum(1 for case in every if case.get("status") in ("run", "fail"))
        print(ran, len(every) - ran)
    elif command == "failed":
        print(" ".join(case.get("name") for case in every if failed(case)))
    else:
        print(" ".join(case.get("name") for case in every if failed(case) and printed_nothing(case)))


if __name__ == "__main__":
    main(sys.argv)
