#!/usr/bin/python3
"""Frame budget: our game against Neverputt (Debian package `neverputt`) in the same run, on the
same Xvfb (1920x1080, llvmpipe), with the Neverputt measurement's own method and helpers.

For each game: start-up to the first frame (the first buffer swap returned, taken before the
process was started), and CPU time per frame drawn (process CPU time over swaps) in a 10-s window
of the main menu and of hole 1, each after 3 s of settling.  The runs alternate between the two
games so that a busy spell of the machine touches both.  Prints our median, Neverputt's, the
ratio and the target for each figure; exits 1 when a measured ratio misses its target.

Our game is driven through its trace (ZAVGOLF_TRACE): Escape on the presentation page, the main
menu once "trace loop" is seen; then JOUER, JOUER and the course set's JOUER, and hole 1 once
"trace hole frame 1" is seen.  Neverputt is measured exactly as its reference figures were
(measure.py's run_once), with anisotropic filtering off, as our renderer has none.
"""
import argparse
import importlib.util
import json
import os
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
TARGETS = {"startup": 1.0, "menu": 0.8, "hole1": 0.8}
VIRTUAL_W, VIRTUAL_H = 1920, 1080


def load_measure(folder):
    sys.dont_write_bytecode = True  # the measurement's folder is shared and read-only
    path = os.path.join(folder, "measure.py")
    if not os.path.exists(path):
        sys.exit(f"no {path}: give the Neverputt measurement's folder with --neverputt-bench")
    loader = importlib.util.spec_from_file_location("neverputt_measure", path)
    module = importlib.util.module_from_spec(loader)
    loader.loader.exec_module(module)
    return module


def free_display(first):
    for n in range(first, first + 50):
        if not os.path.exists(f"/tmp/.X{n}-lock") and not os.path.exists(f"/tmp/.X11-unix/X{n}"):
            return n
    sys.exit("no free X display")


class Traced:
    """Our game's standard output, each line kept with the time it arrived."""

    def __init__(self, stream):
        self.lines = []
        self.lock = threading.Lock()
        self.thread = threading.Thread(target=self._read, args=(stream,), daemon=True)
        self.thread.start()

    def _read(self, stream):
        for line in stream:
            with self.lock:
                self.lines.append((time.monotonic(), line.rstrip("\n")))

    def find(self, want):
        """Time of the first trace line equal to want (or starting with it when it ends in '*')."""
        with self.lock:
            for t, line in self.lines:
                if not line.startswith("trace "):
                    continue
                text = line[6:]
                if (want.endswith("*") and text.startswith(want[:-1])) or text == want:
                    return t
        return None

    def wait(self, want, timeout, game, give_up=()):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            t = self.find(want)
            if t is not None:
                return t
            if game.poll() is not None or any(self.find(g) is not None for g in give_up):
                return None
            time.sleep(0.05)
        return None


def xdo(env, *a):
    subprocess.run(["xdotool", *a], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def focus_and_key(env, title, key):
    out = subprocess.run(["xdotool", "search", "--name", f"^{title}$"], env=env,
                         capture_output=True, text=True).stdout.split()
    if out:
        xdo(env, "windowfocus", out[0])
    xdo(env, "key", key)


def click_virtual(env, vx, vy, width, height):
    xdo(env, "mousemove", str(vx * width // VIRTUAL_W), str(vy * height // VIRTUAL_H))
    time.sleep(0.3)
    xdo(env, "mousedown", "1")
    time.sleep(0.15)
    xdo(env, "mouseup", "1")
    time.sleep(0.15)


def run_ours(idx, args, m, tmp, shim, xpoll, xvfb, env_x, outdir):
    run = tempfile.mkdtemp(prefix="zav-", dir=tmp)
    shutil.copytree(args.run_folder, run, dirs_exist_ok=True)
    home = os.path.join(run, "home")
    os.makedirs(home)
    with open(os.path.join(run, "data", "txt", "nameofgame.ini"), errors="replace") as f:
        title = f.readline().strip()
    swaplog = os.path.join(tmp, f"zav-swaps-{idx}.txt")
    env = dict(env_x, HOME=home, SDL_AUDIODRIVER="dummy", SDL_VIDEODRIVER="x11",
               LD_PRELOAD=shim, NP_SWAPLOG=swaplog, ZAVGOLF_TRACE="1",
               ZAVGOLF_DRIVE_C=os.path.join(run, "user"),
               ZAVGOLF_SHELL="log:" + os.path.join(run, "shell.log"))
    xdo(env_x, "mousemove", str(m.PARK[0]), str(m.PARK[1]))

    s0 = m.sys_cpu()
    time.sleep(1.0)
    s1 = m.sys_cpu()
    idle_cores = (s1[0] - s0[0]) / (s1[1] - s0[1]) * os.cpu_count()

    poll = subprocess.Popen([xpoll, "60", "2", "0.5"], env=env_x, stdout=subprocess.PIPE, text=True)
    assert poll.stdout.readline().startswith("ready")
    first = {}

    def read_poll():
        for line in poll.stdout:
            p = line.split()
            if len(p) >= 2:
                first[p[0]] = float(p[1])
    poll_thread = threading.Thread(target=read_poll, daemon=True)
    poll_thread.start()

    t0 = time.monotonic()
    game = subprocess.Popen([args.game], cwd=run, env=env, stdout=subprocess.PIPE,
                            stderr=subprocess.STDOUT, text=True, errors="replace")
    trace = Traced(game.stdout)
    res = {"run": idx, "machine_busy_cores_before": round(idle_cores, 2)}
    events = res["events"] = []

    def ev(what):
        events.append((what, round(time.monotonic() - t0, 3)))

    try:
        sw = []
        for _ in range(6000):
            sw = m.read_swaps(swaplog)
            if sw or game.poll() is not None:
                break
            time.sleep(0.01)
        if not sw:
            raise RuntimeError("our game swapped no frame")
        res["startup_first_swap_s"] = round(sw[0] - t0, 3)

        if trace.wait("page 1 start", 120, game) is None:
            raise RuntimeError("no 'trace page 1 start'")
        ev("page 1 start")
        focus_and_key(env_x, title, "Escape")
        loop = trace.wait("loop", 60, game)
        if loop is None:
            raise RuntimeError("no 'trace loop' after Escape on the page")
        ev("main menu")
        xdo(env_x, "mousemove", str(m.PARK[0]), str(m.PARK[1]))

        time.sleep(max(0.0, loop + args.settle - time.monotonic()))
        with m.Window(game.pid, xvfb.pid) as w:
            time.sleep(args.window)
        menu = dict(w.result, ta=w.t0, tb=w.t1)
        m.screenshot(env_x, os.path.join(outdir, f"zav-run{idx}-menu.jpg"))

        hole = None
        if not args.no_hole:
            fade_ends = lambda s: sum(1 for _, l in trace.lines if l == f"trace fade end {s}")
            click_virtual(env_x, 960, 490, m.WIDTH, m.HEIGHT)          # main menu: JOUER
            trace.wait("fade end 1", 20, game)
            click_virtual(env_x, 960, 512, m.WIDTH, m.HEIGHT)          # play menu: JOUER
            trace.wait("fade end 2", 20, game)
            trace.wait("set hold end", 20, game)                     # the pointer is free again
            ev("course sets" if fade_ends(2) else "course sets NOT reached")
            click_virtual(env_x, 1440, 650, m.WIDTH, m.HEIGHT)         # course set: JOUER
            xdo(env_x, "mousemove", str(m.PARK[0]), str(m.PARK[1]))
            reached = trace.wait("hole frame 1", args.nav_timeout, game, give_up=("state 888 -> 0 cut",))
            ev("hole 1 reached" if reached else "hole 1 NOT reached")
            if reached is not None:
                time.sleep(max(0.0, reached + args.settle - time.monotonic()))
                with m.Window(game.pid, xvfb.pid) as w:
                    time.sleep(args.window)
                hole = dict(w.result, ta=w.t0, tb=w.t1)
                m.screenshot(env_x, os.path.join(outdir, f"zav-run{idx}-hole1.jpg"))
    finally:
        if game.poll() is None:
            game.send_signal(signal.SIGTERM)
            try:
                game.wait(timeout=15)
            except subprocess.TimeoutExpired:
                game.kill()
                game.wait()
        if poll.poll() is None:
            poll.kill()
        poll.wait()

    sw = m.read_swaps(swaplog)
    res["total_frames"] = len(sw)
    if "first_full" in first:
        res["startup_full_screen_s"] = round(first["first_full"] - t0, 3)
    for name, w in (("menu", menu), ("hole1", hole)):
        if w is None:
            continue
        w.update(m.frame_stats(sw, w["ta"], w["tb"]))
        w["window_s"] = [round(w.pop("ta") - t0, 3), round(w.pop("tb") - t0, 3)]
        m.derive(w)
        res[name] = w
    res["trace_tail"] = [l for _, l in trace.lines[-20:]]
    shutil.copy(swaplog, os.path.join(outdir, f"zav-run{idx}-swaps.txt"))
    shutil.rmtree(run, ignore_errors=True)
    return res


def median_of(runs, *path):
    vals = []
    for r in runs:
        v = r
        for k in path:
            v = v.get(k) if isinstance(v, dict) else None
        if v is not None:
            vals.append(v)
    return (statistics.median(vals), min(vals), max(vals), len(vals)) if vals else None


def report(ours, theirs):
    rows = [("start-up to the first frame", "startup", ("startup_first_swap_s",), 1000.0, "ms"),
            ("CPU per frame, main menu", "menu", ("menu", "game_cpu_ms_per_frame"), 1.0, "ms"),
            ("CPU per frame, hole 1", "hole1", ("hole1", "game_cpu_ms_per_frame"), 1.0, "ms")]
    info = [("fps, main menu", ("menu", "fps_mean")), ("fps, hole 1", ("hole1", "fps_mean")),
            ("cores busy, main menu", ("menu", "game_cores")), ("cores busy, hole 1", ("hole1", "game_cores")),
            ("start-up to a full-screen picture, s", ("startup_full_screen_s",), ("startup_visible_s",)),
            ("machine busy before a run, cores", ("machine_busy_cores_before",))]
    missed = []
    print(f"{'figure':34} {'ours':>20} {'Neverputt':>20} {'ratio':>7} {'target':>7}")
    for label, key, path, scale, unit in rows:
        a, b = median_of(ours, *path), median_of(theirs, *path)
        cell = lambda v: "n/a" if v is None else f"{v[0] * scale:.1f} {unit} ({v[1] * scale:.0f}-{v[2] * scale:.0f})"
        if a is None or b is None or b[0] <= 0:
            print(f"{label:34} {cell(a):>20} {cell(b):>20} {'n/a':>7} {TARGETS[key]:>7.1f}  not measured")
            continue
        ratio = a[0] / b[0]
        verdict = "ok" if ratio <= TARGETS[key] else "MISSED"
        if verdict != "ok":
            missed.append(label)
        print(f"{label:34} {cell(a):>20} {cell(b):>20} {ratio:>7.2f} {TARGETS[key]:>7.1f}  {verdict}")
    print("medians over the counted runs (min-max); for information:")
    for label, path, *their_path in info:
        a, b = median_of(ours, *path), median_of(theirs, *(their_path[0] if their_path else path))
        f = lambda v: "n/a" if v is None else f"{v[0]:.2f}"
        print(f"  {label:40} ours {f(a):>8}   Neverputt {f(b):>8}")
    return missed


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--game", default=os.path.join(ROOT, "build", "app", "zavgolf"))
    ap.add_argument("--run-folder", default=os.path.join(ROOT, "build", "run"),
                    help="the folder laid out as for `make play` (data/, html/); copied per run")
    ap.add_argument("--neverputt-bench", default=os.environ.get(
        "NEVERPUTT_BENCH", os.path.join(os.path.dirname(ROOT), "shared", "bench", "neverputt")))
    ap.add_argument("--runs", type=int, default=3)
    ap.add_argument("--warmup-runs", type=int, default=1)
    ap.add_argument("--window", type=float, default=10.0)
    ap.add_argument("--settle", type=float, default=3.0)
    ap.add_argument("--nav-timeout", type=float, default=60.0)
    ap.add_argument("--no-hole", action="store_true")
    ap.add_argument("--display", type=int, default=79, help="first X display number tried")
    ap.add_argument("--rc", action="append", default=None,
                    help="Neverputt settings line beyond the shared ones, repeatable (default: aniso 0)")
    ap.add_argument("--out", default=os.path.join(ROOT, "build", "bench-frame"))
    args = ap.parse_args()
    args.seed = "1"
    if args.rc is None:
        args.rc = ["aniso 0"]
    args.game, args.run_folder = os.path.abspath(args.game), os.path.abspath(args.run_folder)

    m = load_measure(args.neverputt_bench)
    if not os.access(m.GAME, os.X_OK):
        sys.exit(f"{m.GAME} is missing: tools/setup.sh --bench installs it")
    if not os.access(args.game, os.X_OK):
        sys.exit(f"{args.game} is missing: build it first (make build)")
    os.makedirs(args.out, exist_ok=True)
    tmp = tempfile.mkdtemp(prefix="bench-frame-", dir="/tmp")
    xvfb = None
    try:
        shim, xpoll = m.build(tmp)
        display = free_display(args.display)
        xvfb = m.start_xvfb(display, tmp)
        env_x = dict(os.environ, DISPLAY=f":{display}")
        for k in ("LD_PRELOAD", "NP_SEED", "NP_SWAPLOG", "ZAVGOLF_TRACE", "LIBGL_ALWAYS_SOFTWARE"):
            env_x.pop(k, None)
        ours, theirs = [], []
        for i in range(args.warmup_runs + args.runs):
            counted = i >= args.warmup_runs
            order = ("ours", "neverputt") if i % 2 == 0 else ("neverputt", "ours")
            for who in order:
                m.log(f"run {i} {who} ({'counted' if counted else 'warm-up'}) ...")
                if who == "ours":
                    r = run_ours(i, args, m, tmp, shim, xpoll, xvfb, env_x, args.out)
                else:
                    r = m.run_once(i, args, tmp, shim, xpoll, xvfb, env_x, args.out)
                m.log("  start-up %s s; menu %s ms/frame at %s fps%s" % (
                    r.get("startup_first_swap_s"), r["menu"].get("game_cpu_ms_per_frame"),
                    r["menu"].get("fps_mean"),
                    "; hole 1 %s ms/frame at %s fps" % (r["hole1"].get("game_cpu_ms_per_frame"),
                                                      r["hole1"].get("fps_mean")) if r.get("hole1") else
                    "; hole 1 not measured"))
                if counted:
                    (ours if who == "ours" else theirs).append(r)
        # A Neverputt hole-1 window counts only when its aiming state was reached.
        for r in theirs:
            if r.get("hole1") and not r["hole1"].get("pointer_at_centre"):
                del r["hole1"]
        with open(os.path.join(args.out, "results.json"), "w") as f:
            json.dump({"ours": ours, "neverputt": theirs, "args": vars(args)}, f, indent=1)
        missed = report(ours, theirs)
        m.log("raw figures and screenshots in", args.out)
        return 1 if missed else 0
    finally:
        if xvfb is not None:
            xvfb.terminate()
            try:
                xvfb.wait(timeout=10)
            except subprocess.TimeoutExpired:
                xvfb.kill()
        shutil.rmtree(tmp, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
