#!/usr/bin/env python3
"""updater -G of a large build from the local update server, against a curl | sed | base64
pipeline fetching the same reply from the same server, in the same run.

Prints the median wall time and the peak memory of each, and their ratios. Usage:
  download_bench.py BUILD_DIR [RUNS]
"""
import json
import os
import statistics
import subprocess
import sys
import tempfile
import time

SERIAL = "40F5849A"
BUILD = 4100


def timed(command, env):
    """Wall seconds and peak resident kilobytes (GNU time's figure) of one run."""
    start = time.perf_counter()
    out = subprocess.run(["/usr/bin/time", "-f", "%M", "--"] + command, env=env,
                         stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True, check=True)
    seconds = time.perf_counter() - start
    return seconds, int(out.stderr.strip().splitlines()[-1])


def main():
    build_dir = sys.argv[1]
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 5
    binaries = os.path.join(build_dir, "bin")
    env = {k: v for k, v in os.environ.items() if "proxy" not in k.lower()}
    env["no_proxy"] = "*"

    with tempfile.TemporaryDirectory() as work:
        description = os.path.join(work, "description")
        with open(description, "w") as f:
            f.write("loader 0x20000000 code:4096:1\n")
            f.write("firmware 0x08000000 code:10500000:7\n")
            f.write(f"info {BUILD} 3.0.0 00000000 Shuttle\n")
        bird = os.path.join(work, "big.bird")
        subprocess.run([os.path.join(binaries, "birdwriter"), "-o", bird, description], check=True)
        catalogue = os.path.join(work, "catalogue.json")
        with open(catalogue, "w") as f:
            json.dump({"devices": [{"serial": SERIAL, "model": "Shuttle", "firmware": "shuttle", "latest": BUILD,
                                    "token": "aa.bb.cc",
                                    "builds": [{"build": BUILD, "version": "3.0.0", "file": "big.bird"}]}]}, f)

        server = subprocess.Popen([os.path.join(binaries, "update_server"), "--catalogue", catalogue, "--quiet"],
                                  stdout=subprocess.PIPE, text=True)
        try:
            url = server.stdout.readline().strip().removeprefix("listening on ")
            bird_url = f"{url}?bld={BUILD}&fw=shuttle&no_cal=false&op=bird&sn={SERIAL}&"
            store = os.path.join(work, "store")
            fetched = os.path.join(work, "fetched.bird")
            updater = [os.path.join(binaries, "updater"), "-i", store, "-u", url, "-G", "-d", SERIAL]
            pipeline = ["bash", "-c", f"curl -s '{bird_url}' | sed 1d | base64 -d > '{fetched}'"]

            timed(updater, env)  # warm the server's encoded copy and the page cache
            timed(pipeline, env)
            u = [timed(updater, env) for _ in range(runs)]
            p = [timed(pipeline, env) for _ in range(runs)]
            stored = os.path.join(store, "updater", SERIAL, f"{BUILD}.bird")
            with open(stored, "rb") as a, open(fetched, "rb") as b, open(bird, "rb") as c:
                same = a.read() == b.read() == c.read()
            size = os.path.getsize(bird)
        finally:
            server.terminate()
            server.wait(timeout=10)

    body = (size + 2) // 3 * 4
    ut, pt = statistics.median(t for t, _ in u), statistics.median(t for t, _ in p)
    um, pm = max(m for _, m in u), max(m for _, m in p)
    print(f"BIRD file {size} bytes, base64 body {body} bytes, files identical: {same}")
    print(f"updater -G: {ut * 1000:.0f} ms, peak {um / 1024:.1f} MiB; "
          f"curl|sed|base64: {pt * 1000:.0f} ms, peak {pm / 1024:.1f} MiB")
    print(f"time ratio {ut / pt:.2f} (target <= 1.3), updater peak / base64 body {um * 1024 / body:.2f}")
    return 0 if same else 1


if __name__ == "__main__":
    sys.exit(main())
