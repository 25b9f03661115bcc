#!/usr/bin/env python3
"""Measures the archive engine against its peers and prints the report.

Called by bench/run once the bench program is built and the corpus made:

    bench/measure.py --engine-bench BIN --corpus DIR --work DIR [--runs N]
                     [--build-runs N] [--small-runs N] [--dest DIR]
                     [--velmora-pack BIN] [--flat-20000 DIR] [--flat-5000 DIR]
                     [--spread-20000 DIR]

The three small-file trees (made by make_small_tree: 100-byte files, 20,000
and 5,000 in one directory, 20,000 over 200 directories) are measured when
given: building and extraction against zip and unzip, and how the time per file
grows from 5,000 to 20,000 files in one directory. Their runs stop early after
one that took more than SLOW_RUN_SECONDS, since a per-file cost that grows with
the directory makes them long.

Figures the program measured cannot give (such as building with one job, when
engine_bench build takes no --jobs) are reported as "n/a" rather than failing,
so that the same harness measures the engine before and after such a change.

--dest is where the extracted trees go (default: --work); a tmpfs there leaves
out the file system's own costs.

Timings: the engine's come from engine_bench, which times itself in-process;
the peers' (zip, unzip, cat) and velmora-pack's are wall-clock times of the
whole process. Each figure is the median of --runs timed runs (--build-runs for building). Beside
the wall-clock ratio, the processor-time ratio (user and system) is given: on
a machine busy with other work it moves much less than the wall clock. Every input is read once before
timing, so all runs read from the page cache. Before every timed run the file
system is synced (not timed), so no run pays for another's write-back. Every
extraction goes to a directory of its own, and they are all removed at the end
only: on ext4, files created soon after many were deleted cost far more (the
inode allocator skips recently freed inodes), which would charge one tool for
what the previous one left.

System calls per file: strace -c -f counts every call of a separate, untimed
run of building and extraction of the corpus (and of zip, unzip and cp -r on
the same tree), divided by the corpus's file count.

Exit status: 0 when every measurement was made, whether or not the targets
are met; 1 when one could not be made.
"""

import argparse
import os
import random
import shutil
import statistics
import subprocess
import resource
import sys
import time
import zlib

STUB_BYTES = 50 * 1000 * 1000
STUB_SEED = 7
SCAN_RUNS = 7
# cat reads the stub this many times in one run, which spreads the noise of
# its start-up over more work.
CAT_REPEAT = 5
MEMORY_LIMIT_KB = 4 * 1024
# Peak memory above the baseline allowed for building the corpus with all
# cores, and the flat 20,000-file tree with one job.
BUILD_MEMORY_LIMIT_KB = 16 * 1024
FLAT_BUILD_MEMORY_LIMIT_KB = 8 * 1024
# After a run this long the small trees' figures take no further runs.
SLOW_RUN_SECONDS = 10.0
# Targets: our time over the peer's.
TARGET_BUILD_ALL_CORES = 0.45  # wall clock, against zip's
TARGET_BUILD_ONE_JOB = 0.9  # against zip's processor time
TARGET_EXTRACT = 0.65
TARGET_FLAT_EXTRACT = 1.5
TARGET_FLAT_BUILD = 1.0
TARGET_PER_FILE_GROWTH = 1.3  # time per file at 20,000 over that at 5,000
TARGET_SCAN = 2.0
TARGET_CALLS_EXTRACT = 15
TARGET_CALLS_BUILD = 25


class BenchError(Exception):
    pass


def run(cmd, cwd=None, capture=False):
    try:
        done = subprocess.run(cmd, cwd=cwd, check=True, text=True,
                              stdout=subprocess.PIPE if capture else subprocess.DEVNULL,
                              stderr=subprocess.PIPE)
    except subprocess.CalledProcessError as e:
        raise BenchError(f"{' '.join(map(str, cmd))} failed (exit {e.returncode}): "
                         f"{e.stderr.strip()}") from None
    return done.stdout


def children_cpu():
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


def wall(cmd, cwd=None):
    """Wall-clock seconds of one run of cmd."""
    return timed(cmd, cwd)[0]


def timed(cmd, cwd=None):
    """Wall-clock and processor seconds of one run of cmd."""
    cpu = children_cpu()
    start = time.perf_counter()
    run(cmd, cwd=cwd)
    return time.perf_counter() - start, children_cpu() - cpu


def sync():
    os.sync()


def remove(path):
    if os.path.isdir(path):
        run(["rm", "-rf", "--", path])  # faster than shutil.rmtree on big trees
    elif os.path.exists(path):
        os.remove(path)


def median(values):
    return statistics.median(values)


class Engine:
    def __init__(self, path, work):
        self.path = path
        self.work = work

    def call(self, *args):
        """Runs one mode; returns its figures (seconds among them) as a dict."""
        return self.parse(run([self.path, *args], capture=True))

    @staticmethod
    def parse(out):
        figures = {}
        for item in out.split()[1:]:
            name, _, value = item.partition("=")
            figures[name] = float(value)
        return figures

    def call_rss(self, *args):
        """As call, run under /usr/bin/time; the figures hold peak_kb too."""
        out = os.path.join(self.work, "time.out")
        figures = self.parse(run(["/usr/bin/time", "-f", "%M", "-o", out, self.path, *args],
                                 capture=True))
        with open(out) as f:
            figures["peak_kb"] = int([x for x in f.read().split("\n") if x.strip()][-1])
        os.remove(out)
        return figures

    def seconds(self, *args):
        return self.call(*args)["seconds"]

    def timed(self, *args):
        """Wall-clock and processor seconds of the mode's work."""
        figures = self.call(*args)
        return figures["seconds"], figures["cpu_seconds"]

    def takes_jobs(self, directory, archive):
        """Whether the build mode takes --jobs N: tried on a small directory.
        The program without it answers with its usage text and exit 2."""
        remove(archive)
        done = subprocess.run([self.path, "build", "--jobs", "1", directory, archive],
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        remove(archive)
        if done.returncode == 0:
            return True
        if done.returncode == 2 and "usage" in done.stderr:
            return False
        raise BenchError(f"engine_bench build --jobs 1 failed (exit {done.returncode}): "
                         f"{done.stderr.strip()}")


def extract_round(jobs, run_index):
    """The timed extractions of one run, jobs being (name, timed call) pairs.
    Each run starts one job further on, so no job always follows the same
    other's write-back. Returns {name: (wall, cpu)}."""
    start = run_index % len(jobs)
    figures = {}
    for name, job in jobs[start:] + jobs[:start]:
        sync()
        figures[name] = job()
    return figures


def extraction_jobs(engine, payload, ours_dest, zip_file, unzip_dest):
    """The engine's and unzip's timed extractions, as extract_round takes them."""
    return [("ours", lambda: engine.timed("extract", payload, ours_dest)),
            ("peer", lambda: timed(["unzip", "-q", zip_file, "-d", unzip_dest]))]


def extract_both(engine, payload, ours_dest, zip_file, unzip_dest, run_index):
    """The engine's and unzip's timed extractions of one run."""
    figures = extract_round(extraction_jobs(engine, payload, ours_dest, zip_file, unzip_dest),
                            run_index)
    return figures["ours"], figures["peer"]


def tree_manifest(root, fold_case):
    """Relative path (upper-cased when fold_case) -> (size, CRC-32) of every file."""
    manifest = {}
    for directory, _, files in os.walk(root):
        for name in files:
            path = os.path.join(directory, name)
            rel = os.path.relpath(path, root)
            crc = 0
            with open(path, "rb") as f:
                while block := f.read(1 << 20):
                    crc = zlib.crc32(block, crc)
            manifest[rel.upper() if fold_case else rel] = (os.path.getsize(path), crc)
    return manifest


def read_all(root):
    """Reads every file below root once, to have it in the page cache."""
    count = 0
    total = 0
    for directory, _, files in os.walk(root):
        for name in files:
            with open(os.path.join(directory, name), "rb") as f:
                while block := f.read(1 << 20):
                    total += len(block)
            count += 1
    return count, total


def peak_rss_kb(cmd, work, accept_failure=False):
    out = os.path.join(work, "time.out")
    done = subprocess.run(["/usr/bin/time", "-f", "%M", "-o", out, *cmd],
                          stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    if done.returncode != 0 and not accept_failure:
        raise BenchError(f"{' '.join(cmd)} failed (exit {done.returncode}): {done.stderr.strip()}")
    with open(out) as f:
        lines = [line for line in f.read().split("\n") if line.strip()]
    os.remove(out)
    return int(lines[-1]), done.returncode


def marker_bytes():
    # Put together at run time, so that the marker's characters never stand in
    # one piece in this file or in its compiled form.
    return bytes([ord("B")]) + "EGIN.KOV".encode("ascii")


def make_stub(path):
    """STUB_BYTES random bytes (fixed seed) without the marker; kept between runs."""
    if os.path.exists(path) and os.path.getsize(path) == STUB_BYTES:
        return
    data = random.Random(STUB_SEED).randbytes(STUB_BYTES)
    if data.find(marker_bytes()) >= 0:
        raise BenchError("the stub holds the marker; choose another seed")
    with open(path + ".partial", "wb") as f:
        f.write(data)
    os.rename(path + ".partial", path)


def make_small_kit(path):
    """A small directory to pack behind the stub: three files, about 60 KB."""
    remove(path)
    os.makedirs(os.path.join(path, "Docs"))
    rng = random.Random(11)
    words = ["setup", "files", "Velmora", "install", "folder", "program", "the", "and"]
    text = " ".join(rng.choice(words) for _ in range(6000)).encode("ascii")
    with open(os.path.join(path, "ReadMe.txt"), "wb") as f:
        f.write(text[:30000])
    with open(os.path.join(path, "Docs", "Licence.txt"), "wb") as f:
        f.write(text[:12000])
    with open(os.path.join(path, "App.dat"), "wb") as f:
        f.write(rng.randbytes(20000))


def runs_text(n):
    return f"{n} run" if n == 1 else f"{n} runs"


def fmt_seconds(s):
    if s >= 0.1:
        return f"{s:.3f} s"
    if s >= 0.001:
        return f"{s * 1000:.1f} ms"
    return f"{s * 1e6:.1f} us"


def strace_calls(cmd, work, cwd=None):
    """The number of system calls of one run of cmd and its threads and children."""
    out = os.path.join(work, "strace.out")
    run(["strace", "-c", "-f", "-o", out, *cmd], cwd=cwd)
    with open(out) as f:
        lines = f.read().splitlines()
    os.remove(out)
    for line in lines:
        fields = line.split()
        # "% time  seconds  usecs/call  calls  [errors]  total"
        if fields and fields[-1] == "total" and len(fields) >= 5:
            return int(fields[3])
    raise BenchError(f"no total in the strace summary of {' '.join(cmd)}")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--engine-bench", required=True)
    parser.add_argument("--corpus", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--build-runs", type=int, default=3)
    parser.add_argument("--small-runs", type=int, default=3)
    parser.add_argument("--dest")
    parser.add_argument("--velmora-pack")
    parser.add_argument("--flat-20000")
    parser.add_argument("--flat-5000")
    parser.add_argument("--spread-20000")
    args = parser.parse_args()
    # A velmora-pack named but not runnable is a fault, not a choice to leave
    # its figures out.
    if args.velmora_pack and not os.access(args.velmora_pack, os.X_OK):
        raise BenchError(f"--velmora-pack {args.velmora_pack}: not an executable file")

    corpus = os.path.abspath(args.corpus)
    work = os.path.abspath(args.work)
    engine = Engine(os.path.abspath(args.engine_bench), work)
    runs = max(1, args.runs)
    build_runs = max(1, args.build_runs)
    small_runs = max(1, args.small_runs)
    corpus_parent, corpus_name = os.path.split(corpus)
    payload = os.path.join(work, "corpus.payload")
    one_job_payload = os.path.join(work, "corpus-one-job.payload")
    zip_file = os.path.join(work, "corpus.zip")
    outputs = os.path.join(os.path.abspath(args.dest or work), "velmora-bench-out")
    remove(outputs)
    os.makedirs(outputs)
    output_count = 0

    def fresh_output(name):
        nonlocal output_count
        output_count += 1
        return os.path.join(outputs, f"{name}-{output_count}")

    rows = []

    started = time.perf_counter()

    def note(text):
        print(f"measure: [{time.perf_counter() - started:5.0f} s] {text}", flush=True)

    load = os.getloadavg()

    # The small kit is packed behind the stub for the marker scan; here it is
    # also the directory on which the build mode is tried with --jobs.
    small_kit = os.path.join(work, "small-kit")
    make_small_kit(small_kit)
    jobs = engine.takes_jobs(small_kit, os.path.join(work, "jobs-probe.payload"))
    note("engine_bench build takes --jobs" if jobs else
         "engine_bench build takes no --jobs: the one-job figures are n/a")

    note("reading the corpus into the page cache")
    files, corpus_bytes = read_all(corpus)

    # Building: the engine's "PU" against zip at level 6 (zlib's default, as
    # the engine's chunks use), both of the whole tree. The engine builds with
    # its default job count (all cores) under /usr/bin/time, for its peak
    # memory, and, when it takes a job count, with one job.
    note(f"building the corpus, {runs_text(build_runs)} each")
    build_ours, build_one, build_zip, build_peaks = [], [], [], []
    for _ in range(build_runs):
        remove(payload)
        sync()
        figures = engine.call_rss("build", corpus, payload)
        build_ours.append((figures["seconds"], figures["cpu_seconds"]))
        build_peaks.append(figures["peak_kb"])
        if jobs:
            remove(one_job_payload)
            sync()
            build_one.append(engine.timed("build", "--jobs", "1", corpus, one_job_payload))
            remove(one_job_payload)
        remove(zip_file)
        sync()
        build_zip.append(timed(["zip", "-r", "-6", "-q", zip_file, corpus_name],
                               cwd=corpus_parent))
    payload_bytes = os.path.getsize(payload)
    zip_bytes = os.path.getsize(zip_file)

    # Extraction: the engine's "PI" against unzip of the same tree, and beside
    # them velmora-pack's all-or-nothing extract into a new directory (unpacked
    # beside it, renamed into place) and into an existing empty one (the
    # archive checked whole first, unpacked inside it, moved into place); one
    # run each to warm, then the timed ones.
    pack = args.velmora_pack
    note(f"extracting the corpus, 1 + {runs_text(runs)} each")
    extract_ours, extract_unzip, pack_new, pack_existing = [], [], [], []
    for i in range(runs + 1):
        ours_dest = fresh_output("engine")
        unzip_dest = fresh_output("unzip")
        new_dest = fresh_output("pack-new")
        existing_dest = fresh_output("pack-existing")
        jobs = extraction_jobs(engine, payload, ours_dest, zip_file, unzip_dest)
        if pack:
            os.makedirs(existing_dest)
            jobs += [("new", lambda: timed([pack, "extract", "--quiet", payload, new_dest])),
                     ("existing",
                      lambda: timed([pack, "extract", "--quiet", payload, existing_dest]))]
        figures = extract_round(jobs, i)
        if i == 0:
            note("checking the extracted tree against the corpus")
            # The engine stores names as the directory listing gives them:
            # upper-cased. Paths are compared without case.
            want = tree_manifest(corpus, True)
            got = tree_manifest(ours_dest, True)
            if want != got:
                missing = sorted(set(want) - set(got))[:3]
                extra = sorted(set(got) - set(want))[:3]
                raise BenchError(f"the extracted tree differs from the corpus "
                                 f"(missing {missing}, unexpected {extra})")
            if len(tree_manifest(unzip_dest, False)) != files:
                raise BenchError("unzip did not give every file back")
            for dest in (new_dest, existing_dest) if pack else ():
                if tree_manifest(dest, True) != want:
                    raise BenchError(f"velmora-pack extract into {dest} differs from the corpus")
            continue
        extract_ours.append(figures["ours"])
        extract_unzip.append(figures["peer"])
        if pack:
            pack_new.append(figures["new"])
            pack_existing.append(figures["existing"])

    # The floor: the same archive read and every chunk decoded in-process,
    # nothing written.
    note(f"decoding in memory, 1 + {runs_text(runs)}")
    floor = []
    for i in range(runs + 1):
        figures = engine.call("floor", payload)
        if figures["decoded_bytes"] != corpus_bytes or figures["files"] != files:
            raise BenchError("the floor run did not decode the whole corpus")
        if i > 0:
            floor.append((figures["seconds"], figures["cpu_seconds"]))

    # The marker scan: an installer made of a 50 MB stub without the marker and
    # a small archive. The scan's cost is the installer's extraction less the
    # small archive's own; cat's is a run reading the stub CAT_REPEAT times,
    # less a run reading an empty file (so that process start-up counts on
    # neither side), divided by CAT_REPEAT.
    note(f"marker scan, 1 + {SCAN_RUNS} runs")
    stub = os.path.join(work, "stub.bin")
    make_stub(stub)
    small_payload = os.path.join(work, "small.payload")
    installer = os.path.join(work, "installer.bin")
    empty = os.path.join(work, "empty.bin")
    remove(small_payload)
    engine.call("build", small_kit, small_payload)
    with open(installer, "wb") as out:
        for part in (stub, small_payload):
            with open(part, "rb") as f:
                shutil.copyfileobj(f, out, 1 << 20)
    open(empty, "wb").close()
    with_stub, without_stub, scan_only, cat_stub, cat_empty = [], [], [], [], []
    sync()
    for i in range(SCAN_RUNS + 1):
        installer_dest = fresh_output("scan")
        a = engine.seconds("extract", installer, installer_dest)
        if i == 0 and tree_manifest(installer_dest, True) != tree_manifest(small_kit, True):
            raise BenchError("the installer did not give the small kit back")
        b = engine.seconds("extract", small_payload, fresh_output("small"))
        c = engine.call("scan", stub)
        if c["found"] != 0:
            raise BenchError("the marker scan found a marker in the stub")
        d = wall(["cat"] + [stub] * CAT_REPEAT)
        e = wall(["cat", empty])
        if i > 0:
            with_stub.append(a)
            without_stub.append(b)
            scan_only.append(c["seconds"])
            cat_stub.append(d)
            cat_empty.append(e)
    scan_ours = median(with_stub) - median(without_stub)
    scan_cat = (median(cat_stub) - median(cat_empty)) / CAT_REPEAT

    # The small-file trees: building and extraction of each against zip and
    # unzip. Runs alternate as for the corpus; there is no warming run (the
    # trees are read into the page cache first and the archives were just
    # written), and no further run after one that took over SLOW_RUN_SECONDS.
    def measure_tree(label, tree):
        tree = os.path.abspath(tree)
        parent, name = os.path.split(tree)
        count, _ = read_all(tree)
        tree_payload = os.path.join(work, f"{name}.payload")
        tree_zip = os.path.join(work, f"{name}.zip")
        result = {"files": count, "build_ours": [], "build_zip": [], "extract_ours": [],
                  "extract_unzip": []}
        note(f"{label}: building, up to {runs_text(small_runs)} each")
        for _ in range(small_runs):
            remove(tree_payload)
            sync()
            o = engine.timed("build", tree, tree_payload)
            remove(tree_zip)
            sync()
            z = timed(["zip", "-r", "-6", "-q", tree_zip, name], cwd=parent)
            result["build_ours"].append(o)
            result["build_zip"].append(z)
            if max(o[0], z[0]) > SLOW_RUN_SECONDS:
                break
        note(f"{label}: extracting, up to {runs_text(small_runs)} each")
        for i in range(small_runs):
            ours_dest = fresh_output(f"{name}-engine")
            unzip_dest = fresh_output(f"{name}-unzip")
            o, u = extract_both(engine, tree_payload, ours_dest, tree_zip, unzip_dest, i)
            if i == 0:
                if tree_manifest(ours_dest, True) != tree_manifest(tree, True):
                    raise BenchError(f"the extracted {label} tree differs from the original")
                if len(tree_manifest(unzip_dest, False)) != count:
                    raise BenchError(f"unzip did not give every file of {label} back")
            result["extract_ours"].append(o)
            result["extract_unzip"].append(u)
            if max(o[0], u[0]) > SLOW_RUN_SECONDS:
                break
        remove(tree_payload)
        remove(tree_zip)
        return result

    trees = {}
    for key, label, tree in (("flat-20000", "flat 20,000", args.flat_20000),
                             ("flat-5000", "flat 5,000", args.flat_5000),
                             ("spread-20000", "20,000 in 200 dirs", args.spread_20000)):
        if tree:
            trees[key] = (label, measure_tree(label, tree))

    # System calls: separate runs under strace (which slows every call, so
    # these are not timed), divided by the corpus's file count.
    calls = None
    if shutil.which("strace"):
        note("system calls, under strace")
        trace_payload = os.path.join(work, "strace.payload")
        trace_zip = os.path.join(work, "strace.zip")
        remove(trace_payload)
        remove(trace_zip)
        calls = {
            "build engine": strace_calls([engine.path, "build", corpus, trace_payload], work),
            "build zip": strace_calls(["zip", "-r", "-6", "-q", trace_zip, corpus_name], work,
                                      cwd=corpus_parent),
            "extract engine": strace_calls(
                [engine.path, "extract", payload, fresh_output("strace-engine")], work),
            "extract unzip": strace_calls(
                ["unzip", "-q", zip_file, "-d", fresh_output("strace-unzip")], work),
            "cp -r": strace_calls(["cp", "-r", corpus, fresh_output("strace-cp")], work),
        }
        remove(trace_payload)
        remove(trace_zip)

    # Memory: the peak resident set of an extraction of the whole corpus, of
    # building it (from the timed runs above), and of building the flat
    # 20,000-file tree with one job, each less that of the same program doing
    # nothing.
    note("memory")
    sync()
    extract_rss, _ = peak_rss_kb([engine.path, "extract", payload, fresh_output("engine")], work)
    noop_rss = median([peak_rss_kb([engine.path, "noop"], work)[0] for _ in range(3)])
    flat_build_rss = None
    if jobs and args.flat_20000:
        flat_payload = os.path.join(work, "flat-memory.payload")
        remove(flat_payload)
        flat_build_rss = engine.call_rss("build", "--jobs", "1", os.path.abspath(args.flat_20000),
                                         flat_payload)["peak_kb"]
        remove(flat_payload)
    pack_memory = None
    pack_note = "velmora-pack not built"
    if args.velmora_pack:
        pack_dest = fresh_output("velmora-pack")
        sync()
        rss, code = peak_rss_kb([args.velmora_pack, "extract", "--quiet", payload, pack_dest],
                                work, accept_failure=True)
        unpacked = len(tree_manifest(pack_dest, True)) if os.path.isdir(pack_dest) else 0
        if code == 0 and unpacked == files:
            base = median([peak_rss_kb([args.velmora_pack, "--help"], work, True)[0]
                           for _ in range(3)])
            pack_memory = (rss, base)
            pack_note = None
        else:
            pack_note = (f"velmora-pack extract gave exit {code} and {unpacked} of {files} "
                         f"files: not measured")

    note("removing the extracted trees")
    remove(outputs)
    load_end = os.getloadavg()

    # The report. Timed pairs are (wall-clock, processor) seconds.
    def wall_median(pairs):
        return median(p[0] for p in pairs)

    def cpu_median(pairs):
        return median(p[1] for p in pairs)

    def target_text(target):
        return "" if target is None else f"<= {target:g}x"

    def ratio_row(what, ours, peer, peer_name, target, cpu_ratio=None):
        r = ours / peer if peer > 0 else float("inf")
        verdict = "" if target is None else ("met" if r <= target else "MISSED")
        rows.append((what, fmt_seconds(ours), f"{fmt_seconds(peer)} {peer_name}", f"{r:.2f}x",
                     target_text(target), verdict,
                     "" if cpu_ratio is None else f"{cpu_ratio:.2f}x"))

    def missing_row(what, peer, peer_name, target):
        rows.append((what, "n/a", f"{fmt_seconds(peer)} {peer_name}", "n/a", target_text(target),
                     "n/a", "n/a"))

    ratio_row("building (PU), all cores", wall_median(build_ours), wall_median(build_zip),
              "zip -r -6", TARGET_BUILD_ALL_CORES, cpu_median(build_ours) / cpu_median(build_zip))
    # One job against zip's processor time: what a single core of ours does
    # against zip's single core, whatever else the machine is doing.
    if build_one:
        ratio_row("building (PU), 1 job", wall_median(build_one), cpu_median(build_zip),
                  "zip cpu", TARGET_BUILD_ONE_JOB, cpu_median(build_one) / cpu_median(build_zip))
    else:
        missing_row("building (PU), 1 job", cpu_median(build_zip), "zip cpu",
                    TARGET_BUILD_ONE_JOB)
    ratio_row("extraction (PI)", wall_median(extract_ours), wall_median(extract_unzip), "unzip",
              TARGET_EXTRACT, cpu_median(extract_ours) / cpu_median(extract_unzip))
    for label, values in (("new dir", pack_new), ("existing dir", pack_existing)):
        if values:
            ratio_row(f"velmora-pack extract, {label}", wall_median(values),
                      wall_median(extract_ours), "PI", None,
                      cpu_median(values) / cpu_median(extract_ours))
            ratio_row(f"velmora-pack extract, {label}", wall_median(values),
                      wall_median(extract_unzip), "unzip", None,
                      cpu_median(values) / cpu_median(extract_unzip))
    ratio_row("extraction vs in-memory decode", wall_median(extract_ours), wall_median(floor),
              "floor", None, cpu_median(extract_ours) / cpu_median(floor))
    ratio_row("marker scan, 50 MB stub", scan_ours, scan_cat, "cat", TARGET_SCAN)
    ratio_row("  scan alone (scan mode)", median(scan_only), scan_cat, "cat", None)

    for key, (label, t) in trees.items():
        flat_large = key == "flat-20000"
        ratio_row(f"{label}: building", wall_median(t["build_ours"]),
                  wall_median(t["build_zip"]), "zip -r -6",
                  TARGET_FLAT_BUILD if flat_large else None,
                  cpu_median(t["build_ours"]) / cpu_median(t["build_zip"]))
        ratio_row(f"{label}: extraction", wall_median(t["extract_ours"]),
                  wall_median(t["extract_unzip"]), "unzip",
                  TARGET_FLAT_EXTRACT if flat_large else None,
                  cpu_median(t["extract_ours"]) / cpu_median(t["extract_unzip"]))
    # Time per file with 20,000 files in one directory over that with 5,000:
    # 1.0 when the cost per file does not depend on how many share the
    # directory.
    if "flat-20000" in trees and "flat-5000" in trees:
        large, small = trees["flat-20000"][1], trees["flat-5000"][1]
        for what, key in (("building", "build_ours"), ("extraction", "extract_ours")):
            ratio_row(f"per file, {what}: flat 20,000", wall_median(large[key]) / large["files"],
                      wall_median(small[key]) / small["files"], "at 5,000",
                      TARGET_PER_FILE_GROWTH,
                      (cpu_median(large[key]) / large["files"]) /
                      (cpu_median(small[key]) / small["files"]))

    # Memory: name, peak, baseline, limit; a peak of None is n/a.
    memory_rows = [
        ("engine_bench extract, corpus", extract_rss, noop_rss, MEMORY_LIMIT_KB),
        ("engine_bench build, corpus, all cores", max(build_peaks), noop_rss,
         BUILD_MEMORY_LIMIT_KB),
    ]
    if args.flat_20000:
        memory_rows.append(("engine_bench build, flat 20,000, 1 job", flat_build_rss, noop_rss,
                            FLAT_BUILD_MEMORY_LIMIT_KB))
    if pack_memory:
        memory_rows.append(("velmora-pack extract, corpus", *pack_memory, MEMORY_LIMIT_KB))

    print()
    print(f"Load average at the start: {load[0]:.2f} {load[1]:.2f} {load[2]:.2f}, at the end: "
          f"{load_end[0]:.2f} {load_end[1]:.2f} {load_end[2]:.2f} ({os.cpu_count()} cores); "
          f"extracted trees on {outputs}.")
    print(f"Corpus: {files} files, {corpus_bytes / 1e6:.1f} MB; payload archive "
          f"{payload_bytes / 1e6:.1f} MB, zip -6 {zip_bytes / 1e6:.1f} MB. Median of {runs} "
          f"runs ({build_runs} for building, {SCAN_RUNS} for the scan, up to {small_runs} for "
          f"the small-file trees).")
    print("engine_bench build " + ("takes --jobs N; all cores is its default." if jobs else
                                   "takes no --jobs: one-job figures are n/a."))
    print()
    header = ("measure", "ours", "peer", "ratio", "target", "", "cpu ratio")
    table = [header] + rows
    widths = [max(len(r[i]) for r in table) for i in range(len(header))]
    for r in table:
        print("  ".join(cell.ljust(widths[i]) for i, cell in enumerate(r)).rstrip())
    print()
    for name, rss, base, limit in memory_rows:
        if rss is None:
            print(f"memory, {name}: n/a (no --jobs) (target < {limit} KB above baseline): n/a")
            continue
        above = rss - base
        verdict = "met" if above < limit else "MISSED"
        print(f"memory, {name}: peak {rss} KB, baseline {base} KB, above baseline {above} KB "
              f"(target < {limit} KB): {verdict}")
    if pack_note:
        print(f"memory, velmora-pack: {pack_note}")
    print()
    if calls is None:
        print("system calls per file: n/a (strace not installed)")
    else:
        def per_file(name):
            return f"{calls[name] / files:.1f}"

        def verdict(name, target):
            return "met" if calls[name] / files <= target else "MISSED"

        print(f"system calls per file (strace -c -f, {files} files):")
        print(f"  building    engine {per_file('build engine'):>7}  zip   {per_file('build zip'):>7}"
              f"                  target <= {TARGET_CALLS_BUILD}: "
              f"{verdict('build engine', TARGET_CALLS_BUILD)}")
        print(f"  extraction  engine {per_file('extract engine'):>7}  unzip "
              f"{per_file('extract unzip'):>7}  cp -r {per_file('cp -r'):>7}  "
              f"target <= {TARGET_CALLS_EXTRACT}: {verdict('extract engine', TARGET_CALLS_EXTRACT)}")
        print("  totals: " + ", ".join(f"{name} {count}" for name, count in calls.items()))
    print()
    print("runs, wall-clock seconds (processor seconds):")

    def pairs(values):
        return " ".join(f"{w:.3f} ({c:.3f})" for w, c in values) if values else "n/a"

    print(f"  build engine  {pairs(build_ours)}")
    print(f"  build 1 job   {pairs(build_one)}")
    print(f"  build zip     {pairs(build_zip)}")
    print(f"  extract eng.  {pairs(extract_ours)}")
    print(f"  extract unzip {pairs(extract_unzip)}")
    print(f"  pack, new     {pairs(pack_new)}")
    print(f"  pack, exist.  {pairs(pack_existing)}")
    print(f"  floor         {pairs(floor)}")
    print(f"  installer     {' '.join(f'{x:.4f}' for x in with_stub)}")
    print(f"  small archive {' '.join(f'{x:.4f}' for x in without_stub)}")
    print(f"  cat stub x{CAT_REPEAT}   {' '.join(f'{x:.4f}' for x in cat_stub)}")
    print(f"  cat empty     {' '.join(f'{x:.4f}' for x in cat_empty)}")
    for key, (label, t) in trees.items():
        print(f"  {label}:")
        print(f"    build engine  {pairs(t['build_ours'])}")
        print(f"    build zip     {pairs(t['build_zip'])}")
        print(f"    extract eng.  {pairs(t['extract_ours'])}")
        print(f"    extract unzip {pairs(t['extract_unzip'])}")


if __name__ == "__main__":
    try:
        main()
    except BenchError as e:
        print(f"measure: {e}", file=sys.stderr)
        sys.exit(1)
