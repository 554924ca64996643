#!/usr/bin/env bash
# Measures the running service during a wait between cycles: voluntary context
# switches of all its threads, resident memory, and the time from SIGTERM to
# process exit. Usage: bench/service_bench.sh [path/to/ZelvoSvc] (default build/ZelvoSvc).
set -euo pipefail
exe=${1:-"$(dirname "$0")/../build/ZelvoSvc"}
[ -x "$exe" ] || { echo "no executable at $exe (build first)" >&2; exit 1; }
command -v python3 >/dev/null || { echo "python3 is needed for the timing" >&2; exit 1; }

dir=$(mktemp -d /tmp/zelvo-bench-XXXXXX)
trap 'rm -rf "$dir"' EXIT
cp "$exe" "$dir/ZelvoSvc"
printf '[Source]\nInterval=3600\nStartDelay=5\nLog=1\n' > "$dir/ZelvoSvc.ini"
chmod 600 "$dir/ZelvoSvc.ini"

python3 - "$dir" <<'PY'
import glob, os, select, signal, subprocess, sys, time
d = sys.argv[1]
p = subprocess.Popen([os.path.join(d, "ZelvoSvc"), "/RUN"], cwd=d,
                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
def switches():
    total = 0
    for f in glob.glob(f"/proc/{p.pid}/task/*/status"):
        for line in open(f):
            if line.startswith("voluntary_ctxt_switches:"):
                total += int(line.split()[1])
    return total
def field(name):
    for line in open(f"/proc/{p.pid}/status"):
        if line.startswith(name + ":"):
            return line.split(":", 1)[1].strip()
log = os.path.join(d, "ZelvoSvc.log")
deadline = time.monotonic() + 10
while time.monotonic() < deadline and not (os.path.exists(log) and "started" in open(log).read()):
    time.sleep(0.05)
time.sleep(0.3)                      # let the start settle into the wait
before = switches()
time.sleep(4.0)                      # inside the 5-second start delay
after = switches()
rss, threads = field("VmRSS"), field("Threads")
fd = os.pidfd_open(p.pid)
t0 = time.perf_counter()
os.kill(p.pid, signal.SIGTERM)
select.select([fd], [], [], 5)
t1 = time.perf_counter()
p.wait(5)
print(f"threads:                               {threads}")
print(f"voluntary context switches in 4.0 s:   {after - before}")
print(f"resident memory (VmRSS):               {rss}")
print(f"SIGTERM to process exit:               {(t1 - t0) * 1000:.2f} ms")
print(f"exit code:                             {p.returncode}")
PY
