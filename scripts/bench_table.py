#!/usr/bin/env python3
"""Prints the table of a glintor_bench JSON report (see README, Performance).

Each value is the median over the repetitions, or the single run's value when
the report has no aggregates.
"""
import itertools
import json
import re
import sys

MODES = ["Weighted", "Uniform"]
LIGHTS = ["centre", "corner", "edge", "moving", "outside-near", "outside-far"]


def milliseconds(run, key="real_time"):
    scale = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}[run.get("time_unit", "ns")]
    return run[key] * scale


def medians(report):
    """Benchmark name (without tails such as /iterations:N) -> run, and -> spread."""
    single, median, spread = {}, {}, {}
    for run in report["benchmarks"]:
        if run.get("error_occurred"):
            continue
        name = re.sub(r"(/(iterations:\d+|repeats:\d+|real_time))+$", "", run["run_name"])
        if run.get("run_type") == "aggregate":
            if run.get("aggregate_name") == "median":
                median[name] = run
            elif run.get("aggregate_name") == "cv":
                spread[name] = run["real_time"]
        else:
            single.setdefault(name, run)
    single.update(median)
    return single, spread


def size_key(size):
    width, height = size.split("x")
    return int(width) * int(height)


def cell(value, digits=2):
    return "-" if value is None else f"{value:.{digits}f}"


def main():
    report = json.load(open(sys.argv[1]) if len(sys.argv) > 1 else sys.stdin)
    runs, spread = medians(report)
    floors = {}
    for name, run in runs.items():
        match = re.fullmatch(r"Floor/(cast|composite)/(\d+x\d+)", name)
        if match:
            floors[(match[1], match[2])] = milliseconds(run)
    sizes = sorted({m[0] for name in runs if not name.startswith(("Reduce/", "Png/"))
                    for m in [re.search(r"\d+x\d+", name)] if m}, key=size_key)

    header = ["mode", "size", "light", "ms/frame", "±%", "fps", "ns/px", "cast ms", "comp ms",
              "ref/ours", "ours/floor", "comp/floor"]
    rows = []
    for mode in MODES:
        for size in sizes:
            # Shaped: the same frame with every control on, after the plain one.
            for light, family in itertools.product(LIGHTS, ("Frame", "Shaped")):
                name = f"{family}/{mode}/{size}/{light}"
                run = runs.get(name)
                if run is None:
                    continue
                ms = milliseconds(run)
                cast, composite = run.get("cast_ms"), run.get("composite_ms")
                reference = runs.get(f"Reference/{mode}/{size}/{light}") if family == "Frame" else None
                floor_cast, floor_composite = floors.get(("cast", size)), floors.get(("composite", size))
                floor = floor_cast + floor_composite if floor_cast and floor_composite else None
                cv = spread.get(name)
                rows.append([
                    mode, size, light + (" shaped" if family == "Shaped" else ""), cell(ms),
                    cell(cv * 100 if cv is not None else None, 1),
                    cell(1000 / ms, 1), cell(ms * 1e6 / size_key(size)),
                    cell(cast), cell(composite),
                    cell(milliseconds(reference) / ms if reference else None),
                    cell(ms / floor if floor else None),
                    cell(composite / floor_composite if floor_composite and composite is not None else None),
                ])
    if rows:
        print_table(header, rows, 3)
        print()
    header = ["size", "floor cast ms", "floor comp ms", "floor ms", "ref Weighted ms", "ref Uniform ms"]
    rows = []
    for size in sizes:
        cast, composite = floors.get(("cast", size)), floors.get(("composite", size))
        references = [runs.get(f"Reference/{mode}/{size}/centre") for mode in MODES]
        rows.append([size, cell(cast), cell(composite), cell(cast + composite if cast and composite else None)]
                    + [cell(milliseconds(r) if r else None) for r in references])
    if rows:
        print_table(header, rows, 1)

    reductions = sorted((name.split("/")[1:] for name in runs if name.startswith("Reduce/")),
                        key=lambda sides: (size_key(sides[0]), size_key(sides[1])))
    if reductions:
        print()
        header = ["reduced from", "to", "ms", "±%", "ns/source px"]
        rows = []
        for source, target in reductions:
            name = f"Reduce/{source}/{target}"
            ms, cv = milliseconds(runs[name]), spread.get(name)
            rows.append([source, target, cell(ms), cell(cv * 100 if cv is not None else None, 1),
                         cell(ms * 1e6 / size_key(source))])
        print_table(header, rows, 2)

    thresholds = sorted((name.split("/")[1] for name in runs if name.startswith("Threshold/")), key=size_key)
    if thresholds:
        print()
        header = ["threshold change at", "ms", "±%", "ns/px"]
        rows = []
        for size in thresholds:
            ms, cv = milliseconds(runs[f"Threshold/{size}"]), spread.get(f"Threshold/{size}")
            rows.append([size, cell(ms), cell(cv * 100 if cv is not None else None, 1), cell(ms * 1e6 / size_key(size))])
        print_table(header, rows, 1)
    print_png_table(runs, spread)


def print_png_table(runs, spread):
    """The PNG rows: per frame, each setting's time and file size, and both
    as ratios to the chosen settings'."""
    names = [name.split("/")[1:] for name in runs if name.startswith("Png/")]
    if not names:
        return
    print()
    header = ["PNG of", "settings", "ms", "±%", "MB", "ms/chosen", "size/chosen"]
    rows = []
    for frame in dict.fromkeys(frame for frame, _ in names):
        chosen = runs.get(f"Png/{frame}/chosen")
        for _, settings in (n for n in names if n[0] == frame):
            run, cv = runs[f"Png/{frame}/{settings}"], spread.get(f"Png/{frame}/{settings}")
            ms, size = milliseconds(run), run.get("bytes", 0)
            rows.append([frame, settings, cell(ms), cell(cv * 100 if cv is not None else None, 1),
                         cell(size / 1e6, 3), cell(ms / milliseconds(chosen) if chosen else None),
                         cell(size / chosen["bytes"] if chosen and chosen.get("bytes") else None, 3)])
    print_table(header, rows, 2)


def print_table(header, rows, text_columns):
    widths = [max(len(str(row[i])) for row in [header] + rows) for i in range(len(header))]
    for row in [header] + rows:
        print("  ".join(str(value).ljust(w) if i < text_columns else str(value).rjust(w)
                        for i, (value, w) in enumerate(zip(row, widths))))


if __name__ == "__main__":
    main()
