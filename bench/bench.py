#!/usr/bin/env python3
"""The benchmark table: the tool's request timing, CPU, start-up and memory against the
programs a technician would use instead, all against the same simulated gateway, alternating
so that noise on the machine hits every side alike. Figures, never pass/fail.

Usage: bench.py BUILD_DIR [--minutes N] [--csv FILE]
       bench.py BUILD_DIR --fleet N [--minutes M]   (N bridges against one broker; M default 1)
       bench.py BUILD_DIR --bus N [--minutes M]     (N gateways on one line, one bridge; M default 2)
"""
import argparse
import csv
import json
import random
import threading
import datetime
import os
import platform
import shutil
import signal
import socket
import statistics
import subprocess
import sys
import tempfile
import time

CLK_TCK = os.sysconf("SC_CLK_TCK")
PAGE = os.sysconf("SC_PAGE_SIZE")
SPEEDS = {9600: (5, 500), 115200: (13, 300)}  # baud: (list index in the window, poll interval ms)


def cpu_seconds(pid):
    """CPU time of all the process's threads, to the nanosecond where the kernel keeps
    scheduler statistics (the tick counts in /proc/PID/stat are 10 ms apart, too coarse for a
    process that runs a fraction of a millisecond at a time)."""
    try:
        total = 0
        for task in os.listdir(f"/proc/{pid}/task"):
            with open(f"/proc/{pid}/task/{task}/schedstat") as f:
                total += int(f.read().split()[0])
        return total / 1e9
    except (OSError, ValueError, IndexError):
        with open(f"/proc/{pid}/stat") as f:
            fields = f.read().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / CLK_TCK


def switches(pid):
    """Context switches of all the process's threads, as (voluntary, pushed off): the first is
    the process going to sleep and being woken again, the second other processes taking the
    processor from it."""
    counts = [0, 0]
    try:
        for task in os.listdir(f"/proc/{pid}/task"):
            with open(f"/proc/{pid}/task/{task}/status") as f:
                for line in f:
                    if line.startswith("voluntary_ctxt_switches:"):
                        counts[0] += int(line.split()[1])
                    elif line.startswith("nonvoluntary_ctxt_switches:"):
                        counts[1] += int(line.split()[1])
    except OSError:
        pass
    return tuple(counts)


def wakeups(before, after, reads):
    """The wake-ups row's value and note from two switches() readings."""
    voluntary, pushed = after[0] - before[0], after[1] - before[1]
    return (round((voluntary + pushed) / reads, 2),
            f"{voluntary + pushed} context switches over {reads} requests; {voluntary / reads:.2f} of its own")


def read_stamps(stamps, start=0.0, end=float("inf")):
    """The read requests the simulator saw between two time.monotonic() readings (its time
    stamps are the same steady clock, in ns), as (seconds, address); the address is 1 when the
    simulator serves one gateway."""
    reads = []
    try:
        with open(stamps) as f:
            for line in f:
                words = line.split()
                if len(words) < 2 or words[1] != "3":
                    continue
                t = int(words[0]) / 1e9
                if start <= t <= end:
                    reads.append((t, int(words[2]) if len(words) > 2 else 1))
    except (OSError, ValueError):
        pass
    return reads


def reads_between(stamps, start, end):
    return len(read_stamps(stamps, start, end))


def rss_mb(pid):
    with open(f"/proc/{pid}/statm") as f:
        return int(f.read().split()[1]) * PAGE / 1e6


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def stop(proc):
    if proc and proc.poll() is None:
        proc.send_signal(signal.SIGTERM)
        try:
            proc.wait(5)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()


class Bench:
    def __init__(self, build, minutes):
        self.build = build
        self.bin = os.path.join(build, "bin")
        self.minutes = minutes
        self.tmp = tempfile.mkdtemp(prefix="tarvik-bench-")
        self.display = None
        self.xvfb = None
        self.rows = []

    # --- the pieces -------------------------------------------------------------------------
    def start_display(self):
        for n in range(90, 110):
            if not os.path.exists(f"/tmp/.X11-unix/X{n}"):
                self.display = f":{n}"
                break
        self.xvfb = subprocess.Popen(["Xvfb", self.display, "-screen", "0", "1400x900x24", "-nolisten", "tcp"],
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        time.sleep(1.0)

    def env(self, home, baud_index=None, port=None):
        """A private settings store and temp folder, so runs never meet one another."""
        config = os.path.join(home, "config")
        os.makedirs(os.path.join(config, "Quarnel"), exist_ok=True)
        if baud_index is not None:
            with open(os.path.join(config, "Quarnel", "1-WIRE-TARVIK Tool.conf"), "w") as f:
                f.write(f"[CommSetting]\nBR_Index={baud_index}\nPortName={port}\nSlaveAddr_Index=0\n")
        e = dict(os.environ)
        e.update({"XDG_CONFIG_HOME": config, "XDG_DATA_HOME": os.path.join(home, "data"), "TMPDIR": home,
                  "QT_QPA_PLATFORM": "xcb", "USER": "bench"})
        if self.display:
            e["DISPLAY"] = self.display
        return e

    def simulator(self, baud, link, stamps):
        sim = subprocess.Popen([os.path.join(self.bin, "tarvik-gateway-sim"), "--link", link, "--baud", str(baud),
                                "--timestamps", stamps], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        sim.stdout.readline()  # "ready LINK"
        return sim

    def client(self, kind, baud, link, home):
        index, interval = SPEEDS[baud]
        if kind.startswith("window"):
            args = [os.path.join(self.bin, "tarvik-tool"), "--port", link]
            if kind != "window idle":
                args.append("--connect")
            if kind == "window + monitor + chart":
                args += ["--traffic-monitor", "--trend-chart"]
            return subprocess.Popen(args, env=self.env(home, index, link), stdout=subprocess.DEVNULL,
                                    stderr=subprocess.DEVNULL)
        if kind == "tarvik-cli watch":
            return subprocess.Popen([os.path.join(self.bin, "tarvik-cli"), "--port", link, "--baud", str(baud), "watch"],
                                    env=self.env(home), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if kind == "tarvik-cli serve":
            return subprocess.Popen([os.path.join(self.bin, "tarvik-cli"), "--port", link, "--baud", str(baud), "serve",
                                     "--mqtt", f"127.0.0.1:{self.broker_port}", "--name", "bench",
                                     "--metrics", f"127.0.0.1:{free_port()}"],
                                    env=self.env(home), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if kind == "mbpoll":
            return subprocess.Popen(["mbpoll", "-m", "rtu", "-a", "1", "-b", str(baud), "-P", "none", "-t", "4",
                                     "-r", "1", "-c", "100", "-l", str(interval), "-o", "1.0", link],
                                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if kind == "demo":
            return subprocess.Popen([os.path.join(self.bin, "tarvik-tool"), "--demo"], env=self.env(home),
                                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        raise ValueError(kind)

    # --- one run: a client polling the simulator -------------------------------------------------
    def run(self, kind, baud, seconds):
        home = tempfile.mkdtemp(dir=self.tmp)
        link = os.path.join(home, "gw")
        stamps = os.path.join(home, "stamps")
        sim = None if kind == "demo" else self.simulator(baud, link, stamps)
        proc = self.client(kind, baud, link, home)
        time.sleep(3.0)  # start-up and the first requests are not the steady state
        self.last_wakeups = None
        try:
            # CPU is sampled each second and the median taken: on a virtual machine the host
            # now and then slows every guest several-fold for seconds at a time, and a mean
            # over the run would measure the host rather than the program.
            t0 = time.monotonic()
            switches0 = switches(proc.pid)
            last_cpu, last_t = cpu_seconds(proc.pid), t0
            rss, per_second = [], []
            end = t0 + seconds
            next_rss = t0 + 5.0
            while time.monotonic() < end and proc.poll() is None:
                time.sleep(max(0.0, min(1.0, end - time.monotonic())))
                now, used = time.monotonic(), cpu_seconds(proc.pid)
                per_second.append((used - last_cpu) / max(now - last_t, 1e-3) * 100)
                last_cpu, last_t = used, now
                if now >= next_rss or now >= end:
                    rss.append((now - t0, rss_mb(proc.pid)))
                    next_rss += 5.0
            cpu = statistics.median(per_second) if per_second else float("nan")
            if sim and proc.poll() is None:
                self.last_wakeups = (switches0, switches(proc.pid), reads_between(stamps, t0, time.monotonic()))
        finally:
            stop(proc)
            stop(sim)
        arrivals = []
        if sim:
            with open(stamps) as f:
                for line in f:
                    ns, function = line.split()
                    if function == "3":
                        arrivals.append(int(ns) / 1e6)
        return cpu, rss, arrivals

    # --- the table ----------------------------------------------------------------------------
    @staticmethod
    def spacing(arrivals, interval):
        # Only the steady state: the first seconds were skipped; the schedule is one request
        # per interval, so the error of each spacing is how far it is from the interval.
        errors = [abs((b - a) - interval) for a, b in zip(arrivals, arrivals[1:])]
        if len(errors) < 5:
            return None
        errors.sort()
        return (statistics.median(errors), errors[int(len(errors) * 0.95) - 1], errors[-1], len(errors))

    def add(self, measure, subject, value, unit, note=""):
        self.rows.append({"measure": measure, "subject": subject, "value": value, "unit": unit, "note": note})

    def timing_and_cpu(self):
        seconds = max(20, self.minutes * 60 / 6)
        clients = ["window", "tarvik-cli watch", "mbpoll"]
        if not shutil.which("mbpoll"):
            clients.remove("mbpoll")
        if not os.path.exists(os.path.join(self.bin, "tarvik-cli")):
            clients.remove("tarvik-cli watch")
        results = {}
        # Alternate the clients, one short run each per round, for each speed.
        for baud in SPEEDS:
            for _ in range(2):
                for kind in clients:
                    cpu, _, arrivals = self.run(kind, baud, seconds / 2)
                    r = results.setdefault((kind, baud), {"cpu": [], "arrivals": []})
                    r["cpu"].append(cpu)
                    r["arrivals"].append(arrivals)
        for (kind, baud), r in results.items():
            interval = SPEEDS[baud][1]
            errors = []
            for arrivals in r["arrivals"]:
                s = self.spacing(arrivals, interval)
                if s:
                    errors.append(s)
            if errors:
                n = sum(e[3] for e in errors)
                self.add("spacing error p50", f"{kind} @{baud}", round(statistics.median(e[0] for e in errors), 2), "ms", f"{n} requests")
                self.add("spacing error p95", f"{kind} @{baud}", round(max(e[1] for e in errors), 2), "ms")
                self.add("spacing error max", f"{kind} @{baud}", round(max(e[2] for e in errors), 2), "ms")
            if baud == 115200:
                self.add("CPU while polling at 300 ms", kind, round(statistics.median(r["cpu"]), 3), "% of a core",
                         "median of 1-s samples")
        for kind in ["window idle", "window + monitor + chart", "demo"]:
            cpu, _, _ = self.run(kind, 115200, seconds / 2)
            self.add("CPU", kind, round(cpu, 3), "% of a core", "median of 1-s samples")

    def serve(self):
        """tarvik-cli serve against a local mosquitto: CPU and memory of the bridge while it
        polls at 300 ms and publishes every change."""
        if not os.path.exists("/usr/sbin/mosquitto") or not os.path.exists(os.path.join(self.bin, "tarvik-cli")):
            return
        broker, self.broker_port = self.start_broker()
        try:
            seconds = max(20, self.minutes * 60 / 3)
            cpu, rss, arrivals = self.run("tarvik-cli serve", 115200, seconds)
        finally:
            stop(broker)
        self.add("CPU while polling at 300 ms", "tarvik-cli serve", round(cpu, 3), "% of a core",
                 "median of 1-s samples, publishing to mosquitto")
        if self.last_wakeups and self.last_wakeups[2]:
            value, note = wakeups(*self.last_wakeups)
            self.add("wake-ups per poll", "tarvik-cli serve @115200", value, "per request", note)
        if rss:
            self.add(f"RSS after {rss[-1][0] / 60:.1f} min of polling", "tarvik-cli serve", round(rss[-1][1], 1), "MB",
                     f"{rss[0][1]:.1f} MB after {rss[0][0]:.0f} s")
        s = self.spacing(arrivals, SPEEDS[115200][1])
        if s:
            self.add("spacing error p95", "tarvik-cli serve @115200", round(s[1], 2), "ms", f"{s[3]} requests")

    def start_broker(self):
        broker_exe = "/usr/sbin/mosquitto"
        port = free_port()
        conf = os.path.join(self.tmp, f"mosquitto-{port}.conf")
        with open(conf, "w") as f:
            f.write(f"listener {port} 127.0.0.1\nallow_anonymous true\npersistence false\n")
        broker = subprocess.Popen([broker_exe, "-c", conf], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        time.sleep(0.5)
        return broker, port

    def fleet(self, count, seconds):
        """count simulated gateways, one tarvik-cli serve each, one mosquitto: the bridges' CPU
        and memory, the messages the broker takes, and how long a change in a gateway takes to
        reach a subscriber. The change: SIGUSR1 makes a simulator take the device of its first
        used channel off the line (or put it back), which changes that channel's status."""
        cli = os.path.join(self.bin, "tarvik-cli")
        if not os.path.exists("/usr/sbin/mosquitto") or not shutil.which("mosquitto_sub") or not os.path.exists(cli):
            print("bench: the fleet needs mosquitto, mosquitto_sub and tarvik-cli", file=sys.stderr)
            return
        broker, port = self.start_broker()
        sims, serves, stamps = [], [], []
        arrivals = []  # (time.monotonic(), topic, payload) as the subscriber gets them
        lock = threading.Lock()
        sub = subprocess.Popen(["mosquitto_sub", "-h", "127.0.0.1", "-p", str(port), "-v", "-q", "1",
                                "-t", "tarvik/#", "-t", "homeassistant/#"],
                               stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True, bufsize=1)

        def read_subscriber():
            for line in sub.stdout:
                now = time.monotonic()
                topic, _, payload = line.rstrip("\n").partition(" ")
                with lock:
                    arrivals.append((now, topic, payload))

        reader = threading.Thread(target=read_subscriber, daemon=True)
        reader.start()
        try:
            for i in range(count):
                home = tempfile.mkdtemp(dir=self.tmp)
                link = os.path.join(home, "gw")
                stamps.append(os.path.join(home, "stamps"))
                sims.append(subprocess.Popen([os.path.join(self.bin, "tarvik-gateway-sim"), "--link", link, "--baud",
                                              "115200", "--seed", str(i + 1), "--timestamps", stamps[-1]],
                                             stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True))
                sims[-1].stdout.readline()  # "ready LINK"
                serves.append(subprocess.Popen([cli, "--port", link, "--baud", "115200", "--numbering", "1", "serve",
                                                "--mqtt", f"127.0.0.1:{port}", "--name", f"gw{i + 1:02}"],
                                               env=self.env(home), stdout=subprocess.DEVNULL,
                                               stderr=subprocess.DEVNULL))
            # Every bridge online and past its first rounds.
            deadline = time.monotonic() + 30
            while time.monotonic() < deadline:
                with lock:
                    online = {t for _, t, p in arrivals if t.endswith("/availability") and p == "online"}
                if len(online) >= count:
                    break
                time.sleep(0.2)
            time.sleep(3.0)

            t0 = time.monotonic()
            with lock:
                first = len(arrivals)
            cpu0 = [cpu_seconds(p.pid) for p in serves]
            broker_cpu0 = cpu_seconds(broker.pid)
            switches0 = [switches(p.pid) for p in serves]
            changes = []  # (sent, gateway index, channel, absent)
            end = t0 + seconds
            turn = 0
            while time.monotonic() < end - 2.0:
                time.sleep(random.uniform(0.5, 1.0))
                i = turn % count
                turn += 1
                sent = time.monotonic()
                sims[i].send_signal(signal.SIGUSR1)
                words = sims[i].stdout.readline().split()  # "channel N absent|present"
                if len(words) == 3:
                    changes.append((sent, i, int(words[1]), words[2] == "absent"))
            time.sleep(max(0.0, end - time.monotonic()))
            t1 = time.monotonic()
            cpu = [(cpu_seconds(p.pid) - c) / (t1 - t0) * 100 for p, c in zip(serves, cpu0)]
            broker_cpu = (cpu_seconds(broker.pid) - broker_cpu0) / (t1 - t0) * 100
            switches1 = [switches(p.pid) for p in serves]
            rss = [rss_mb(p.pid) for p in serves]
            alive = sum(1 for p in serves if p.poll() is None)
        finally:
            for p in serves + sims:
                stop(p)
            stop(sub)
            stop(broker)
        reads = sum(reads_between(f, t0, t1) for f in stamps)
        with lock:
            window = [a for a in arrivals[first:] if a[0] <= t1]
        latencies = []
        for sent, i, channel, absent in changes:
            topic = f"tarvik/gw{i + 1:02}/channel/{channel}"
            for t, top, payload in window:
                if t < sent or top != topic:
                    continue
                try:
                    status = json.loads(payload)["status"]
                except (ValueError, KeyError, TypeError):
                    continue
                if (status != 0) == absent:
                    latencies.append((t - sent) * 1000)
                    break
        subject = f"fleet of {count} x tarvik-cli serve"
        self.add("CPU while polling at 300 ms, all bridges", subject, round(sum(cpu), 3), "% of a core",
                 f"{statistics.mean(cpu):.3f} % per bridge, over {t1 - t0:.0f} s")
        self.add("CPU", "mosquitto with the fleet", round(broker_cpu, 3), "% of a core")
        self.add("RSS per bridge", subject, round(statistics.mean(rss), 1), "MB", f"max {max(rss):.1f} MB")
        if reads:
            total0 = tuple(map(sum, zip(*switches0)))
            total1 = tuple(map(sum, zip(*switches1)))
            value, note = wakeups(total0, total1, reads)
            self.add("wake-ups per poll", subject, value, "per request", note)
        self.add("messages per second at the broker", subject, round(len(window) / (t1 - t0), 1), "per s",
                 f"{len(window)} publishes seen by a subscriber to all topics")
        if latencies:
            latencies.sort()
            p95 = latencies[max(0, int(len(latencies) * 0.95) - 1)]
            self.add("change to MQTT message p50", subject, round(statistics.median(latencies), 1), "ms",
                     f"{len(latencies)} of {len(changes)} changes seen")
            self.add("change to MQTT message p95", subject, round(p95, 1), "ms",
                     "goal: one poll cycle (4 blocks x 300 ms) + 50 ms = 1250 ms")
            self.add("change to MQTT message max", subject, round(latencies[-1], 1), "ms")
        if alive < count:
            self.add("bridges that ended early", subject, count - alive, "processes")

    # --- several gateways on one line ---------------------------------------------------------------
    def bus_run(self, count, baud, seconds, over_tcp=False, silent=None):
        """count gateways on one simulated line under one tarvik-cli serve: each address's read
        requests as the simulator saw them, and the bridge's CPU (median of 1-s samples), RSS and
        context switches over the measured span."""
        home = tempfile.mkdtemp(dir=self.tmp)
        link = os.path.join(home, "line")
        stamps = os.path.join(home, "stamps")
        addresses = f"1-{count}" if count > 1 else "1"
        args = [os.path.join(self.bin, "tarvik-gateway-sim"), "--link", link, "--baud", str(baud),
                "--address", addresses, "--timestamps", stamps]
        if silent:
            args += ["--silent", str(silent)]
        if over_tcp:
            args += ["--tcp", "0"]
        sim = subprocess.Popen(args, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        served = sim.stdout.readline().split()[1:]  # "ready LINK [tcp://...]"
        port = next((p for p in served if p.startswith("tcp://")), link) if over_tcp else link
        proc = subprocess.Popen([os.path.join(self.bin, "tarvik-cli"), "--port", port, "--baud", str(baud),
                                 "--address", addresses, "serve", "--mqtt", f"127.0.0.1:{self.broker_port}",
                                 "--name", "bus-%a", "--metrics", f"127.0.0.1:{free_port()}"],
                                env=self.env(home), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        time.sleep(4.0)  # the first rounds (the service blocks, a silent gateway's first tries)
        try:
            t0 = time.monotonic()
            switches0 = switches(proc.pid)
            last_cpu, last_t = cpu_seconds(proc.pid), t0
            per_second = []
            end = t0 + seconds
            while time.monotonic() < end and proc.poll() is None:
                time.sleep(max(0.0, min(1.0, end - time.monotonic())))
                now, used = time.monotonic(), cpu_seconds(proc.pid)
                per_second.append((used - last_cpu) / max(now - last_t, 1e-3) * 100)
                last_cpu, last_t = used, now
            t1 = time.monotonic()
            rss = rss_mb(proc.pid)
            switches1 = switches(proc.pid)
        finally:
            stop(proc)
            stop(sim)
        reads = read_stamps(stamps, t0, t1)
        return {"reads": reads, "cpu": statistics.median(per_second) if per_second else float("nan"), "rss": rss,
                "switches": (switches0, switches1), "span": t1 - t0}

    @staticmethod
    def mean_spacing(reads, address):
        times = [t for t, a in reads if a == address]
        gaps = [b - a for a, b in zip(times, times[1:])]
        return statistics.mean(gaps) * 1000 if gaps else None

    def bus(self, count, seconds):
        """count simulated gateways on one line under one serve, at 115200 and 9600 Bd: each
        gateway's request spacing (its cycle is seven of them) against a single gateway's and,
        at 9600 Bd where the line is the limit, a whole round against the time its frames take on
        the wire; the same with one gateway silent; the bridge's CPU, memory and wake-ups; and
        one gateway over tcp:// on loopback against the serial line."""
        if not os.path.exists("/usr/sbin/mosquitto") or not os.path.exists(os.path.join(self.bin, "tarvik-cli")):
            print("bench: the bus needs mosquitto and tarvik-cli", file=sys.stderr)
            return
        broker, self.broker_port = self.start_broker()
        try:
            for baud in (115200, 9600):
                single = self.mean_spacing(self.bus_run(1, baud, seconds)["reads"], 1)
                full = self.bus_run(count, baud, seconds)
                spacings = [self.mean_spacing(full["reads"], a) for a in range(1, count + 1)]
                spacings = [x for x in spacings if x]
                subject = f"{count} gateways @{baud}"
                if single and spacings:
                    self.add("gateway cycle / single-gateway cycle, worst", subject, round(max(spacings) / single, 3), "x",
                             f"single {single:.1f} ms per request, bus {statistics.mean(spacings):.1f} ms mean; goal 1.25 at 115200")
                if baud == 9600 and spacings:
                    wire = count * (8 + 205) * 10 / baud * 1000
                    self.add("round / wire-time lower bound", subject, round(statistics.mean(spacings) / wire, 3), "x",
                             f"round {statistics.mean(spacings):.0f} ms, frames on the wire {wire:.0f} ms; goal 1.15")
                quiet = self.bus_run(count, baud, seconds, silent=count)
                others = [self.mean_spacing(quiet["reads"], a) for a in range(1, count)]
                others = [x for x in others if x]
                if others and spacings:
                    growth = (statistics.mean(others) / statistics.mean(spacings[:count - 1]) - 1) * 100
                    self.add("others' cycle growth with one gateway silent", subject, round(growth, 1), "%",
                             f"address {count} silent; goal 10 %")
                if baud == 115200:
                    self.add("CPU of one serve", subject, round(full["cpu"], 3), "% of a core", "median of 1-s samples; goal 1 %")
                    self.add("RSS of one serve", subject, round(full["rss"], 1), "MB", "goal 25 MB")
                    value, note = wakeups(*full["switches"], len(full["reads"]))
                    self.add("wake-ups per poll", subject, value, "per request", note)
            serial = self.bus_run(1, 115200, seconds)
            tcp = self.bus_run(1, 115200, seconds, over_tcp=True)
            for name, run in (("serial", serial), ("tcp:// on loopback", tcp)):
                s = self.spacing([t * 1000 for t, _ in run["reads"]], SPEEDS[115200][1])
                if s:
                    self.add("spacing error p95", f"one gateway, {name} @115200", round(s[1], 2), "ms", f"{s[3]} requests")
            self.add("reconnect after the server's return", "tcp:// on loopback", self.tcp_reconnect(), "s", "goal 2 s")
        finally:
            stop(broker)

    def tcp_reconnect(self):
        """A simulator serving tcp:// ends and comes back on the same port: the seconds from its
        return to the bridge's first read request."""
        home = tempfile.mkdtemp(dir=self.tmp)
        port = free_port()

        def start(stamps):
            sim = subprocess.Popen([os.path.join(self.bin, "tarvik-gateway-sim"), "--link", os.path.join(home, "line"),
                                    "--baud", "115200", "--tcp", str(port), "--timestamps", stamps],
                                   stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
            sim.stdout.readline()
            return sim
        sim = start(os.path.join(home, "stamps1"))
        proc = subprocess.Popen([os.path.join(self.bin, "tarvik-cli"), "--port", f"tcp://127.0.0.1:{port}", "--baud",
                                 "115200", "serve", "--mqtt", f"127.0.0.1:{self.broker_port}", "--name", "reconnect"],
                                env=self.env(home), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            time.sleep(3.0)
            stop(sim)
            time.sleep(3.0)
            back = time.monotonic()
            stamps = os.path.join(home, "stamps2")
            sim = start(stamps)
            deadline = back + 15
            while time.monotonic() < deadline and not read_stamps(stamps):
                time.sleep(0.05)
            reads = read_stamps(stamps)
            return round(reads[0][0] - back, 2) if reads else float("nan")
        finally:
            stop(proc)
            stop(sim)

    def startup(self):
        def shown(args, env):
            start = time.monotonic_ns()
            p = subprocess.Popen(args, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
            try:
                for line in p.stderr:
                    if line.startswith("shown "):
                        return (int(line.split()[1]) - start) / 1e6
            finally:
                stop(p)
                # The last window's teardown (its X resources, its memory) must not fall into
                # the next start.
                time.sleep(1.0)
            return None

        times = {"tarvik-tool": [], "empty Qt window": []}
        for _ in range(10):
            for name, exe in (("tarvik-tool", "tarvik-tool"), ("empty Qt window", "bench-minimal-window")):
                home = tempfile.mkdtemp(dir=self.tmp)
                env = self.env(home)
                env["TARVIK_REPORT_SHOWN"] = "1"
                t = shown([os.path.join(self.bin, exe)], env)
                if t is not None:
                    times[name].append(t)
        for name, values in times.items():
            if values:
                self.add("start to window shown (median of 10)", name, round(statistics.median(values), 1), "ms")

    def memory(self):
        seconds = self.minutes * 60
        _, rss, _ = self.run("window", 115200, seconds)
        home = tempfile.mkdtemp(dir=self.tmp)
        minimal = subprocess.Popen([os.path.join(self.bin, "bench-minimal-window")], env=self.env(home),
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        time.sleep(5)
        minimal_rss = rss_mb(minimal.pid)
        stop(minimal)
        if len(rss) >= 2:
            # The first sample at one minute (or a third of a shorter run): start-up is over.
            start = min(60.0, rss[-1][0] / 3)
            t1, r1 = next((t, r) for t, r in rss if t >= start)
            t2, r2 = rss[-1]
            self.add(f"RSS after {t1 / 60:.1f} min of polling", "window", round(r1, 1), "MB")
            self.add(f"RSS after {t2 / 60:.1f} min of polling", "window", round(r2, 1), "MB")
            if t2 - t1 >= 240:
                growth = (r2 - r1) / (t2 - t1) * 3600
                self.add("RSS growth", "window", round(growth, 2), "MB per hour",
                         f"extrapolated from {(t2 - t1) / 60:.1f} min")
            else:
                # A few kilobytes over a minute would read as megabytes an hour.
                self.add("RSS growth", "window", "n/a", "MB per hour", "needs --minutes 5 or more")
        self.add("RSS", "empty Qt window", round(minimal_rss, 1), "MB")

    def firmware(self):
        cli = os.path.join(self.bin, "tarvik-cli")
        if not os.path.exists(cli):
            return
        home = tempfile.mkdtemp(dir=self.tmp)
        link = os.path.join(home, "gw")
        image = os.path.join(home, "image.bin")
        with open(image, "wb") as f:
            f.write(os.urandom(64 * 1024))
        sim = self.simulator(115200, link, os.path.join(home, "stamps"))
        try:
            start = time.monotonic()
            subprocess.run([cli, "--port", link, "--baud", "115200", "firmware", image, "--yes"], env=self.env(home),
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=900)
            wall = time.monotonic() - start
        finally:
            stop(sim)
        frames = 31 + 64 * 1024 // 192 + 1
        self.add("firmware 64 KiB wall time", "tarvik-cli firmware", round(wall, 1), "s",
                 f"pacing {frames} frames x 300 ms = {frames * 0.3:.1f} s")

    def hot_paths(self):
        out = subprocess.run([os.path.join(self.bin, "bench-dispatch")], capture_output=True, text=True,
                             env=dict(os.environ, QT_QPA_PLATFORM="offscreen")).stdout
        for line in out.splitlines():
            name, value = line.split()
            if name.endswith("_ms"):
                self.add(name[:-3].replace("_", " "), "programmer window", float(value), "ms", "offscreen")
            else:
                self.add(name.replace("_us", "").replace("_", " "), "window", float(value), "us per operation")

    def print_table(self, path):
        width = max(len(r["measure"]) for r in self.rows)
        subject = max(len(r["subject"]) for r in self.rows)
        print(f"\n{'measure':<{width}}  {'subject':<{subject}}  {'value':>10}  unit")
        for r in self.rows:
            print(f"{r['measure']:<{width}}  {r['subject']:<{subject}}  {r['value']:>10}  {r['unit']}"
                  + (f"  ({r['note']})" if r["note"] else ""))
        with open(path, "w", newline="") as f:
            w = csv.DictWriter(f, fieldnames=["measure", "subject", "value", "unit", "note"])
            w.writeheader()
            w.writerows(self.rows)
        print(f"\n{datetime.date.today()} on {platform.node()} ({os.cpu_count()} cores); written to {path}")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("build")
    ap.add_argument("--minutes", type=float)
    ap.add_argument("--fleet", type=int, metavar="N", help="only the fleet: N simulated gateways and bridges")
    ap.add_argument("--bus", type=int, metavar="N", help="only the bus: N simulated gateways on one line, one bridge")
    ap.add_argument("--csv")
    a = ap.parse_args()
    if a.bus:
        bench = Bench(os.path.abspath(a.build), a.minutes or 2)
        try:
            print(f"bench: bus of {a.bus}...", file=sys.stderr, flush=True)
            # Eight runs of the bridge share the minutes.
            bench.bus(a.bus, max(10.0, bench.minutes * 60 / 8))
        finally:
            shutil.rmtree(bench.tmp, ignore_errors=True)
        bench.print_table(a.csv or os.path.join(a.build, "bench-bus.csv"))
        return
    if a.fleet:
        bench = Bench(os.path.abspath(a.build), a.minutes or 1)
        try:
            print(f"bench: fleet of {a.fleet}...", file=sys.stderr, flush=True)
            bench.fleet(a.fleet, bench.minutes * 60)
        finally:
            shutil.rmtree(bench.tmp, ignore_errors=True)
        bench.print_table(a.csv or os.path.join(a.build, "bench-fleet.csv"))
        return
    bench = Bench(os.path.abspath(a.build), a.minutes or 3)
    bench.start_display()
    try:
        for step in (bench.hot_paths, bench.startup, bench.timing_and_cpu, bench.serve, bench.memory, bench.firmware):
            print(f"bench: {step.__name__}...", file=sys.stderr, flush=True)
            step()
    finally:
        stop(bench.xvfb)
        shutil.rmtree(bench.tmp, ignore_errors=True)
    bench.print_table(a.csv or os.path.join(a.build, "bench.csv"))


if __name__ == "__main__":
    main()
