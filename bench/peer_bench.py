#!/usr/bin/env python3
"""Patch size, make time and memory, apply time and memory of `ztx` beside
bsdiff, xdelta3 and zstd, on successive releases of real programs and of one
text-heavy package taken from the npm registry with `npm pack`. Every apply is
checked with cmp (a folder tree with diff -r). Applies are timed as the median
of five, each on a fresh copy after `sync`. Not part of the tests.

Usage: bench/peer_bench.py [WORK_FOLDER]   (downloads are kept in WORK/cache)

The peers patch single files; for the folder tree they patch a tar of it.
ztx's patch size is the patch data, without the applier in front of it.
"""
import math, os, shutil, subprocess, sys, tarfile, time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
ZTX = os.path.join(ROOT, "build/native/ztx")
APPLY_RUNS = 5  # applies take tens of milliseconds: the median of a few
APPLIER = os.path.join(ROOT, "build/win64/ztxapply.exe")

# (name, npm package, old version, new version, file inside the package or None for the whole tree)
PAIRS = [
    ("esbuild.exe", "@esbuild/win32-x64", "0.24.0", "0.24.1", "esbuild.exe"),
    ("lightningcss.node", "lightningcss-win32-x64-msvc", "1.32.0", "1.33.0", "lightningcss.win32-x64-msvc.node"),
    ("rollup.node", "@rollup/rollup-win32-x64-msvc", "4.24.0", "4.24.2", "rollup.win32-x64-msvc.node"),
    # A minor release of a JavaScript package: hundreds of files, many of them edited.
    ("prettier tree", "prettier", "3.3.3", "3.4.0", None),
]


def run(cmd, **kw):
    subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL, **kw)


def timed(cmd):
    """Runs cmd; returns (seconds, peak RSS in KiB). The time is taken here, at
    a finer grain than /usr/bin/time gives; the memory comes from /usr/bin/time,
    whose small process forks the command (a child forked from Python would count
    Python's pages as its own)."""
    start = time.perf_counter()
    r = subprocess.run(["/usr/bin/time", "-f", "%M"] + cmd, stdout=subprocess.DEVNULL,
                       stderr=subprocess.PIPE, text=True)
    seconds = time.perf_counter() - start
    if r.returncode != 0:
        sys.exit(f"failed: {' '.join(cmd)}\n{r.stderr}")
    return seconds, int(r.stderr.strip().splitlines()[-1])


def median_of(runs, prepare, cmd):
    """The run of median time among `runs` runs of cmd, each after prepare()."""
    results = []
    for _ in range(runs):
        prepare()
        results.append(timed(cmd))
    return sorted(results)[len(results) // 2]


def fetch(cache, package, version):
    """The unpacked package folder, from `npm pack` once."""
    folder = os.path.join(cache, f"{package.replace('/', '_')}@{version}")
    if not os.path.isdir(folder):
        out = subprocess.run(["npm", "pack", f"{package}@{version}", "--silent"], cwd=cache, check=True,
                             stdout=subprocess.PIPE, text=True).stdout.strip().splitlines()[-1]
        with tarfile.open(os.path.join(cache, out)) as t:
            t.extractall(folder + ".tmp")
        os.rename(folder + ".tmp", folder)
    return os.path.join(folder, "package")


def same(a, b):
    if os.path.isdir(a):
        return subprocess.run(["diff", "-r", "--exclude=BACKUP", a, b], stdout=subprocess.DEVNULL).returncode == 0
    return subprocess.run(["cmp", "-s", a, b]).returncode == 0


def tar_of(folder, path):
    run(["tar", "--sort=name", "--mtime=@0", "--owner=0", "--group=0", "-cf", path, "-C", folder, "."])
    return path


def bench_ztx(work, old_tree, new_tree):
    patch = os.path.join(work, "ztx.exe")
    make = timed([ZTX, "make", "--old", old_tree, "--new", new_tree, "--applier", APPLIER, "-o", patch])
    size = os.path.getsize(patch) - os.path.getsize(APPLIER)
    target = os.path.join(work, "ztx-target")

    def fresh_target():
        shutil.rmtree(target, ignore_errors=True)
        shutil.copytree(old_tree, target)
        subprocess.run(["sync"])

    apply = median_of(APPLY_RUNS, fresh_target, [ZTX, "apply", patch, "--target", target])
    ok = same(target, new_tree)
    shutil.rmtree(target)
    return size, make, apply, ok


def bench_peer(work, tool, old, new):
    patch, out = os.path.join(work, tool + ".patch"), os.path.join(work, tool + ".out")

    def settle():
        if os.path.exists(out):
            os.remove(out)
        subprocess.run(["sync"])

    if tool == "bsdiff":
        make = timed(["bsdiff", old, new, patch])
        apply = median_of(APPLY_RUNS, settle, ["bspatch", old, out, patch])
    elif tool == "xdelta3":
        make = timed(["xdelta3", "-9", "-S", "djw", "-f", "-e", "-s", old, new, patch])
        apply = median_of(APPLY_RUNS, settle, ["xdelta3", "-f", "-d", "-s", old, patch, out])
    else:
        make = timed(["zstd", "-q", "-f", "--ultra", "-22", "--long=31", f"--patch-from={old}", new, "-o", patch])
        apply = median_of(APPLY_RUNS, settle,
                          ["zstd", "-q", "-f", "-d", "--long=31", f"--patch-from={old}", patch, "-o", out])
    ok = same(out, new)
    size = os.path.getsize(patch)
    os.remove(out)
    return size, make, apply, ok


def main():
    work = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build/peer-bench")
    cache = os.path.join(work, "cache")
    os.makedirs(cache, exist_ok=True)
    subprocess.run([os.path.join(ROOT, "scripts/build.sh"), "native", "win64"], check=True, stdout=subprocess.DEVNULL)
    if not all(shutil.which(t) for t in ("bsdiff", "bspatch", "xdelta3", "zstd")):
        run(["apt-get", "install", "-y", "bsdiff", "xdelta3", "zstd"])

    tools = ["ztx", "bsdiff", "xdelta3", "zstd"]
    rows, ratios = [], {"size": [], "make": [], "apply": []}
    ztx_apply_memory = []
    for name, package, v_old, v_new, inner in PAIRS:
        old_pkg, new_pkg = fetch(cache, package, v_old), fetch(cache, package, v_new)
        pair = os.path.join(work, "pair")
        shutil.rmtree(pair, ignore_errors=True)
        os.makedirs(pair)
        if inner:
            old_tree, new_tree = os.path.join(pair, "old"), os.path.join(pair, "new")
            for tree, pkg in ((old_tree, old_pkg), (new_tree, new_pkg)):
                os.makedirs(tree)
                shutil.copy(os.path.join(pkg, inner), tree)
            old_file, new_file = os.path.join(old_tree, inner), os.path.join(new_tree, inner)
        else:
            old_tree, new_tree = old_pkg, new_pkg
            old_file = tar_of(old_pkg, os.path.join(pair, "old.tar"))
            new_file = tar_of(new_pkg, os.path.join(pair, "new.tar"))
        results = {"ztx": bench_ztx(pair, old_tree, new_tree)}
        for tool in tools[1:]:
            results[tool] = bench_peer(pair, tool, old_file, new_file)
        for tool in tools:
            size, (mt, mm), (at, am), ok = results[tool]
            rows.append((name, os.path.getsize(new_file), tool, size, mt, mm, at, am, ok))
        z, b = results["ztx"], results["bsdiff"]
        ratios["size"].append(z[0] / b[0])
        ratios["make"].append(z[1][0] / b[1][0])
        ratios["apply"].append(z[2][0] / b[2][0])
        ztx_apply_memory.append(z[2][1])

    print(f"{'pair':<18} {'new bytes':>10} {'tool':<8} {'patch':>9} {'make s':>7} {'make MiB':>8} "
          f"{'apply s':>7} {'apply MiB':>9}  cmp")
    for name, new_size, tool, size, mt, mm, at, am, ok in rows:
        print(f"{name:<18} {new_size:>10} {tool:<8} {size:>9} {mt:>7.2f} {mm / 1024:>8.1f} "
              f"{at:>7.3f} {am / 1024:>9.1f}  {'same' if ok else 'DIFFERENT'}")
    geo = {k: math.exp(sum(map(math.log, v)) / len(v)) for k, v in ratios.items()}
    print(f"\nztx against bsdiff, geometric means over {len(PAIRS)} pairs: patch size {geo['size']:.3f}x, "
          f"make time {geo['make']:.3f}x, apply time {geo['apply']:.3f}x")
    print(f"ztx apply peak memory: {max(ztx_apply_memory) / 1024:.1f} MiB at most")
    if not all(r[-1] for r in rows):
        sys.exit("an apply did not rebuild the new version")


if __name__ == "__main__":
    main()
