#!/usr/bin/env python3
"""`make bench`: the installer's copy path and quillpack measured side by side
in one run, on payloads made at run time in a fresh folder on tmpfs.

1. Many small files (2,000, 20,000, 100,000 of 1-16 KiB): copy_bench install
   (settings and copy pass of a quillpack-built installer) against `tar -xzf`
   and a bare zlib loop over its entries; time per file at each size. Below
   20,000 files a round takes the mean of enough runs for 20,000 files.
2. Large entries: extractEntry against the bare loop, and the peak memory of
   one extraction of a small and of a large entry.
3. The 20,000-file installer under Wine through its dialogs, against the
   native harness on the same installer.
4. quillpack build of the 20,000-file tree on one thread and on all cores,
   against `tar -czf` and `tar -I pigz -cf`; member sizes against gzip -9.
5. The stub's size.

Rounds are interleaved; tables give medians, the min and max of the per-round
ratios and the budgets beside them: nothing here asserts a time. Environment:
BENCH_ROUNDS (default 5), BENCH_SIZES (file counts, default 2000,20000,100000),
BENCH_DIR (parent folder, default /dev/shm)."""

import filecmp
import os
import pathlib
import random
import shutil
import subprocess
import sys
import tempfile
import time
from collections import defaultdict
from statistics import median

REPO = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
sys.path.insert(0, os.path.join(REPO, "tools"))
import tryout     # noqa: E402  (the shared Wine module and the built programs' places)
import wineplay   # noqa: E402

RELEASE = os.path.join(REPO, "build", "release")
HARNESS = os.path.join(RELEASE, "tests", "bench", "copy_bench")
QUILLPACK = os.path.join(RELEASE, "tools", "quillpack", "quillpack")
STUB = tryout.QUILLFEN_EXE
ROUNDS = int(os.environ.get("BENCH_ROUNDS", "5"))
SIZES = [int(n) for n in os.environ.get("BENCH_SIZES", "2000,20000,100000").split(",")]
WINE_FILES = 20000
MiB = 1 << 20


def load():   # other work on the machine shows in the figures
    return " ".join("%.2f" % x for x in os.getloadavg())


def heading(text, *rows):
    """The title with the load average, then rows (the first: titles) aligned right."""
    print("\n%s [load average %s]" % (text, load()))
    for row in rows:
        print(" ".join(str(cell).rjust(max(len(str(r[i])) for r in rows)) for i, cell in enumerate(row)))


def progress(text):
    print("bench: " + text, file=sys.stderr, flush=True)


def rounds(what, count=ROUNDS):
    for round_ in range(count):
        progress("%s, round %d of %d" % (what, round_ + 1, count))
        yield round_


def run(argv, **kwargs):
    """(seconds, what it printed) of a program run to its end; raises when it fails."""
    start = time.perf_counter()
    done = subprocess.run(argv, stdout=subprocess.PIPE, **{"stdin": subprocess.DEVNULL, **kwargs})
    if done.returncode != 0:
        raise SystemExit("bench: %s failed with status %d" % (" ".join(argv), done.returncode))
    return time.perf_counter() - start, done.stdout


def ratio(a, b, digits=2):
    """Median of a over median of b, with the min and max of the per-round ratios."""
    ratios = [x / y for x, y in zip(a, b)]
    return "%.*f (%.2f-%.2f)" % (digits, median(a) / median(b), min(ratios), max(ratios))


def install_into(work, argv, source=None):
    """Seconds of argv(a fresh folder), which then holds source's payload (if given)."""
    dest = os.path.join(work, "out")
    os.makedirs(dest)
    seconds = run(argv(dest))[0]
    if source:
        check_tree(source, dest)
    shutil.rmtree(dest)
    return seconds


def check_tree(source, installed):
    """Raises unless installed holds every payload file of source as it is."""
    run(["diff", "-rq", "-x", "Umowa.txt", "-x", "quillfen.exe", source, installed])


# ---- Payloads -------------------------------------------------------------

class Pool:
    """Files as 64 KiB pieces from anywhere in text (words skewed to a vocabulary), texture-like
    bytes (a colour pair from a palette, then low-entropy index bits) or random bytes."""

    def __init__(self, seed=7):
        r = self.random = random.Random(seed)
        words = ["".join(chr(97 + r.randrange(26)) for _ in range(2 + r.randrange(9))) for _ in range(4000)]
        self.text = " ".join(words[r.randrange(4000) * r.randrange(4000) // 4000] for _ in range(800000)).encode()
        palette = [r.randbytes(4) for _ in range(512)]
        indices = r.randbytes(4 * MiB).translate(bytes(range(64)) * 4)
        self.texture = b"".join(palette[r.randrange(512) // (1 + r.randrange(4))] + indices[i:i + 12]
                                for i in range(0, 4 * MiB - 12, 16))

    def slice(self, kind, length):
        if kind == "random":
            return self.random.randbytes(length)
        data = self.text if kind == "text" else self.texture
        return b"".join(data[at:at + n] for n in (min(left, 65536) for left in range(length, 0, -65536))
                        for at in [self.random.randrange(len(data) - n)])


def write_addon(folder, files):
    """An add-on folder of files ([(name with at most one '\\', bytes)]) with its DIR and COPY
    lines (destination C:\\BenchPack) and an agreement, and its installer folder.exe."""
    lines = ["DIR=C:\\BenchPack\\"]
    os.makedirs(folder)
    for name, data in files:
        path = pathlib.Path(folder, *name.split("\\"))
        if not path.parent.is_dir():
            path.parent.mkdir()
            lines.append("DIR '%s'" % name.split("\\")[0])
        path.write_bytes(data)
        lines.append("COPY '%s' '%s' %d" % (name, name, len(data)))
    pathlib.Path(folder, "quillfen.ini").write_text("\r\n".join(lines) + "\r\n", newline="")
    pathlib.Path(folder, "Umowa.txt").write_text("Benchmark payload.\n")
    run([QUILLPACK, "build", "--stub", STUB, folder, "-o", folder + ".exe"])


def small_files(pool, count):
    """count files of 1-16 KiB, maps (text) and textures (binary) in folders of 250."""
    for i in range(count):
        kind, folder = ("text", "m%03d" % (i // 500)) if i % 2 else ("texture", "t%03d" % (i // 500))
        yield "%s\\f%06d.%s" % (folder, i, "map" if i % 2 else "tex"), pool.slice(kind, pool.random.randrange(1024, 16385))


# ---- The measurements -----------------------------------------------------

def small_files_table(work, pool):
    trees, times = {}, defaultdict(list)
    for count in SIZES:
        addon = trees[count] = os.path.join(work, "tree%d" % count)
        progress("making %d files, their installer and their tar.gz" % count)
        write_addon(addon, small_files(pool, count))
        run(["tar", "-czf", addon + ".tar.gz", "-C", work, os.path.basename(addon)])
    ways = {"quillfen": lambda a, d: [HARNESS, "install", a + ".exe", d],
            "tar": lambda a, d: ["tar", "-xzf", a + ".tar.gz", "-C", d],
            "bare": lambda a, d: [HARNESS, "bare", a + ".exe", d]}
    for round_ in rounds("small files"):
        for count, a in trees.items():
            repeats = max(1, 20000 // count)    # a short run is repeated: one of 0.1 s is mostly noise
            for way in list(ways)[round_ % 3:] + list(ways)[:round_ % 3]:    # each goes first in turn
                checked = a if round_ == 0 and way == "quillfen" else None
                times[(way, count)].append(sum(install_into(work, lambda d: ways[way](a, d), checked)
                                               for _ in range(repeats)) / repeats)
    q, t, b = ({count: times[(way, count)] for count in SIZES} for way in ways)
    per_file = [median(q[count]) / count * 1e6 for count in SIZES]
    heading("1. Many small files: install (settings pass + copy pass) against tar -xzf and a bare zlib loop",
            ("files", "quillfen s", "tar -xzf s", "bare s", "quillfen/tar (min-max)", "/bare", "us per file", "bare us"),
            *[(n, "%.2f" % median(q[n]), "%.2f" % median(t[n]), "%.2f" % median(b[n]), ratio(q[n], t[n]),
               ratio(q[n], b[n]).split()[0], "%.0f" % us, "%.0f" % (median(b[n]) / n * 1e6))
              for n, us in zip(SIZES, per_file)])
    print("budget: quillfen/tar at most 0.80 at 20,000 and 100,000 files; time per file flat within 20%%: "
          "largest/smallest %.2f" % (max(per_file) / min(per_file)))
    return trees


def large_entries_table(work, pool):
    addon = os.path.join(work, "large")
    progress("making the large entries (160 MiB) and their installer")
    kinds = [("text", 64 * MiB), ("texture", 64 * MiB), ("random", 32 * MiB), ("texture", 2 * MiB)]
    files = [("big\\%s%d.dat" % (kind, i), pool.slice(kind, length)) for i, (kind, length) in enumerate(kinds)]
    write_addon(addon, files)
    seconds, memory = defaultdict(list), defaultdict(list)
    for _round in rounds("large entries", ROUNDS + 4):
        for name, data in files:
            for way, size in (("extract", [str(len(data))]), ("inflate", [])):
                took, printed = run([HARNESS, way, addon + ".exe", name + ".gz", os.path.join(work, "large.out")] + size)
                os.remove(os.path.join(work, "large.out"))
                seconds[(way, name)].append(took)
                memory[(way, name)].append(int(printed))
    a, b = ({name: seconds[(way, name)] for name, _ in files} for way in ("extract", "inflate"))
    heading("2. Large entries: extractEntry (A) against the bare zlib loop (B), 16 KiB blocks, CRC included",
            ("kind", "output MB", "A ms", "B ms", "A/B (min-max)", "A MB/s"),
            *[(n[4:-5], "%.1f" % (len(d) / 1e6), "%.0f" % (median(a[n]) * 1e3), "%.0f" % (median(b[n]) * 1e3),
               ratio(a[n], b[n], 3), "%.0f" % (len(d) / 1e6 / median(a[n]))) for n, d in files[:3]])
    print("overall A/B %.3f (budget: at most 1.050)" % (sum(median(a[n]) for n, _ in files[:3]) /
                                                        sum(median(b[n]) for n, _ in files[:3])))
    rss = [len(files[i][1]) / 1e6 if way is None else median(memory[(way, files[i][0])])
           for i in (3, 1) for way in (None, "extract", "inflate")]
    print("peak resident memory of the whole process, median: %.0f MB entry: extractEntry %d KiB, bare loop %d KiB; "
          "%.0f MB entry: %d KiB and %d KiB" % tuple(rss))


def wine_table(work, addon):
    """Installs addon's installer under Wine through its dialogs onto a drive D: on tmpfs."""
    try:
        tryout.check_equipment()
    except wineplay.WinePlayError as failure:
        print("\n3. Wine: skipped (%s)" % failure)
        return
    progress("starting a Wine session for the installation under Wine")
    session = wineplay.WineSession(os.path.join(work, "wine-artifacts"), tryout.UIDRIVER_EXE)
    copy_times, whole_times, native_times = [], [], []
    try:
        os.symlink(work, os.path.join(session.prefix, "dosdevices", "d:"))
        shutil.copyfile(addon + ".exe", session.put_file("D:\\setup.exe", b""))
        for round_ in rounds("Wine installation"):
            start = time.perf_counter()
            program = session.start("D:\\setup.exe", debug="-all")
            session.wait_for(tryout.AGREEMENT)   # pressing OK fails when it did not come
            session.press(tryout.AGREEMENT, wineplay.OK)
            session.wait_for(tryout.INSTALLATION, has=tryout.DESTINATION)
            session.type_text(tryout.INSTALLATION, tryout.DESTINATION, "D:\\wine-out")
            pressed = time.perf_counter()
            session.press(tryout.INSTALLATION, wineplay.OK)
            while not session.wait_gone(tryout.INSTALLATION, has=tryout.DESTINATION, seconds=50):
                pass
            copy_times.append(time.perf_counter() - pressed)
            session.dismiss_box(tryout.INSTALLATION)
            whole_times.append(time.perf_counter() - start)
            if program.wait() != 0:
                raise SystemExit("bench: the installation under Wine failed")
            check_tree(addon, os.path.join(work, "wine-out"))
            shutil.rmtree(os.path.join(work, "wine-out"))
            native_times.append(install_into(work, lambda d: [HARNESS, "install", addon + ".exe", d]))
    finally:
        session.close()
    heading("3. The %d-file installer under Wine through its dialogs, against the native harness" % WINE_FILES)
    print("OK pressed to the dialog closed: %.2f s median (%.2f-%.2f), %.0f us per file; start to the success box "
          "%.2f s (with the installer's 1 s pause)" % (median(copy_times), min(copy_times), max(copy_times),
                                                       median(copy_times) / WINE_FILES * 1e6, median(whole_times)))
    print("native harness on the same installer: %.2f s; Wine/native %s" % (median(native_times),
                                                                            ratio(copy_times, native_times)))


def gzip_sizes(installer, folder):
    """Bytes of the installer's gzip members, and of gzip -9 -n of folder's payload (.gz unpacked first)."""
    members = sum(e.size for e in wineplay.read_package(installer) if e.name.lower().endswith(".gz"))
    paths = [os.path.join(f, n) for f, _d, names in os.walk(folder) for n in names
             if n not in ("quillfen.ini", "Umowa.txt")]
    plain = [p for p in paths if not p.endswith(".gz")]
    total = sum(len(run(["gzip", "-9", "-n", "-c"] + plain[i:i + 1000])[1]) for i in range(0, len(plain), 1000))
    for packed in set(paths) - set(plain):
        total += len(run(["gzip", "-9", "-n"], input=run(["gzip", "-dc", packed])[1], stdin=None)[1])
    return members, total


def build_table(work, addon):
    parent, name = os.path.dirname(addon), os.path.basename(addon)
    ways = {"quillpack 1 thread": lambda o: [QUILLPACK, "build", "--stub", STUB, "--threads", "1", addon, "-o", o],
            "quillpack all cores": lambda o: [QUILLPACK, "build", "--stub", STUB, addon, "-o", o],
            "tar -czf": lambda o: ["tar", "-czf", o, "-C", parent, name],
            "tar -I pigz -cf": lambda o: ["tar", "-I", "pigz", "-cf", o, "-C", parent, name]}
    if not shutil.which("pigz"):
        del ways["tar -I pigz -cf"]
    times, output = defaultdict(list), {way: os.path.join(work, way.replace(" ", "_")) for way in ways}
    for _round in rounds("quillpack build and tar"):
        for way, argv in ways.items():
            times[way].append(run(argv(output[way]))[0])
    same = filecmp.cmp(output["quillpack 1 thread"], output["quillpack all cores"], shallow=False)
    heading("4. Building from the %d-file tree on %d cores (same bytes on 1 thread and on all: %s)" % (
        WINE_FILES, os.cpu_count(), "yes" if same else "NO"), ("", "s", "/quillpack all (min-max)", "output bytes"),
        *[(way, "%.2f" % median(times[way]), ratio(times[way], times["quillpack all cores"]),
           os.path.getsize(output[way])) for way in ways])
    if "tar -I pigz -cf" not in ways:
        print("tar -I pigz -cf: pigz not installed (apt-get install pigz)")
    print("budget: 1 thread at least 1.60 x all cores; all cores no slower than tar -I pigz (ratio above at least 1.00)")
    sample = os.path.join(REPO, "examples", "tundra-maps")
    run([QUILLPACK, "build", "--stub", STUB, sample, "-o", os.path.join(work, "sample.exe")])
    print("gzip members: sample add-on %d bytes against gzip -9 %d; %d-file tree %d against gzip -9 %d" % (
        *gzip_sizes(os.path.join(work, "sample.exe"), sample), WINE_FILES, *gzip_sizes(output["quillpack all cores"], addon)))


def main():
    sys.stdout.reconfigure(line_buffering=True)   # the figures show as they come, between the progress lines
    for program in (HARNESS, QUILLPACK, STUB):
        if not os.path.isfile(program):
            raise SystemExit("bench: %s is not built (make bench builds it)" % program)
    with open("/proc/cpuinfo") as f:
        cpu = next((line.split(":", 1)[1].strip() for line in f if line.startswith("model name")), "?")
    print("make bench: %s, %d cores; load average %s; %d rounds" % (cpu, os.cpu_count(), load(), ROUNDS))
    work = tempfile.mkdtemp(prefix="quillfen-bench-", dir=os.environ.get("BENCH_DIR", "/dev/shm"))
    started = time.perf_counter()
    try:
        pool = Pool()
        trees = small_files_table(work, pool)
        large_entries_table(work, pool)
        if WINE_FILES in trees:
            wine_table(work, trees[WINE_FILES])
            build_table(work, trees[WINE_FILES])
        print("\n5. Stub %s: %d bytes (budget: at most 101376)" % (os.path.relpath(STUB, REPO), os.path.getsize(STUB)))
        print("\nload average at the end %s; whole run %.0f s" % (load(), time.perf_counter() - started))
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
