#!/usr/bin/env python3
"""Start-up of corvex on each desktop: the time from starting the program
to the first HTTP request it answers on its port, headless and windowed
(Qt's offscreen platform), a few runs each, the median printed.

    bench/desktop_start/measure.py BUILD_BIN_DIR [RUNS]

Questions are answered by an empty answer script (no browser is chosen),
so the windowed start draws its main window but waits for nobody. Without
a browser the start-up pauses 3 s before it serves (the launch's own
pause), on either desktop. The second figure is the desktop's own cost: a
start outside the program folder, which says so and ends at once.
"""
import os
import shutil
import socket
import statistics
import subprocess
import sys
import tempfile
import time

SOURCE = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def answered(port):
    try:
        with socket.create_connection(("127.0.0.1", port), timeout=1) as s:
            s.sendall(b"GET http://[wc]/ HTTP/1.0\r\n\r\n")
            return len(s.recv(16)) > 0
    except OSError:
        return False


def one_start(prog, env):
    port = free_port()
    env = dict(env, CORVANE_LOCALPORT=str(port))
    started = time.monotonic()
    process = subprocess.Popen(["./corvex"], cwd=prog, env=env, stdin=subprocess.DEVNULL,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        while time.monotonic() - started < 20:
            if answered(port):
                return (time.monotonic() - started) * 1000
            time.sleep(0.002)
        return float("nan")
    finally:
        process.terminate()
        try:
            process.wait(15)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()


def outside_start(prog, env):
    started = time.monotonic()
    subprocess.run([os.path.join(prog, "corvex")], cwd="/", env=env, stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return (time.monotonic() - started) * 1000


def main():
    bin_dir = os.path.abspath(sys.argv[1])
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 5
    work = tempfile.mkdtemp(prefix="corvane-start-")
    try:
        prog = os.path.join(work, "prog")
        subprocess.run([os.path.join(SOURCE, "scripts/install"), prog], check=True,
                       env=dict(os.environ, CORVANE_BIN_DIR=bin_dir), stdout=subprocess.DEVNULL)
        answers = os.path.join(work, "answers")
        open(answers, "w").close()
        base = dict(os.environ, CORVANE_REGISTRY=os.path.join(work, "registry"),
                    CORVANE_ANSWERS=answers, CORVANE_NETWORK_TEST_HOST="127.0.0.1")
        for name in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "CORVANE_DESKTOP"):
            base.pop(name, None)
        desktops = {
            "headless": dict(base, CORVANE_DESKTOP="headless"),
            "windowed (offscreen)": dict(base, QT_QPA_PLATFORM="offscreen"),
        }
        for name, env in desktops.items():
            times = [one_start(prog, env) for _ in range(runs)]
            print("%-22s to the first answer: median %6.1f ms  (runs: %s)" %
                  (name, statistics.median(times), ", ".join("%.0f" % t for t in times)))
        for name, env in desktops.items():
            times = [outside_start(prog, env) for _ in range(runs * 2)]
            print("%-22s start and end outside the folder: median %5.1f ms" %
                  (name, statistics.median(times)))
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
