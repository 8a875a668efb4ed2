#!/usr/bin/env python3
"""Figures of the MQTT bridge, measured from outside on a real broker.

    python3 bench/mqtt_figures.py [BUILD_DIR] [--quick]

Starts mosquitto on a free loopback port and `toggra --headless` on a bench
file with two 8-channel switches (16 columns), then measures:
  1. set -> device command: a `set` message to the command's line in the
     bench command log (TOGGRA_BENCH_LOG), median, p95, p99 and max over
     1,000 back-to-back commands;
  2. bench change -> published state: `toggra-bench FILE set` to the state
     message at a subscriber, median and p99 over 1,000;
  3. 16 channels x 20 commands/s for 60 s: nothing lost, the final states equal
     the last commands;
  4. the broker stopped and started 10 times: time from its start until the
     status, all 16 states and both device configs are there again;
  5. resident memory and idle CPU (10 s) of --headless with 16 columns.
--quick shrinks every count for a trial run; --latency measures figure 1 only. Needs mosquitto
and mosquitto_sub (commands go out from a small client of its own, with
TCP_NODELAY). Not a test: nothing here passes or fails.
"""
import ctypes
import os
import shutil
import signal
import socket
import select
import statistics
import subprocess
import sys
import tempfile
import threading
import time

BUILD = next((a for a in sys.argv[1:] if not a.startswith("--")), "build")
QUICK = "--quick" in sys.argv
ONLY_LATENCY = "--latency" in sys.argv
TOGGRA = os.path.abspath(os.path.join(BUILD, "toggra"))
BENCH_TOOL = os.path.abspath(os.path.join(BUILD, "toggra-bench"))
MOSQUITTO = shutil.which("mosquitto") or "/usr/sbin/mosquitto"
N_LATENCY = 100 if QUICK else 1000
LOAD_SECONDS = 5 if QUICK else 60
RESTARTS = 3 if QUICK else 10
IDLE_SECONDS = 3 if QUICK else 10
CHANNELS = 16
PREFIX = "toggra/fig"
# Commands go out with the QoS the discovery configs ask Home Assistant for.
QOS = 1
# Channel ids of the two devices: their stable ids bench:DEVICE:CHANNEL.
IDS = [f"bench:{d}:{c}" for d in (0, 1) for c in range(1, 9)]


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_for(cond, timeout, step=0.0005):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        if cond():
            return True
        time.sleep(step)
    return cond()


def pct(values, p):
    s = sorted(values)
    return s[min(len(s) - 1, int(round(p / 100 * (len(s) - 1))))]


class Broker:
    def __init__(self, folder):
        self.port = free_port()
        self.conf = os.path.join(folder, "mosquitto.conf")
        with open(self.conf, "w") as f:
            f.write(f"listener {self.port} 127.0.0.1\nallow_anonymous true\npersistence false\n")
            if os.geteuid() == 0:
                f.write("user root\n")
        self.proc = None
        self.start()

    def start(self):
        self.proc = subprocess.Popen([MOSQUITTO, "-c", self.conf], stdout=subprocess.DEVNULL,
                                     stderr=subprocess.DEVNULL)

        def accepts():
            try:
                socket.create_connection(("127.0.0.1", self.port), 0.1).close()
                return True
            except OSError:
                return False
        wait_for(accepts, 5, 0.001)

    def stop(self):
        self.proc.terminate()
        self.proc.wait()


class Subscriber:
    """mosquitto_sub -v on a pattern; remembers the latest payload and arrival."""

    def __init__(self, port, pattern="#"):
        self.proc = subprocess.Popen(["mosquitto_sub", "-p", str(port), "-v", "-t", pattern],
                                     stdout=subprocess.PIPE, text=True, bufsize=1)
        self.last = {}
        self.count = {}
        self.lock = threading.Lock()
        threading.Thread(target=self.read, daemon=True).start()

    def read(self):
        for line in self.proc.stdout:
            topic, _, payload = line.rstrip("\n").partition(" ")
            with self.lock:
                self.last[topic] = (payload, time.monotonic())
                self.count[topic] = self.count.get(topic, 0) + 1

    def get(self, topic):
        with self.lock:
            return self.last.get(topic)

    def stop(self):
        self.proc.terminate()
        self.proc.wait()


class Publisher:
    """A minimal MQTT 3.1.1 publisher on a plain socket with TCP_NODELAY, so
    that a message leaves the moment send() hands it to the kernel (a client
    without TCP_NODELAY may hold back-to-back messages behind Nagle until the
    broker's delayed ACK, up to 40 ms). QoS 1: the PUBACKs are read and
    dropped; nothing is resent (loopback loses nothing)."""

    def __init__(self, port, topic):
        self.sock = socket.create_connection(("127.0.0.1", port), 5)
        self.sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        self.topic = topic.encode()
        self.packet_id = 0
        client_id = f"figures-{os.getpid()}-{id(self)}".encode()
        body = (b"\x00\x04MQTT\x04\x02\x00\x3c"  # MQTT 3.1.1, clean session, keepalive 60 s
                + len(client_id).to_bytes(2, "big") + client_id)
        self.sock.sendall(self.packet(0x10, body))
        connack = b""
        while len(connack) < 4:
            chunk = self.sock.recv(4 - len(connack))
            assert chunk, "broker closed the connection"
            connack += chunk
        assert connack[0] == 0x20 and connack[3] == 0, f"CONNACK {connack!r}"
        self.sock.setblocking(False)

    @staticmethod
    def packet(header, body):
        n, length = len(body), b""
        while True:
            n, digit = divmod(n, 128)
            length += bytes([digit | (0x80 if n else 0)])
            if not n:
                return bytes([header]) + length + body

    def send(self, payload):
        self.drain()
        self.packet_id = self.packet_id % 65535 + 1
        body = len(self.topic).to_bytes(2, "big") + self.topic
        if QOS:
            body += self.packet_id.to_bytes(2, "big")
        self.sock.setblocking(True)
        self.sock.sendall(self.packet(0x30 | QOS << 1, body + payload.encode()))
        self.sock.setblocking(False)

    def drain(self):
        """Reads what the broker sent (PUBACKs) without waiting."""
        try:
            while self.sock.recv(4096):
                pass
        except BlockingIOError:
            pass

    def stop(self):
        self.drain()
        self.sock.setblocking(True)
        self.sock.sendall(b"\xe0\x00")  # DISCONNECT
        self.sock.close()


class FileWatch:
    """Wakes when a file is written to (inotify IN_MODIFY), so that waiting for
    the command log costs no CPU. Events that come while nobody waits stay
    queued, so none is missed between a look at the size and the wait."""

    IN_MODIFY = 0x2

    def __init__(self, path):
        libc = ctypes.CDLL(None, use_errno=True)
        self.fd = libc.inotify_init1(os.O_NONBLOCK | os.O_CLOEXEC)
        if self.fd < 0 or libc.inotify_add_watch(self.fd, os.fsencode(path), self.IN_MODIFY) < 0:
            raise OSError(ctypes.get_errno(), f"inotify on {path}")

    def wait(self, timeout, also=()):
        """Waits for a write or for one of the sockets in `also` to become readable."""
        ready = select.select([self.fd, *also], [], [], timeout)[0]
        if self.fd in ready:
            try:
                os.read(self.fd, 65536)
            except BlockingIOError:
                pass
        return ready

    def close(self):
        os.close(self.fd)


def bench_text():
    text = ""
    for serial in (1, 2):
        text += (f"[device]\ntype = 8\nversion = 1\nserial = {serial}\nswitches = 8\n"
                 "traffic_light = 0\ncutter = 0\nconfig_failures = 0\nmulti_switch_fails = 0\n"
                 "state = 0 0 0 0 0 0 0 0\nresets = 0\n\n")
    return text


def log_lines(path):
    try:
        with open(path) as f:
            return f.read().splitlines()
    except FileNotFoundError:
        return []


def main():
    # The bench device rewrites its file (with fsync) after each command, on the
    # thread that takes the next one; on a disk shared with other work that
    # fsync alone can take 10 ms and more. The files live in memory (tmpfs)
    # where there is one, so that the figures are the program's and not the
    # disk's; TOGGRA_FIGURES_DIR names another folder.
    shm = "/dev/shm" if os.path.isdir("/dev/shm") and os.access("/dev/shm", os.W_OK) else None
    folder = tempfile.mkdtemp(prefix="toggra-mqtt-figures-", dir=os.environ.get("TOGGRA_FIGURES_DIR", shm))
    bench = os.path.join(folder, "hardware.bench")
    log = os.path.join(folder, "commands.log")
    with open(bench, "w") as f:
        f.write(bench_text())
    broker = Broker(folder)
    env = dict(os.environ, TOGGRA_MQTT=f"mqtt://127.0.0.1:{broker.port}", TOGGRA_MQTT_PREFIX=PREFIX,
               TOGGRA_BENCH=bench, TOGGRA_BENCH_LOG=log,
               TOGGRA_HKCU=os.path.join(folder, "hkcu.reg"), TOGGRA_HKLM=os.path.join(folder, "hklm.reg"),
               HOME=folder)
    env.pop("TOGGRA_DEVICES", None)
    err = open(os.path.join(folder, "toggra.err"), "w")
    toggra = subprocess.Popen([TOGGRA, "--headless"], env=env, stdout=subprocess.DEVNULL, stderr=err)
    sub = Subscriber(broker.port)
    state = lambda i: f"{PREFIX}/{IDS[i]}/state"
    assert wait_for(lambda: all(sub.get(state(i)) for i in range(CHANNELS)), 10), "no states published"

    # 1. set -> device command: from handing the PUBLISH to the socket until
    # the command log (written by the bench device at each SetSwitch) has
    # grown. The script sleeps in select() on an inotify watch of the log
    # meanwhile, so it takes no CPU from the program and the broker, and both
    # times come from time.monotonic() (CLOCK_MONOTONIC, 1 ns resolution). The
    # end is taken when the script has woken up, so its own wake-up counts
    # against the figure, never for it.
    pub = Publisher(broker.port, f"{PREFIX}/{IDS[0]}/set")
    assert wait_for(lambda: os.path.exists(log), 5), "no command log"
    watch = FileWatch(log)
    time.sleep(0.3)
    logged_before = len(log_lines(log))
    latencies = []
    on = False
    for _ in range(N_LATENCY):
        before = os.stat(log).st_size
        on = not on
        t0 = time.monotonic()
        pub.send("ON" if on else "OFF")
        end = t0 + 2
        while os.stat(log).st_size <= before and time.monotonic() < end:
            if pub.sock in watch.wait(max(0, end - time.monotonic()), [pub.sock]):
                pub.drain()
        latencies.append(time.monotonic() - t0)
    watch.close()
    logged = [l for l in log_lines(log)[logged_before:] if l.startswith("SetSwitch 0 16 ")]
    assert len(logged) == N_LATENCY, f"{len(logged)} device commands logged for {N_LATENCY} sent"
    pub.stop()
    ms = lambda v: f"{v * 1e3:.2f} ms"
    print(f"set -> device command over {len(latencies)}: median {ms(statistics.median(latencies))}, "
          f"p95 {ms(pct(latencies, 95))}, p99 {ms(pct(latencies, 99))}, max {ms(max(latencies))} "
          f"(load average {os.getloadavg()[0]:.1f})")
    if ONLY_LATENCY:
        toggra.terminate()
        toggra.wait()
        sub.stop()
        broker.stop()
        return

    # 2. bench change -> published state (channels 1..15, never commanded)
    latencies = []
    values = [0] * CHANNELS
    for k in range(N_LATENCY):
        i = 1 + k % (CHANNELS - 1)
        values[i] = 1 - values[i]
        device, channel = divmod(i, 8)
        subprocess.run([BENCH_TOOL, bench, "set", str(device), str(16 + channel), str(values[i])],
                       check=True, stdout=subprocess.DEVNULL)
        t0 = time.monotonic()
        want = "ON" if values[i] else "OFF"
        wait_for(lambda: (sub.get(state(i)) or ("", 0))[0] == want, 3)
        latencies.append(time.monotonic() - t0)
    print(f"bench change -> published state: median {statistics.median(latencies) * 1e3:.1f} ms, "
          f"p99 {pct(latencies, 99) * 1e3:.1f} ms over {len(latencies)} (tick 100 ms)")

    # 3. load: 16 channels x 20 commands/s, strictly alternating, so each
    # command is one device command.
    time.sleep(3.5)  # the poll's quiet period after the last commands
    pubs = [Publisher(broker.port, f"{PREFIX}/{IDS[i]}/set") for i in range(CHANNELS)]
    time.sleep(0.5)
    before = log_lines(log)
    last = [None] * CHANNELS
    # Start from the state each channel has now, so the first command changes it.
    for i in range(CHANNELS):
        last[i] = (sub.get(state(i)) or ("OFF", 0))[0] == "ON"
    sent = 0
    start = time.monotonic()
    period = 1 / 20
    tick = 0
    while time.monotonic() - start < LOAD_SECONDS:
        for i in range(CHANNELS):
            last[i] = not last[i]
            pubs[i].send("ON" if last[i] else "OFF")
            sent += 1
        tick += 1
        delay = start + tick * period - time.monotonic()
        if delay > 0:
            time.sleep(delay)
    for p in pubs:
        p.stop()
    final = ["ON" if v else "OFF" for v in last]
    ok_states = wait_for(lambda: all((sub.get(state(i)) or ("", 0))[0] == final[i] for i in range(CHANNELS)), 10)
    commands = [l for l in log_lines(log)[len(before):] if l.startswith("SetSwitch")]
    per_channel = [sum(1 for c in commands if c.split()[1:3] == [str(i // 8), str(16 + i % 8)])
                   for i in range(CHANNELS)]
    with open(bench) as f:
        rows = [l.split("=")[1].split() for l in f if l.startswith("state")]
    bench_final = [int(v) for row in rows for v in row]
    bench_ok = bench_final == [1 if v else 0 for v in last]
    print(f"load: {sent} commands in {LOAD_SECONDS} s ({CHANNELS} x 20/s), {len(commands)} device commands "
          f"(per channel {min(per_channel)}..{max(per_channel)}), bench ends in the last commands: {bench_ok}, "
          f"published final states equal them: {ok_states}")

    # 4. broker restarts
    times = []
    for _ in range(RESTARTS):
        broker.stop()
        sub.stop()
        time.sleep(0.5)
        broker.start()
        t0 = time.monotonic()
        sub = Subscriber(broker.port)
        configs = lambda: sum(1 for t in list(sub.last) if t.startswith("homeassistant/device/") and t.endswith("/config"))
        done = lambda: ((sub.get(f"{PREFIX}/status") or ("", 0))[0] == "online"
                        and all(sub.get(state(i)) for i in range(CHANNELS)) and configs() >= 2)
        wait_for(done, 40, 0.002)
        times.append(time.monotonic() - t0)
        time.sleep(0.5)
    print("broker restarts: republished after " + ", ".join(f"{t:.2f}" for t in times) +
          f" s (median {statistics.median(times):.2f} s, max {max(times):.2f} s)")

    # 5. memory and idle CPU
    time.sleep(1)
    with open(f"/proc/{toggra.pid}/status") as f:
        rss = next(int(l.split()[1]) for l in f if l.startswith("VmRSS"))
    ticks = os.sysconf("SC_CLK_TCK")

    def cpu():
        with open(f"/proc/{toggra.pid}/stat") as f:
            fields = f.read().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / ticks
    c0, t0 = cpu(), time.monotonic()
    time.sleep(IDLE_SECONDS)
    c1, t1 = cpu(), time.monotonic()
    print(f"--headless, 16 columns: resident {rss / 1024:.1f} MiB, idle CPU "
          f"{(c1 - c0) / (t1 - t0) * 100:.2f} % of one core over {IDLE_SECONDS} s")

    toggra.send_signal(signal.SIGTERM)
    toggra.wait(10)
    sub.stop()
    broker.stop()
    shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    main()
