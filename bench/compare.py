"""Pairs ours/<area>.<name> with base/<area>.<name> benchmark results.

CPU time is compared rather than wall time, so that other load on the
machine during the run disturbs the ratios less; a benchmark that times
itself (its work spread over threads) is compared by the wall time it gives.
Of a benchmark run several times the fastest run counts: other load only
ever slows a run down.
"""
import json
import re
import sys

MANUAL_TIME = "/manual_time"
RUN_COUNTS = re.compile(r"/(iterations|repeats):[0-9]+")  # how a benchmark was run, not what it runs


def times(paths):
    result = {}
    for path in paths:
        with open(path) as f:
            for b in json.load(f)["benchmarks"]:
                if b.get("run_type", "iteration") != "iteration":
                    continue
                name = RUN_COUNTS.sub("", b["name"])
                if name.endswith(MANUAL_TIME):
                    name, time = name[: -len(MANUAL_TIME)], b["real_time"]
                else:
                    time = b["cpu_time"]
                result[name] = min(time, result.get(name, time))
    return result


def main(paths):
    found = times(paths)
    for name, ours in sorted(found.items()):
        if not name.startswith("ours/"):
            continue
        key = name[len("ours/"):]
        base = found.get("base/" + key)
        if base:
            area_name = key.split("/")[0]
            suffix = key[len(area_name):].replace("/", ".")
            print(f"compare: {area_name}{suffix} {ours / base:.3f}")


if __name__ == "__main__":
    main(sys.argv[1:])
