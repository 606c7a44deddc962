#!/usr/bin/env python3
"""Runs the start-up tracing test child with both tracing switches and reads
the trace it writes with Python's strict JSON reader: valid UTF-8, no raw
control characters in strings, no NaN or Infinity. Every event must carry
pid, tid, ts, ph, cat and name.

Usage: check_trace_strictly.py [runner...] <child program>
(the runner is the emulator script for Windows programs)."""

import json
import os
import subprocess
import sys
import tempfile

CATEGORIES = "toplevel,base,disabled-by-default-toplevel.flow"
COMMON_MEMBERS = {"pid", "tid", "ts", "ph", "cat", "name"}


def refuse_constant(name):
    raise ValueError("not JSON: " + name)


def main():
    runner, child = sys.argv[1:-1], sys.argv[-1]
    with tempfile.TemporaryDirectory() as folder:
        path = os.path.join(folder, "trace.json")
        # A Windows program sees the file through drive Z:.
        child_path = "Z:" + path.replace("/", "\\") if runner else path
        result = subprocess.run(
            runner + [child, "--trace-file=" + child_path,
                      "--trace-categories=" + CATEGORIES],
            stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, timeout=100)
        if result.returncode != 0:
            print("child exited with", result.returncode)
            print(result.stdout.decode("utf-8", "replace"))
            return 1
        with open(path, "rb") as trace_file:
            text = trace_file.read().decode("utf-8")
        trace = json.loads(text, parse_constant=refuse_constant)
        events = trace["traceEvents"]
        if not events:
            print("no events")
            return 1
        for event in events:
            missing = COMMON_MEMBERS - event.keys()
            if missing:
                print("event without", sorted(missing), event)
                return 1
        print(len(events), "events read strictly")
    return 0


if __name__ == "__main__":
    sys.exit(main())
