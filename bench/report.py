#!/usr/bin/env python3
"""Turns one tarn_bench run into the comparison table, the target check and
the chart.

    report.py RESULTS_DIR [--docs DOCS_DIR]

RESULTS_DIR holds raw.json (the benchmark's JSON output with every
repetition), variants.json (tarn_bench --tarn_describe) and machine.txt.
Writes table.md and chart.png there; with --docs also DOCS_DIR/performance.md
and DOCS_DIR/images/performance.png.
"""
import json
import os
import shutil
import statistics
import subprocess
import sys
from collections import defaultdict

FLOOR_JOB = "MxInvMat4x4.tput"
MEMORY = ("MxZeroDwordAlignedMem", "MxSetDwordAlignedMem", "MxCopyDwordAlignedMem")
LOOKUP_TARGETS = ("MxTSin", "MxTCos", "MxTSinCos")
PRODUCT_TARGETS = ("MxMatMult4x4_4x4", "MxSparseMatMult4x4_4x4", "Mx3DVecTransform",
                   "Mx3DVecNormalize", "Mx3DVecCrossProd", "Mx3DVecDotProd")
# The exact sine-cosine against the correctly rounded peer's function of the
# same result type.
EXACT_TARGETS = ("MxSinCosFFF", "MxSinCosDDD", "MxSinCosDDF", "MxSinCosFFD")
EXACT_PEER = "LLVM libc"
SIZE_BYTES = {"64B": 64, "4KiB": 4 << 10, "256KiB": 256 << 10, "4MiB": 4 << 20,
              "64MiB": 64 << 20, "256MiB": 256 << 20}


def slot_of(job):
    return job.split(".")[0]


def kind_of(job):
    """'time' (ns per operation, lower is better) or a rate (higher is better)."""
    slot = slot_of(job)
    if slot in MEMORY:
        return "GB/s"
    if slot == "MxAlphaBlt32":
        return "Mpx/s"
    return "ns"


def value_of(entry, kind):
    if kind == "GB/s":
        return entry["bytes_per_second"] / 1e9
    if kind == "Mpx/s":
        return entry["items_per_second"] / 1e6
    return 1e9 / entry["items_per_second"]


def is_tarn(impl):
    return impl == "tarn" or impl.startswith("tarn ")


def is_approximate(impl):
    return impl.endswith("(approximate)")


class Run:
    def __init__(self, results):
        with open(os.path.join(results, "raw.json")) as f:
            raw = json.load(f)
        with open(os.path.join(results, "variants.json")) as f:
            self.variants = json.load(f)
        self.context = raw.get("context", {})
        samples = defaultdict(list)
        self.order = []
        for b in raw["benchmarks"]:
            if b.get("run_type", "iteration") != "iteration" or b.get("error_occurred"):
                continue
            name = b["run_name"]
            job, impl = name.split("/", 1)
            if (job, impl) not in samples:
                self.order.append((job, impl))
            samples[(job, impl)].append(value_of(b, kind_of(job)))
        # Median and relative spread (max - min over median) of every row.
        self.rows = {}
        for key, values in samples.items():
            med = statistics.median(values)
            spread = (max(values) - min(values)) / med if med else 0.0
            self.rows[key] = (med, spread, len(values))
        # Registration order (random interleaving shuffles the JSON): jobs as
        # the benchmark lists them, the library's rows before the peers'.
        listed = os.path.join(results, "list.txt")
        if os.path.exists(listed):
            with open(listed) as f:
                rank = {tuple(line.strip().split("/", 1)): n for n, line in enumerate(f)}
            self.order.sort(key=lambda key: rank.get(key, len(rank)))
        self.jobs = []
        for job, _ in self.order:
            if job not in self.jobs:
                self.jobs.append(job)
        position = {job: n for n, job in enumerate(self.jobs)}
        self.order.sort(key=lambda key: (position[key[0]], not is_tarn(key[1])))
        floor = [v[0] for (j, i), v in self.rows.items() if j == FLOOR_JOB]
        self.floor = min(floor) if floor else None

    def impls(self, job):
        return [i for (j, i) in self.order if j == job]

    def value(self, job, impl):
        row = self.rows.get((job, impl))
        return row[0] if row else None

    def best_peer(self, job):
        """The best exact peer: an approximate one is a speed mark, not a rival."""
        peers = [(self.value(job, i), i) for i in self.impls(job)
                 if not is_tarn(i) and not is_approximate(i)]
        if not peers:
            return None, None
        pick = min if kind_of(job) == "ns" else max
        return pick(peers)

    def tier_impl(self, job, tier):
        """The row of the implementation that the tier binds to the job's slot."""
        for v in self.variants.get(slot_of(job), []):
            if tier in v["tiers"]:
                impl = "tarn " + v["variant"]
                if (job, impl) in self.rows:
                    return impl
        return None

    def packed_impls(self, job):
        return [i for i in self.impls(job) if is_tarn(i) and i != "tarn x87"]


def fmt(x, digits=3):
    if x is None:
        return "–"
    if x >= 100:
        return f"{x:.0f}"
    if x >= 10:
        return f"{x:.1f}"
    return f"{x:.{digits - 1}f}" if x >= 1 else f"{x:.{digits}f}"


def targets(run):
    """Every target of the speed work: (what, measured, goal, met, job, impl)."""
    out = []

    def add(what, measured, goal, at_most, job=None, impl=None):
        if measured is None:
            return
        met = measured <= goal if at_most else measured >= goal
        out.append((what, measured, ("≤ " if at_most else "≥ ") + fmt(goal), met, job, impl))

    for slot in LOOKUP_TARGETS:
        job = slot + ".tput"
        impl = run.tier_impl(job, "SSE")
        glibc = run.value(job, "glibc")
        if impl and glibc:
            add(f"`{slot}` ({impl[5:]}) time ÷ glibc, throughput", run.value(job, impl) / glibc,
                0.6, True, job, impl)
    for slot in PRODUCT_TARGETS:
        job = slot + ".tput"
        impl = run.tier_impl(job, "SSE")
        best, who = run.best_peer(job)
        if impl and best and run.floor is not None:
            above = run.value(job, impl) - run.floor
            add(f"`{slot}` ({impl[5:]}) time above floor ÷ {who}", above / best, 1.1, True, job,
                impl)
    for slot in EXACT_TARGETS:
        for case, what, goal in ((".tput", "throughput ±2π", 1.0),
                                 (".tput_1e6", "throughput ±1e6", 1.0),
                                 (".chain", "latency", 1.2)):
            job = slot + case
            ours, peer = run.value(job, "tarn"), run.value(job, EXACT_PEER)
            if ours and peer:
                add(f"`{slot}` time ÷ {EXACT_PEER}, {what}", ours / peer, goal, True, job, "tarn")
    job = "MxSparseMatMult4x4_4x4.tput"
    impl = run.tier_impl(job, "SSE")
    affine = run.value(job, "Eigen Affine3f")
    if impl and affine:
        add(f"`MxSparseMatMult4x4_4x4` ({impl[5:]}) time ÷ Eigen Affine3f",
            run.value(job, impl) / affine, 0.5, True, job, impl)
    # Fill against the best of memset, wmemset and rep stosd; copy against
    # the best of memcpy and rep movsd, and 1.4x memcpy from 64 MiB; the
    # baseline kernel forced ("tarn MMXext [SSE2]") within noise of today's
    # 0.9 of the best peer.
    for slot in MEMORY:
        for size, nbytes in SIZE_BYTES.items():
            job = f"{slot}.{size}"
            best, who = run.best_peer(job)
            if nbytes < 4096 or best is None:
                continue
            seen = set()
            for tier in ("SSE", "MMX"):
                impl = run.tier_impl(job, tier)
                if impl is None or impl in seen:
                    continue
                seen.add(impl)
                add(f"`{slot}` {size} ({impl[5:]}) bandwidth ÷ best peer ({who})",
                    run.value(job, impl) / best, 1.0, False, job, impl)
                memcpy = run.value(job, "glibc memcpy")
                if "Copy" in slot and nbytes >= (64 << 20) and memcpy:
                    add(f"`{slot}` {size} ({impl[5:]}) bandwidth ÷ memcpy, large",
                        run.value(job, impl) / memcpy, 1.4, False, job, impl)
                for forced in run.impls(job):
                    if forced.startswith(impl + " ["):
                        add(f"`{slot}` {size} ({forced[5:]}, forced) bandwidth ÷ best peer"
                            f" ({who})", run.value(job, forced) / best, 0.9, False, job, forced)
    # The blit: the packed variants onto 8888 at 1.5x pixman (the Cyrix form
    # at 1.0x), libyuv's approximate blend as the moonshot; onto the 16-bit
    # formats 1.5x pixman and at least the same variant's own rate onto 8888
    # for the same size and mix. Forced narrower kernels keep the goals they
    # had before the wider ones: 1.0x pixman onto 8888.
    for job in run.jobs:
        if slot_of(job) != "MxAlphaBlt32":
            continue
        pixman = run.value(job, "pixman")
        if pixman is None:
            continue
        case = job.split(".", 1)[1]
        sixteen = case.endswith(("565", "1555", "4444"))
        job_8888 = job.rsplit(".", 1)[0] + ".8888"
        for impl in run.impls(job):
            if not is_tarn(impl):
                continue
            ours = run.value(job, impl)
            ratio = ours / pixman
            forced = impl.endswith("]")
            if impl == "tarn x87":
                add(f"blit {case} (x87) ÷ pixman", ratio, 0.5, False, job, impl)
                continue
            goal = 1.5 if sixteen or not (forced or "Cyrix" in impl) else 1.0
            add(f"blit {case} ({impl[5:]}) ÷ pixman", ratio, goal, False, job, impl)
            own_8888 = run.value(job_8888, impl)
            if sixteen and own_8888 and not forced:
                add(f"blit {case} ({impl[5:]}) ÷ its own rate onto 8888", ours / own_8888, 1.0,
                    False, job, impl)
            libyuv = next((run.value(job, i) for i in run.impls(job) if i.startswith("libyuv")),
                          None)
            if libyuv and not forced and impl == run.tier_impl(job, "SSE"):
                add(f"blit {case} ({impl[5:]}) ÷ libyuv ARGBBlend, moonshot", ours / libyuv, 1.0,
                    False, job, impl)
    return out


def unit_label(kind):
    return {"ns": "ns/op", "GB/s": "GB/s", "Mpx/s": "Mpixel/s"}[kind]


def full_table(run):
    lines = ["| Job | Implementation | Median | Spread | ÷ best peer | Above floor ÷ best peer |",
             "|---|---|---:|---:|---:|---:|"]
    for job in run.jobs:
        kind = kind_of(job)
        best, who = run.best_peer(job)
        for impl in run.impls(job):
            med, spread, _ = run.rows[(job, impl)]
            ratio = fmt(med / best) if best else "–"
            above = "–"
            if kind == "ns" and is_tarn(impl) and best and run.floor is not None \
                    and job.endswith(".tput") and job != FLOOR_JOB:
                above = fmt((med - run.floor) / best)
            if not is_tarn(impl):
                ratio = "best" if impl == who else fmt(med / best)
            lines.append(f"| `{job}` | {impl} | {fmt(med)} {unit_label(kind)} | "
                         f"{spread * 100:.0f} % | {ratio} | {above} |")
    return "\n".join(lines)


def targets_table(rows):
    met = sum(1 for r in rows if r[3])
    lines = [f"{met} of {len(rows)} targets met.", "",
             "| Target | Measured | Goal | Met |", "|---|---:|---:|:---:|"]
    for what, measured, goal, ok, _, _ in rows:
        lines.append(f"| {what} | {fmt(measured)} | {goal} | {'yes' if ok else '**no**'} |")
    return "\n".join(lines)


def chart_data(run, status):
    """(label, speed relative to the best peer, colour) per job, for the
    implementation the SSE tier binds."""
    bars = []
    for job in run.jobs:
        if job == FLOOR_JOB:
            continue
        impl = run.tier_impl(job, "SSE") or ("tarn" if (job, "tarn") in run.rows else None)
        best, _ = run.best_peer(job)
        if impl is None or best is None:
            continue
        v = run.value(job, impl)
        speed = best / v if kind_of(job) == "ns" else v / best
        colour = {True: "#2e7d32", False: "#c62828"}.get(status.get((job, impl)), "#78909c")
        bars.append((f"{job} ({impl[5:] or 'tarn'})", speed, colour))
    return bars


def draw_chart(bars, path):
    try:
        import matplotlib
        matplotlib.use("Agg")
        import matplotlib.pyplot as plt
    except ImportError:
        return draw_chart_gnuplot(bars, path)
    height = max(4.0, 0.19 * len(bars) + 1.2)
    fig, ax = plt.subplots(figsize=(9.5, height))
    labels = [b[0] for b in bars][::-1]
    values = [b[1] for b in bars][::-1]
    colours = [b[2] for b in bars][::-1]
    ax.barh(range(len(bars)), values, color=colours, height=0.75)
    ax.set_yticks(range(len(bars)))
    ax.set_yticklabels(labels, fontsize=6.5)
    ax.set_xscale("log")
    ax.axvline(1.0, color="black", linewidth=0.8)
    ax.set_xlabel("speed relative to the best peer (SSE tier; > 1 is faster; log scale)")
    ax.set_title("TarnLib2DLL against its peers: green = target met, red = missed, grey = no target",
                 fontsize=9)
    ax.set_ylim(-0.6, len(bars) - 0.4)
    fig.tight_layout()
    fig.savefig(path, dpi=110)
    return True


def draw_chart_gnuplot(bars, path):
    if shutil.which("gnuplot") is None:
        print("no matplotlib and no gnuplot: chart skipped", file=sys.stderr)
        return False
    data = path + ".dat"
    with open(data, "w") as f:
        for i, (label, value, colour) in enumerate(bars[::-1]):
            f.write(f'{i} {value} "{label}" 0x{colour[1:]}\n')
    script = f"""set terminal pngcairo size 1000,{max(400, 14 * len(bars) + 80)} font ",7"
set output "{path}"
set logscale x
set style fill solid
set ytics font ",6"
set xlabel "speed relative to the best peer (SSE tier; > 1 is faster)"
plot "{data}" using (sqrt($2)):1:(sqrt($2)):(0.35):ytic(3):4 with boxxyerror lc rgb variable notitle
"""
    subprocess.run(["gnuplot"], input=script, text=True, check=False)
    return os.path.exists(path)


def main():
    args = sys.argv[1:]
    if not args:
        print(__doc__)
        return 2
    results = args[0]
    docs = args[args.index("--docs") + 1] if "--docs" in args else None
    run = Run(results)
    rows = targets(run)
    # A bar is green when every target on that implementation of the job is met.
    status = {}
    for _, _, _, ok, job, impl in rows:
        status[(job, impl)] = status.get((job, impl), True) and ok
    with open(os.path.join(results, "machine.txt")) as f:
        machine = f.read().strip()
    floor = f"{run.floor:.2f} ns" if run.floor is not None else "not measured (slot empty)"
    spreads = sorted(row[1] for row in run.rows.values())
    noisy = sum(1 for x in spreads if x > 0.2)
    noise = (f"Noise of this run: the median spread over all {len(spreads)} rows is "
             f"{statistics.median(spreads) * 100:.0f} %; {noisy} rows spread more than 20 %.")
    table = "\n".join([
        "## Targets", "", targets_table(rows), "",
        f"Dispatch floor (`MxInvMat4x4`, an empty call through its slot): {floor}.", "",
        noise, "",
        "## Every job", "",
        "Medians of the repetitions; spread is (max − min) ÷ median. Times are per "
        "operation (lower is better); bandwidths and pixel rates higher is better. "
        "`÷ best peer` divides by the best peer's figure in the same unit.", "",
        full_table(run), ""])
    with open(os.path.join(results, "table.md"), "w") as f:
        f.write("# Benchmark results\n\n```\n" + machine + "\n```\n\n" + table)
    chart = os.path.join(results, "chart.png")
    have_chart = draw_chart(chart_data(run, status), chart)
    print(targets_table(rows))
    if docs:
        os.makedirs(docs, exist_ok=True)
        if have_chart:
            os.makedirs(os.path.join(docs, "images"), exist_ok=True)
            shutil.copy(chart, os.path.join(docs, "images", "performance.png"))
        template = os.path.join(os.path.dirname(os.path.abspath(__file__)), "performance.md.in")
        with open(template) as f:
            text = f.read()
        text = text.replace("@MACHINE@", machine).replace("@TABLE@", table)
        with open(os.path.join(docs, "performance.md"), "w") as f:
            f.write(text)
    return 0


if __name__ == "__main__":
    sys.exit(main())
