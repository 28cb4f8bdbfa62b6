#!/usr/bin/env python3
"""Prints the figures of scripts/bench beside their goals and baselines and a
verdict line; writes the same table in Markdown for the README. Exit 1 when a
goal is missed or a figure is missing.
  report.py FIGURES_TXT TABLE_MD COMMAND"""
import sys

MIB = 1024 * 1024


def load(path):
    figures = {}
    for line in open(path):
        parts = line.split()
        if len(parts) == 3 and parts[0] == "bench:":
            figures[parts[1]] = float(parts[2])
    return figures


def rows(f):
    """(figure, value, goal, baseline, met) per row; met None: no goal."""
    g = f.get
    ms = lambda v: "%.2f ms" % v
    kib = lambda v: "%.0f KiB" % (v / 1024)
    out = []
    n = g("reaction_writes", 0)
    out.append(("reaction: write to window, median (%d writes)" % n, ms(g("reaction_median_ms")),
                "<= 5 ms", "bare watcher " + ms(g("reaction_bare_median_ms")),
                g("reaction_median_ms") <= 5))
    out.append(("reaction: write to window, worst", ms(g("reaction_worst_ms")), "<= 50 ms",
                "bare watcher " + ms(g("reaction_bare_worst_ms")),
                g("reaction_worst_ms") <= 50 and g("reaction_lost") == 0))
    period = g("restart_period_ms")
    out.append(("supervision: agent stop to running, worst of %d" % g("restart_tries"),
                "%.0f ms" % g("restart_max_ms"), "<= %.0f ms (one pass + 1 s)" % (period + 1000),
                "median %.0f ms" % g("restart_median_ms"), g("restart_max_ms") <= period + 1000))
    out.append(("supervision: the pass's work after the stop is seen, worst",
                "check %.0f + start %.0f ms" % (g("restart_check_max_ms"), g("restart_start_max_ms")),
                "-", "alone: check's command %.0f ms, agent start %.0f ms, bare process %.0f ms "
                "(worst)" % (g("status_command_alone_max_ms"), g("agent_start_alone_max_ms"),
                             g("process_start_alone_max_ms")), None))
    # The tray is judged against the floor its design needs: the window, the
    # icon and the two threads it must keep idle (the upgrade watcher and the
    # idle publisher). The plain window and icon are shown beside it.
    floor_cpu = g("design_cpu_ms")
    out.append(("tray idle %.0f s: CPU time" % g("idle_s"), ms(g("tray_cpu_ms")),
                "<= 1.1 x floor", "floor (window + icon + the tray's 2 idle threads) %s; "
                "window + icon alone %s" % (ms(floor_cpu), ms(g("baseline_cpu_ms"))),
                g("tray_cpu_ms") <= 1.1 * floor_cpu))
    out.append(("tray idle: private bytes", kib(g("tray_private_bytes")), "<= floor + 1 MiB",
                "floor (window + icon + the tray's 2 idle threads) %s; window + icon alone %s" %
                (kib(g("design_private_bytes")), kib(g("baseline_private_bytes"))),
                g("tray_private_bytes") <= g("design_private_bytes") + MIB))
    out.append(("tray idle: handles start -> end (most)",
                "%.0f -> %.0f (%.0f)" % (g("tray_handles_start"), g("tray_handles_end"),
                                         g("tray_handles_most")), "flat",
                "%.0f -> %.0f" % (g("baseline_handles_start"), g("baseline_handles_end")),
                g("tray_handles_most") <= g("tray_handles_start")))
    # Run time grows with the load other programs put on the machine: each
    # half is its least window of ten passes, and the watchdog's growth is
    # judged against that of a bare pass measured in the same windows.
    first, last = g("watchdog_cpu_per_pass_first_ms"), g("watchdog_cpu_per_pass_last_ms")
    bare_first, bare_last = g("bare_pass_cpu_first_ms"), g("bare_pass_cpu_last_ms")
    bare_growth = bare_last / bare_first if bare_first > 0 else 1
    out.append(("watchdog %.0f idle passes: CPU per pass, first -> last half" % g("watchdog_passes"),
                "%.3f -> %.3f ms" % (first, last),
                "flat (last <= 1.25 x first x the bare pass's own growth)",
                "bare pass %.3f -> %.3f ms; machine busy %.0f%% -> %.0f%%" %
                (bare_first, bare_last, g("watchdog_machine_busy_first_pct"),
                 g("watchdog_machine_busy_last_pct")),
                last <= 1.25 * first * max(bare_growth, 1)))
    out.append(("watchdog idle: handles start -> middle -> end",
                "%.0f -> %.0f -> %.0f" % (g("watchdog_handles_start"), g("watchdog_handles_middle"),
                                          g("watchdog_handles_end")), "flat", "-",
                max(g("watchdog_handles_middle"), g("watchdog_handles_end")) <=
                g("watchdog_handles_start")))
    for arch in ("x64", "x86"):
        base = g("size_%s_minimal_baseline" % arch)
        for exe in ("sen-drik-hald", "qor-tel"):
            size = g("size_%s_%s" % (arch, exe))
            out.append(("size: %s/%s.exe" % (arch, exe), "%.0f bytes" % size, "-",
                        "minimal static program %.0f bytes (+%.0f KiB)" % (base, (size - base) / 1024),
                        None))
    return out


def main():
    figures = load(sys.argv[1])
    try:
        table = rows(figures)
    except TypeError:   # a figure is missing: its driver failed
        print("bench: figures missing from %s" % sys.argv[1])
        return 1
    missed = [r[0] for r in table if r[4] is False]
    width = max(len(r[0]) for r in table)
    for name, value, goal, baseline, met in table:
        verdict = "-" if met is None else "met" if met else "MISSED"
        print("%-*s  %-26s goal %-28s baseline %s  [%s]" % (width, name, value, goal, baseline, verdict))
    with open(sys.argv[2], "w") as md:
        md.write("| figure | measured | goal | baseline | command |\n|---|---|---|---|---|\n")
        for name, value, goal, baseline, _ in table:
            md.write("| %s | %s | %s | %s | `%s` |\n" % (name, value, goal, baseline, sys.argv[3]))
    print("bench: %d goals met, %d missed%s" % (sum(1 for r in table if r[4]), len(missed),
                                                 ": " + "; ".join(missed) if missed else ""))
    return 1 if missed else 0


if __name__ == "__main__":
    sys.exit(main())
