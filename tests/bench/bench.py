#!/usr/bin/env python3
"""`make bench`: the installer's copy path and quillpack measured side by side
in one run, on payloads made at run time in a fresh folder on tmpfs.

1. Many small files (2,000, 20,000 and 100,000 of 1-16 KiB): copy_bench
   install (the settings pass and the copy pass of a quillpack-built
   installer) against `tar -xzf` of the same tree and against a bare zlib
   loop over the installer's entries; time per file at each size.
2. Large entries: extractEntry against the bare loop, and the peak memory of
   one extraction of a small and of a large entry.
3. The 20,000-file installer under Wine through its dialogs, against the
   native harness on the same installer.
4. quillpack build of the 20,000-file tree on one thread and on all cores,
   against `tar -czf` and `tar -I pigz -cf`; member sizes against gzip -9.
5. The stub's size.

Rounds are interleaved; tables give medians with the min and max of the
per-round ratios, and the budgets beside them: nothing here asserts a time.
Environment: BENCH_ROUNDS (default 5), BENCH_SIZES (file counts, default
2000,20000,100000), BENCH_DIR (parent folder, default /dev/shm).
"""

import os
import random
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.normpath(os.path.join(HERE, "..", ".."))
sys.path.insert(0, os.path.join(REPO, "tools"))
import tryout     # noqa: E402  (the shared Wine module and the built programs' places)
import wineplay   # noqa: E402

RELEASE = os.path.join(REPO, "build", "release")
HARNESS = os.path.join(RELEASE, "tests", "bench", "copy_bench")
QUILLPACK = os.path.join(RELEASE, "tools", "quillpack", "quillpack")
STUB = tryout.QUILLFEN_EXE
STUB_BUDGET = 101376
ROUNDS = int(os.environ.get("BENCH_ROUNDS", "5"))
SIZES = [int(n) for n in os.environ.get("BENCH_SIZES", "2000,20000,100000").split(",")]
WINE_FILES = 20000
MiB = 1 << 20


def say(text):
    print(text, flush=True)


def heading(text):   # with the load average: other work on the machine shows in the figures
    say("\n%s [load average %s]" % (text, " ".join("%.2f" % x for x in os.getloadavg())))


def progress(text):
    print("bench: " + text, file=sys.stderr, flush=True)


def run(argv, **kwargs):
    """Runs a program to its end; (seconds, what it printed). Raises when it
    fails."""
    start = time.perf_counter()
    done = subprocess.run(argv, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, **kwargs)
    seconds = time.perf_counter() - start
    if done.returncode != 0:
        raise SystemExit("bench: %s failed with status %d" % (" ".join(argv), done.returncode))
    return seconds, done.stdout


def spread(a, b):
    """Median of a over median of b, and the min and max of the per-round
    ratios."""
    ratios = [x / y for x, y in zip(a, b)]
    return statistics.median(a) / statistics.median(b), min(ratios), max(ratios)


# ---- Payloads -------------------------------------------------------------

class Pool:
    """Text of words with a skewed choice from a vocabulary, texture-like
    bytes (a colour pair from a palette, then low-entropy index bits), random
    bytes; files are slices of them."""

    def __init__(self, seed=7):
        r = random.Random(seed)
        words = ["".join(chr(97 + r.randrange(26)) for _ in range(2 + r.randrange(9))) for _ in range(4000)]
        self.text = " ".join(words[r.randrange(4000) * r.randrange(4000) // 4000] for _ in range(800000)).encode()
        palette = [r.randbytes(4) for _ in range(512)]
        indices = r.randbytes(4 * MiB).translate(bytes(range(64)) * 4)
        self.texture = b"".join(palette[r.randrange(512) // (1 + r.randrange(4))] + indices[i:i + 12]
                                for i in range(0, 4 * MiB - 12, 16))
        self.random = r

    def slice(self, kind, length):
        if kind == "random":
            return self.random.randbytes(length)
        data = self.text if kind == "text" else self.texture
        parts = []
        for left in range(length, 0, -65536):          # 64 KiB pieces from anywhere in the pool
            n = min(left, 65536)
            at = self.random.randrange(len(data) - n)
            parts.append(data[at:at + n])
        return b"".join(parts)


def write_addon(folder, files):
    """An add-on folder: files [(name with at most one '\\', bytes)], its
    DIR and COPY lines, an agreement. The proposed destination is C:\\BenchPack."""
    lines = ["DIR=C:\\BenchPack\\"]
    for name, data in files:
        if "\\" in name and not os.path.isdir(os.path.join(folder, name.split("\\")[0])):
            os.makedirs(os.path.join(folder, name.split("\\")[0]))
            lines.append("DIR '%s'" % name.split("\\")[0])
        with open(os.path.join(folder, *name.split("\\")), "wb") as f:
            f.write(data)
        lines.append("COPY '%s' '%s' %d" % (name, name, len(data)))
    with open(os.path.join(folder, "quillfen.ini"), "w", newline="\r\n") as f:
        f.write("\n".join(lines) + "\n")
    with open(os.path.join(folder, "Umowa.txt"), "w") as f:
        f.write("Benchmark payload.\n")


def small_files(pool, count):
    """count files of 1-16 KiB, maps (text) and textures (binary) in folders
    of 250."""
    for i in range(count):
        kind, folder = ("text", "m%03d" % (i // 500)) if i % 2 else ("texture", "t%03d" % (i // 500))
        yield "%s\\f%06d.%s" % (folder, i, "map" if i % 2 else "tex"), pool.slice(kind, pool.random.randrange(1024, 16385))


def quillpack(addon, output):
    return run([QUILLPACK, "build", "--stub", STUB, addon, "-o", output])


# ---- The measurements -----------------------------------------------------

def check_tree(source, installed):
    """Raises unless installed holds every payload file of source as it is."""
    run(["diff", "-rq", "-x", "Umowa.txt", "-x", "quillfen.exe", source, installed])


def small_files_table(work, pool):
    trees, times = {}, {}
    for count in SIZES:
        addon = os.path.join(work, "tree%d" % count)
        progress("making %d files, their installer and their tar.gz" % count)
        os.makedirs(addon)
        write_addon(addon, small_files(pool, count))
        quillpack(addon, addon + ".exe")
        run(["tar", "-czf", addon + ".tar.gz", "-C", work, os.path.basename(addon)])
        trees[count] = addon
    ways = {"quillfen": lambda a, d: [HARNESS, "install", a + ".exe", d],
            "tar": lambda a, d: ["tar", "-xzf", a + ".tar.gz", "-C", d],
            "bare": lambda a, d: [HARNESS, "bare", a + ".exe", d]}
    for round_ in range(ROUNDS):
        progress("small files, round %d of %d" % (round_ + 1, ROUNDS))
        for count, addon in trees.items():
            for way in list(ways)[round_ % 3:] + list(ways)[:round_ % 3]:    # each goes first in turn
                dest = os.path.join(work, "out")
                os.makedirs(dest)
                times.setdefault((way, count), []).append(run(ways[way](addon, dest))[0])
                if round_ == 0 and way == "quillfen":
                    check_tree(addon, dest)
                shutil.rmtree(dest)
    heading("1. Many small files: install (settings pass + copy pass) against tar -xzf and a bare zlib loop")
    say("%8s %10s %10s %10s %22s %10s %11s %9s" % ("files", "quillfen s", "tar -xzf s", "bare s", "quillfen/tar (min-max)",
                                                  "/bare", "us per file", "bare us"))
    per_file = []
    for count in SIZES:
        q, t, b = (times[(w, count)] for w in ways)
        ratio, low, high = spread(q, t)
        per_file.append(statistics.median(q) / count * 1e6)
        say("%8d %10.2f %10.2f %10.2f %10.2f (%.2f-%.2f) %10.2f %11.0f %9.0f" % (
            count, statistics.median(q), statistics.median(t), statistics.median(b), ratio, low, high,
            spread(q, b)[0], per_file[-1], statistics.median(b) / count * 1e6))
    say("budget: quillfen/tar at most 0.80 at 20,000 and 100,000 files; time per file flat within 20%%: "
        "largest/smallest %.2f" % (max(per_file) / min(per_file)))
    return trees


def large_entries_table(work, pool):
    addon = os.path.join(work, "large")
    os.makedirs(addon)
    progress("making the large entries (160 MiB) and their installer")
    kinds = [("text", 64 * MiB), ("texture", 64 * MiB), ("random", 32 * MiB), ("texture", 2 * MiB)]
    files = [("big\\%s%d.dat" % (kind, i), pool.slice(kind, length)) for i, (kind, length) in enumerate(kinds)]
    write_addon(addon, files)
    quillpack(addon, addon + ".exe")
    out = os.path.join(work, "large.out")
    times = {}
    for round_ in range(ROUNDS + 4):
        progress("large entries, round %d of %d" % (round_ + 1, ROUNDS + 4))
        for name, data in files:
            for way in ("extract", "inflate"):
                argv = [HARNESS, way, addon + ".exe", name + ".gz", out] + ([str(len(data))] if way == "extract" else [])
                times.setdefault((way, name), []).append(run(argv))
                os.remove(out)
    heading("2. Large entries: extractEntry (A) against the bare zlib loop (B), 16 KiB blocks, CRC included")
    say("%-8s %9s %8s %8s %18s %8s" % ("kind", "output MB", "A ms", "B ms", "A/B (min-max)", "A MB/s"))
    total_a = total_b = 0
    for name, data in files[:3]:
        a, b = ([t for t, _ in times[(w, name)]] for w in ("extract", "inflate"))
        ratio, low, high = spread(a, b)
        total_a, total_b = total_a + statistics.median(a), total_b + statistics.median(b)
        say("%-8s %9.1f %8.0f %8.0f %8.3f (%.2f-%.2f) %8.0f" % (name[4:-5], len(data) / 1e6, statistics.median(a) * 1e3,
                                                               statistics.median(b) * 1e3, ratio, low, high,
                                                               len(data) / 1e6 / statistics.median(a)))
    say("overall A/B %.3f (budget: at most 1.050)" % (total_a / total_b))
    small, large = files[3][0], files[1][0]
    rss = {(w, n): statistics.median(int(m) for _, m in times[(w, n)]) for w in ("extract", "inflate") for n in (small, large)}
    say("peak resident memory of the whole process, median: %.0f MB entry: extractEntry %d KiB, bare loop %d KiB; "
        "%.0f MB entry: %d KiB and %d KiB" % (len(files[3][1]) / 1e6, rss[("extract", small)], rss[("inflate", small)],
                                             len(files[1][1]) / 1e6, rss[("extract", large)], rss[("inflate", large)]))


def wine_table(work, addon):
    """Installs addon's installer under Wine through its dialogs, ROUNDS
    times, on a drive D: that leads to tmpfs."""
    try:
        tryout.check_equipment()
    except wineplay.WinePlayError as failure:
        say("\n3. Wine: skipped (%s)" % failure)
        return
    progress("starting a Wine session for the installation under Wine")
    session = wineplay.WineSession(os.path.join(work, "wine-artifacts"), tryout.UIDRIVER_EXE)
    copy_times, whole_times, native_times = [], [], []
    try:
        drive = os.path.join(work, "drive-d")
        os.makedirs(drive)
        os.symlink(drive, os.path.join(session.prefix, "dosdevices", "d:"))
        shutil.copyfile(addon + ".exe", session.put_file("D:\\setup.exe", b""))
        for round_ in range(ROUNDS):
            progress("Wine installation, round %d of %d" % (round_ + 1, ROUNDS))
            start = time.perf_counter()
            program = session.start("D:\\setup.exe", debug="-all")
            if not session.wait_for(tryout.AGREEMENT):
                raise SystemExit("bench: no agreement dialog under Wine")
            session.press(tryout.AGREEMENT, wineplay.OK)
            session.wait_for(tryout.INSTALLATION, has=tryout.DESTINATION)
            session.type_text(tryout.INSTALLATION, tryout.DESTINATION, "D:\\Bench%d" % round_)
            pressed = time.perf_counter()
            session.press(tryout.INSTALLATION, wineplay.OK)
            while not session.wait_gone(tryout.INSTALLATION, has=tryout.DESTINATION, seconds=50):
                pass
            copy_times.append(time.perf_counter() - pressed)
            session.dismiss_box(tryout.INSTALLATION)
            whole_times.append(time.perf_counter() - start)
            if program.wait() != 0:
                raise SystemExit("bench: the installation under Wine failed")
            check_tree(addon, os.path.join(drive, "Bench%d" % round_))
            shutil.rmtree(os.path.join(drive, "Bench%d" % round_))
            dest = os.path.join(work, "out")
            os.makedirs(dest)
            native_times.append(run([HARNESS, "install", addon + ".exe", dest])[0])
            shutil.rmtree(dest)
    finally:
        session.close()
    ratio, low, high = spread(copy_times, native_times)
    heading("3. The %d-file installer under Wine through its dialogs, against the native harness" % WINE_FILES)
    say("OK pressed to the dialog closed: %.2f s median (%.2f-%.2f), %.0f us per file; start to the success box "
        "%.2f s (with the installer's 1 s pause)" % (statistics.median(copy_times), min(copy_times), max(copy_times),
                                                     statistics.median(copy_times) / WINE_FILES * 1e6,
                                                     statistics.median(whole_times)))
    say("native harness on the same installer: %.2f s; Wine/native %.2f (%.2f-%.2f)" % (
        statistics.median(native_times), ratio, low, high))


def gzip9_size(paths):
    """Bytes of gzip -9 -n members of the files (a .gz file unpacked first)."""
    plain = [p for p in paths if not p.endswith(".gz")]
    total = sum(len(run(["gzip", "-9", "-n", "-c"] + plain[i:i + 1000])[1]) for i in range(0, len(plain), 1000))
    for packed in set(paths) - set(plain):
        content = subprocess.run(["gzip", "-dc", packed], capture_output=True, check=True).stdout
        total += len(subprocess.run(["gzip", "-9", "-n"], input=content, capture_output=True, check=True).stdout)
    return total


def member_bytes(installer):
    return sum(e.size for e in wineplay.read_package(installer) if e.name.lower().endswith(".gz"))


def build_table(work, addon):
    parent, name = os.path.dirname(addon), os.path.basename(addon)
    ways = {"quillpack 1 thread": lambda o: [QUILLPACK, "build", "--stub", STUB, "--threads", "1", addon, "-o", o],
            "quillpack all cores": lambda o: [QUILLPACK, "build", "--stub", STUB, addon, "-o", o],
            "tar -czf": lambda o: ["tar", "-czf", o, "-C", parent, name],
            "tar -I pigz -cf": lambda o: ["tar", "-I", "pigz", "-cf", o, "-C", parent, name]}
    if not shutil.which("pigz"):
        del ways["tar -I pigz -cf"]
    times, sizes = {}, {}
    for round_ in range(ROUNDS):
        progress("quillpack build and tar, round %d of %d" % (round_ + 1, ROUNDS))
        for way, argv in ways.items():
            output = os.path.join(work, way.replace(" ", "_"))
            times.setdefault(way, []).append(run(argv(output))[0])
            sizes[way] = os.path.getsize(output)
    same = open(os.path.join(work, "quillpack_1_thread"), "rb").read() == open(
        os.path.join(work, "quillpack_all_cores"), "rb").read()
    heading("4. Building from the %d-file tree on %d cores (same bytes on 1 thread and on all: %s)" % (
        WINE_FILES, os.cpu_count(), "yes" if same else "NO"))
    say("%-20s %8s %24s %14s" % ("", "s", "/quillpack all (min-max)", "output bytes"))
    for way in ways:
        ratio, low, high = spread(times[way], times["quillpack all cores"])
        say("%-20s %8.2f %10.2f (%.2f-%.2f) %14d" % (way, statistics.median(times[way]), ratio, low, high, sizes[way]))
    if "tar -I pigz -cf" not in ways:
        say("tar -I pigz -cf: pigz not installed (apt-get install pigz)")
    say("budget: 1 thread at least 1.60 x all cores; all cores no slower than tar -I pigz (ratio above at least 1.00)")
    sample = os.path.join(REPO, "examples", "tundra-maps")
    quillpack(sample, os.path.join(work, "sample.exe"))
    sources = [os.path.join(folder, f) for folder, _d, files in os.walk(sample) for f in files
               if f not in ("quillfen.ini", "Umowa.txt")]
    say("gzip members: sample add-on %d bytes against gzip -9 %d; %d-file tree %d against gzip -9 %d" % (
        member_bytes(os.path.join(work, "sample.exe")), gzip9_size(sources), WINE_FILES,
        member_bytes(os.path.join(work, "quillpack_all_cores")),
        gzip9_size([os.path.join(f, n) for f, _d, files in os.walk(addon) for n in files
                    if n not in ("quillfen.ini", "Umowa.txt")])))


def main():
    for program in (HARNESS, QUILLPACK, STUB):
        if not os.path.isfile(program):
            raise SystemExit("bench: %s is not built (make bench builds it)" % program)
    with open("/proc/cpuinfo") as f:
        cpu = next((line.split(":", 1)[1].strip() for line in f if line.startswith("model name")), "?")
    say("make bench: %s, %d cores; load average %s; %d rounds" % (cpu, os.cpu_count(),
                                                                 " ".join("%.2f" % x for x in os.getloadavg()), ROUNDS))
    work = tempfile.mkdtemp(prefix="quillfen-bench-", dir=os.environ.get("BENCH_DIR", "/dev/shm"))
    started = time.perf_counter()
    try:
        pool = Pool()
        trees = small_files_table(work, pool)
        large_entries_table(work, pool)
        if WINE_FILES in trees:
            wine_table(work, trees[WINE_FILES])
            build_table(work, trees[WINE_FILES])
        stub = os.path.getsize(STUB)
        say("\n5. Stub %s: %d bytes (budget: at most %d)" % (os.path.relpath(STUB, REPO), stub, STUB_BUDGET))
        say("\nload average at the end %s; whole run %.0f s" % (" ".join("%.2f" % x for x in os.getloadavg()),
                                                              time.perf_counter() - started))
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
