#!/usr/bin/python3
"""Times trox against lftp, ncftpput/ncftpget and curl on a vsftpd started on loopback.

Run as root (it creates a system user for vsftpd and may install packages):

    sudo /usr/bin/python3 bench/run.py            # full scale, 5 counted runs
    BENCH_SCALE=small BENCH_RUNS=3 sudo -E /usr/bin/python3 bench/run.py

Settings (environment, or the matching --option):
    BENCH_SCALE    full (default) or small
    BENCH_RUNS     counted runs per tool, data set and direction (default 5, after one warm-up)
    BENCH_SETS     comma list of big,medium,small,text (default all)
    BENCH_DIRS     comma list of send,get (default both)
    BENCH_TOOLS    comma list of trox,lftp,ncftp,curl (default all)
    BENCH_WORK     work folder for data sets, server root and results (default /var/tmp/trox-bench)
    BENCH_RESULTS  also write the tables as Markdown to this file
    BENCH_TROX     use this trox binary instead of building build-bench/bin/trox
    BENCH_NOTE     a line to put in the results header (for example where the numbers come from)
    BENCH_SETTLE   seconds to wait after deleting many files (default 65)
    BENCH_TW_LIMIT before each run, wait (at most 65 s) until no more sockets than this are in
                   TIME_WAIT (default 12000; 0 turns the wait off)
    BENCH_TIMEOUT  seconds before one tool run is killed and counted as failed (default 900)
    BENCH_TERMINAL 1: instead of the peers, time trox with its output on a pseudo-terminal (live
                   status line drawn), on one with TERM=dumb (no line) and redirected, and print
                   the ratios (--terminal; BENCH_SETS and BENCH_DIRS choose the sets, for
                   example BENCH_TERMINAL=1 BENCH_RUNS=2 BENCH_SETS=big,small)
    BENCH_TLS      1: the server requires explicit TLS for log-in and data (a certificate made
                   for the run); trox pins it, lftp forces TLS without checking it; trox and
                   lftp only

Only the standard library is used.
"""

import argparse
import datetime
import os
import random
import secrets
import shutil
import signal
import socket
import statistics
import subprocess
import sys
import time

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
USER = "troxbench"
# A fresh password each run, and the account is locked again at the end: it is a real system user.
PASSWORD = "Bx" + secrets.token_hex(8)
PEER_PACKAGES = {"lftp": "lftp", "ncftpput": "ncftp", "curl": "curl", "/usr/bin/time": "time",
                 "/usr/sbin/vsftpd": "vsftpd", "ss": "iproute2"}
ALL_TOOLS = ["trox", "lftp", "ncftp", "curl"]
ALL_SETS = ["big", "medium", "small", "text"]
MANY_FILES = 1000  # a deletion at least this large slows file creation for about a minute

# name: (files, bytes per file, leaf-folder fan-out per level or 0 for a flat folder, kind)
SCALES = {
    "full": {
        "big": (1, 1 << 30, 0, "random"),
        "medium": (64, 4 << 20, 0, "random"),
        "small": (5000, 2 << 10, 5, "random"),
        "text": (500, 20 << 10, 0, "text"),
    },
    "small": {
        "big": (1, 128 << 20, 0, "random"),
        "medium": (16, 4 << 20, 0, "random"),
        "small": (500, 2 << 10, 3, "random"),
        "text": (100, 20 << 10, 0, "text"),
    },
}


def log(text):
    print(text, flush=True)


def run_quiet(cmd, **kw):
    return subprocess.run(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, **kw).returncode


# ---------------------------------------------------------------- set-up


def ensure_root():
    if os.geteuid() == 0:
        return
    if shutil.which("sudo"):
        os.execvp("sudo", ["sudo", "-E", sys.executable] + sys.argv)
    sys.exit("run as root: the benchmark creates a system user and starts vsftpd")


def ensure_packages():
    missing = sorted({pkg for tool, pkg in PEER_PACKAGES.items()
                      if not (os.path.exists(tool) if tool.startswith("/") else shutil.which(tool))})
    if not missing:
        return
    log("installing " + " ".join(missing))
    env = dict(os.environ, DEBIAN_FRONTEND="noninteractive")
    subprocess.run(["apt-get", "update", "-qq"], check=True, env=env)
    subprocess.run(["apt-get", "install", "-y", "-qq"] + missing, check=True, env=env)


def build_trox(cfg):
    if cfg.trox:
        return os.path.abspath(cfg.trox)
    build = os.path.join(REPO, "build-bench")
    log("building trox (Release) in " + build)
    subprocess.run(["cmake", "-S", REPO, "-B", build, "-DCMAKE_BUILD_TYPE=Release"],
                   check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", build, "-j", str(cfg.jobs), "--target", "trox"],
                   check=True, stdout=subprocess.DEVNULL)
    return os.path.join(build, "bin", "trox")


def ensure_user():
    if run_quiet(["id", "-u", USER]) != 0:
        subprocess.run(["useradd", "-r", "-M", "-d", "/", "-s", "/bin/bash", USER], check=True)
    # vsftpd enters the home folder before local_root, so the home must exist.
    subprocess.run(["usermod", "-d", "/", USER], check=True, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)
    subprocess.run(["chpasswd"], input=f"{USER}:{PASSWORD}\n", text=True, check=True)


def lock_user():
    run_quiet(["usermod", "-L", USER])


# ---------------------------------------------------------------- data sets


def text_bytes(rng, size):
    words = ["alpha", "bravo", "charlie", "delta", "echo", "foxtrot", "golf", "hotel", "india",
             "juliet", "kilo", "lima", "mike", "november", "oscar", "papa", "quebec", "romeo",
             "sierra", "tango", "uniform", "victor", "whiskey", "xray", "yankee", "zulu",
             "0123", "4567", "89", "(x)", "[y]", "{z}", "a=b;", "#", "--", "\"q\"", "'s'"]
    out = bytearray()
    while len(out) < size:
        line = " ".join(rng.choice(words) for _ in range(rng.randint(3, 12)))
        out += line.encode("ascii") + b"\n"
    out = out[:size - 1] + b"\n"
    return bytes(out)


def set_paths(count, fanout, ext):
    """Relative file paths: flat, or spread over fanout^3 leaf folders three levels deep."""
    if not fanout:
        return [f"f{i:05d}{ext}" for i in range(count)]
    leaves = [f"d{a}/e{b}/g{c}" for a in range(fanout) for b in range(fanout) for c in range(fanout)]
    return [f"{leaves[i % len(leaves)]}/f{i:05d}{ext}" for i in range(count)]


def make_set(root, name, layout):
    count, size, fanout, kind = layout
    folder = os.path.join(root, name)
    stamp = os.path.join(root, f".{name}.stamp")
    want = f"{count} {size} {fanout} {kind} v1\n"
    if os.path.exists(stamp) and open(stamp).read() == want:
        return
    log(f"making data set {name}: {count} x {size} bytes")
    shutil.rmtree(folder, ignore_errors=True)
    rng = random.Random(f"trox-bench-{name}")
    ext = ".txt" if kind == "text" else ".bin"
    paths = ["big.bin"] if name == "big" else set_paths(count, fanout, ext)
    for rel in paths:
        path = os.path.join(folder, rel)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            left = size
            while left:
                n = min(left, 4 << 20)
                f.write(text_bytes(rng, n) if kind == "text" else rng.randbytes(n))
                left -= n
    subprocess.run(["sync"])
    with open(stamp, "w") as f:
        f.write(want)


# ---------------------------------------------------------------- server


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_greeting(port, seconds):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=2) as s:
                if s.recv(64).startswith(b"220"):
                    return True
        except OSError:
            time.sleep(0.1)
    return False


class Vsftpd:
    def __init__(self, work, srv):
        self.base = os.path.join(work, "vsftpd")
        self.srv = srv
        self.proc = None
        self.port = 0
        self.extra_conf = ""

    def start(self, log_commands):
        empty = os.path.join(self.base, "empty")
        os.makedirs(empty, exist_ok=True)
        os.chmod(empty, 0o755)
        for _ in range(5):
            self.port = free_port()
            conf = os.path.join(self.base, "vsftpd.conf")
            with open(conf, "w") as c:
                c.write(
                    "listen=YES\nlisten_ipv6=NO\nbackground=NO\nlisten_address=127.0.0.1\n"
                    f"listen_port={self.port}\n"
                    "anonymous_enable=NO\nlocal_enable=YES\nwrite_enable=YES\nlocal_umask=022\n"
                    f"local_root={self.srv}\n"
                    "chroot_local_user=YES\nallow_writeable_chroot=YES\n"
                    f"secure_chroot_dir={empty}\n"
                    "seccomp_sandbox=NO\nisolate=NO\nisolate_network=NO\n"
                    "pam_service_name=vsftpd\nuserlist_enable=NO\n"
                    "pasv_enable=YES\npasv_address=127.0.0.1\nport_enable=YES\n"
                    "connect_from_port_20=NO\n"
                    "ascii_upload_enable=YES\nascii_download_enable=YES\n"
                    "utf8_filesystem=YES\n"
                    "max_clients=0\nmax_per_ip=0\ndelay_failed_login=0\n"
                    "ftpd_banner=vsftpd ready.\n" + self.extra_conf)
                if log_commands:
                    c.write("log_ftp_protocol=YES\nxferlog_enable=YES\nxferlog_std_format=NO\n"
                            f"vsftpd_log_file={self.base}/vsftpd.log\n")
                else:
                    c.write("xferlog_enable=NO\n")
            self.proc = subprocess.Popen(["/usr/sbin/vsftpd", conf], stdin=subprocess.DEVNULL,
                                         stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                         start_new_session=True)
            if wait_greeting(self.port, 10):
                return
            self.stop()
        sys.exit("vsftpd did not start")

    def stop(self):
        if self.proc and self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(5)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        self.proc = None


# ---------------------------------------------------------------- TLS


def tls_prepare(cfg):
    """With --tls: a certificate for the server, a transfer file that makes trox use explicit
    TLS with that certificate pinned, and the vsftpd lines that require TLS everywhere."""
    if not cfg.tls:
        return ""
    base = os.path.join(cfg.work, "tls")
    os.makedirs(base, exist_ok=True)
    cert, key = os.path.join(base, "server.pem"), os.path.join(base, "server.key")
    run_quiet(["openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256",
               "-nodes", "-days", "2", "-subj", "/CN=127.0.0.1",
               "-addext", "subjectAltName=IP:127.0.0.1", "-keyout", key, "-out", cert])
    pin = subprocess.run(["openssl", "x509", "-in", cert, "-noout", "-fingerprint", "-sha256"],
                         check=True, capture_output=True, text=True).stdout.split("=", 1)[1]
    cfg.tls_trx = os.path.join(base, "tls.trx")
    with open(cfg.tls_trx, "w") as f:
        f.write(f"[TROX]\r\nSECURITY=1\r\nCERTSHA256={pin.strip()}\r\n")
    os.chmod(key, 0o644)
    cfg.tools = [t for t in cfg.tools if t in ("trox", "lftp")]
    cfg.note = (cfg.note + " " if cfg.note else "") + \
        "vsftpd requires explicit TLS for log-in and data; trox pins its certificate, lftp " \
        "does not check it."
    return (f"ssl_enable=YES\nrsa_cert_file={cert}\nrsa_private_key_file={key}\n"
            "force_local_logins_ssl=YES\nforce_local_data_ssl=YES\nrequire_ssl_reuse=YES\n"
            "ssl_ciphers=HIGH\n")


def tls_command(cfg, tool, cmd):
    """The tool's command line with TLS required (unchanged without --tls)."""
    if not cfg.tls:
        return cmd
    if tool == "trox":
        return [cmd[0], "-f", cfg.tls_trx] + cmd[1:]
    if tool == "lftp":
        tls = ("set ftp:ssl-force true; set ftp:ssl-protect-data true; "
               "set ssl:verify-certificate no; ")
        return cmd[:2] + [cmd[2].replace("set ftp:ssl-allow no; ", tls)]
    return cmd


# ---------------------------------------------------------------- tools


class Job:
    """One data set in one direction: where its source is and where each run's result lands."""

    def __init__(self, cfg, name, direction):
        self.name = name
        self.direction = direction
        count, size, _, kind = SCALES[cfg.scale][name]
        self.files = count
        self.bytes = count * size
        self.single = name == "big"
        self.text = kind == "text"
        self.local_src = os.path.join(cfg.srv, "data", name)  # the same folder the server offers
        self.remote_src = f"/data/{name}"


def tool_command(cfg, tool, job, target_local, target_remote):
    """The command line, and the local folder whose tree must equal the source afterwards."""
    host, port = "127.0.0.1", str(cfg.port)
    send = job.direction == "send"
    src_file = os.path.join(job.local_src, "big.bin")
    if tool == "trox":
        cmd = [cfg.trox_bin, "-s", host, "-t", port, "-u", USER, "-p", PASSWORD, "-x"]
        if job.single:
            if send:
                cmd += ["-n", "-l", src_file, "-r", target_remote + "/big.bin"]
            else:
                cmd += ["-g", "-n", "-l", os.path.join(target_local, "big.bin"),
                        "-r", job.remote_src + "/big.bin"]
        elif send:
            cmd += ["-l", job.local_src, "-r", target_remote]
        else:
            cmd += ["-g", "-l", target_local, "-r", job.remote_src]
        return cmd, target_local
    if tool == "lftp":
        setup = ("set cmd:fail-exit yes; set ftp:ssl-allow no; set ftp:passive-mode yes; "
                 "set net:max-retries 1; set net:timeout 60; set xfer:clobber yes; ")
        ascii_opt = "--ascii " if job.text else ""
        if job.single:
            op = (f"put {src_file} -o {target_remote}/big.bin" if send else
                  f"get {job.remote_src}/big.bin -o {target_local}/big.bin")
        elif send:
            op = f"mirror -R --parallel=1 --no-perms {ascii_opt}{job.local_src} {target_remote}"
        else:
            op = f"mirror --parallel=1 --no-perms {ascii_opt}{job.remote_src} {target_local}"
        return ["lftp", "-c", f"{setup}open -u {USER},{PASSWORD} -p {port} {host}; {op}"], \
            target_local
    if tool == "ncftp":
        opts = ["-u", USER, "-p", PASSWORD, "-P", port, "-F", "-t", "60", "-V"]
        if job.text:
            opts.append("-a")
        if job.single:
            if send:
                return ["ncftpput"] + opts + [host, target_remote, src_file], target_local
            return ["ncftpget"] + opts + [host, target_local, job.remote_src + "/big.bin"], \
                target_local
        # ncftp copies the folder itself into the target, not its contents.
        if send:
            return ["ncftpput"] + opts + ["-R", host, target_remote, job.local_src], \
                os.path.join(target_local, job.name)
        return ["ncftpget"] + opts + ["-T", "-R", host, target_local, job.remote_src], \
            os.path.join(target_local, job.name)
    if tool == "curl":
        url = f"ftp://{host}:{port}"
        opts = ["curl", "-sS", "--ftp-pasv", "--user", f"{USER}:{PASSWORD}",
                "--connect-timeout", "30", "--speed-time", "60", "--speed-limit", "1"]
        if send:
            return opts + ["-T", src_file, f"{url}{target_remote}/big.bin"], target_local
        return opts + ["-o", os.path.join(target_local, "big.bin"),
                       f"{url}{job.remote_src}/big.bin"], target_local
    raise ValueError(tool)


def tools_for(cfg, job):
    return [t for t in cfg.tools if t != "curl" or job.single]


def quiesce(cfg):
    """Every run starts with the sockets that the many-file sets leave in TIME_WAIT (a minute
    each) down to a bound. Above about 20 000 of them vsftpd's session processes start to fail
    ("500 OOPS: priv_sock_get_int"), whichever tool is running, and ports become slow to find.
    (A sync before each run was tried too: the many-file sets then varied more, not less.)"""
    if cfg.tw_limit <= 0:
        return
    end = time.monotonic() + 65
    while time_wait_count() > cfg.tw_limit and time.monotonic() < end:
        time.sleep(1)


def time_wait_count():
    out = subprocess.run(["ss", "-tan", "state", "time-wait"], capture_output=True, text=True).stdout
    return max(0, len(out.splitlines()) - 1)


def compare_trees(src, dst):
    """None when dst holds exactly src's folders and files with equal bytes, else what differs."""
    def listing(root):
        entries = set()
        for d, dirs, files in os.walk(root):
            rel = os.path.relpath(d, root)
            entries.update(os.path.normpath(os.path.join(rel, x)) + "/" for x in dirs)
            entries.update(os.path.normpath(os.path.join(rel, x)) for x in files)
        return entries
    if not os.path.isdir(dst):
        return f"{dst} missing"
    a, b = listing(src), listing(dst)
    if a != b:
        missing, extra = sorted(a - b), sorted(b - a)
        return f"{len(missing)} missing (e.g. {missing[:3]}), {len(extra)} extra (e.g. {extra[:3]})"
    for rel in sorted(x for x in a if not x.endswith("/")):
        p, q = os.path.join(src, rel), os.path.join(dst, rel)
        if os.path.getsize(p) != os.path.getsize(q):
            return f"{rel}: {os.path.getsize(q)} bytes, expected {os.path.getsize(p)}"
        with open(p, "rb") as f, open(q, "rb") as g:
            while True:
                x, y = f.read(1 << 20), g.read(1 << 20)
                if x != y:
                    return f"{rel}: content differs"
                if not x:
                    break
    return None


def run_tool(cfg, tool, job, tag):
    """One timed run. Returns a result dict; the result tree stays for the caller to clear."""
    target_local = os.path.join(cfg.srv, "up", tag) if job.direction == "send" else \
        os.path.join(cfg.out, tag)
    target_remote = f"/up/{tag}"
    os.makedirs(target_local)
    if job.direction == "send":
        shutil.chown(target_local, USER, USER)
    cmd, result_root = tool_command(cfg, tool, job, target_local, target_remote)
    cmd = tls_command(cfg, tool, cmd)
    tfile = os.path.join(cfg.work, "time.out")
    tw = time_wait_count()
    env = dict(os.environ, HOME=cfg.home, LC_ALL="C")
    start = time.perf_counter()
    proc = subprocess.Popen(["/usr/bin/time", "-f", "%e %U %S %M", "-o", tfile] + cmd,
                            stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                            stderr=subprocess.STDOUT, env=env, start_new_session=True)
    try:
        output, _ = proc.communicate(timeout=cfg.timeout)
        timed_out = False
    except subprocess.TimeoutExpired:
        os.killpg(proc.pid, signal.SIGKILL)
        output, _ = proc.communicate()
        timed_out = True
    except BaseException:
        os.killpg(proc.pid, signal.SIGKILL)
        raise
    wall = time.perf_counter() - start
    rc = proc.returncode
    user, sys_t, rss = read_time_figures(tfile)
    text = output.decode("utf-8", "replace")
    if timed_out:
        problem = f"killed after {cfg.timeout} s"
    elif rc != 0:
        problem = f"exit code {rc}"
    else:
        problem = compare_trees(job.local_src, result_root)
    return {"tool": tool, "wall": wall, "cpu": user + sys_t, "user": user, "sys": sys_t,
            "rss_kib": rss, "tw": tw, "ok": problem is None, "problem": problem,
            "cmd": cmd, "output": text, "target": target_local}


def run_trox_on_terminal(cfg, job, tag, term, columns=120):
    """run_tool for trox with standard output and error on a pseudo-terminal; with TERM=dumb
    trox draws no status line, which tells the line's cost from the terminal's own. The
    terminal's side is read all along, as a terminal would."""
    import fcntl
    import pty
    import select
    import struct
    import termios
    target_local = os.path.join(cfg.srv, "up", tag) if job.direction == "send" else \
        os.path.join(cfg.out, tag)
    os.makedirs(target_local)
    if job.direction == "send":
        shutil.chown(target_local, USER, USER)
    cmd, result_root = tool_command(cfg, "trox", job, target_local, f"/up/{tag}")
    tfile = os.path.join(cfg.work, "time.out")
    master, slave = pty.openpty()
    fcntl.ioctl(slave, termios.TIOCSWINSZ, struct.pack("HHHH", 40, columns, 0, 0))
    env = dict(os.environ, HOME=cfg.home, LC_ALL="C", TERM=term)
    start = time.perf_counter()
    proc = subprocess.Popen(["/usr/bin/time", "-f", "%e %U %S %M", "-o", tfile] + cmd,
                            stdin=subprocess.DEVNULL, stdout=slave, stderr=slave, env=env,
                            start_new_session=True)
    os.close(slave)
    output = bytearray()
    deadline = time.monotonic() + cfg.timeout
    timed_out = False
    try:
        while True:
            left = deadline - time.monotonic()
            if left <= 0:
                os.killpg(proc.pid, signal.SIGKILL)
                timed_out = True
                break
            if not select.select([master], [], [], left)[0]:
                continue
            try:
                chunk = os.read(master, 65536)
            except OSError:  # EIO: the program and its terminal side are gone
                break
            if not chunk:
                break
            output += chunk
        proc.wait()
    except BaseException:
        os.killpg(proc.pid, signal.SIGKILL)
        raise
    finally:
        os.close(master)
    wall = time.perf_counter() - start
    user, sys_t, rss = read_time_figures(tfile)
    if timed_out:
        problem = f"killed after {cfg.timeout} s"
    elif proc.returncode != 0:
        problem = f"exit code {proc.returncode}"
    else:
        problem = compare_trees(job.local_src, result_root)
    return {"tool": "trox", "wall": wall, "cpu": user + sys_t, "rss_kib": rss, "ok": problem is None,
            "problem": problem, "cmd": cmd, "output": output.decode("utf-8", "replace"),
            "target": target_local}


def read_time_figures(tfile):
    """User and system CPU seconds and peak RSS from GNU time's output file; zeros when the run
    left none."""
    try:
        fields = open(tfile).read().split()[-4:]
        return float(fields[1]), float(fields[2]), int(fields[3])
    except (OSError, ValueError, IndexError):
        return 0.0, 0.0, 0


def prepare_tree(cfg):
    """The work tree: the data sets, an empty upload folder for the server and an empty output
    folder. Returns the trash that removes each run's files."""
    cfg.work = os.path.abspath(cfg.work)
    cfg.srv = os.path.join(cfg.work, "srv")
    cfg.out = os.path.join(cfg.work, "out")
    cfg.home = os.path.join(cfg.work, "home")
    for d in (cfg.work, cfg.srv, os.path.join(cfg.srv, "data"), cfg.home):
        os.makedirs(d, exist_ok=True)
        os.chmod(d, 0o755)
    for name in cfg.sets:
        make_set(os.path.join(cfg.srv, "data"), name, SCALES[cfg.scale][name])

    trash = Trash(cfg)
    # Leftovers of an interrupted run go first; when they were many, the first set waits.
    for d in (os.path.join(cfg.srv, "up"), cfg.out):
        if os.path.exists(d):
            trash.discard(d, MANY_FILES)
    trash.empty()
    os.makedirs(os.path.join(cfg.srv, "up"))
    shutil.chown(os.path.join(cfg.srv, "up"), USER, USER)
    os.makedirs(cfg.out)
    return trash


def bench_terminal(cfg):
    """trox on a pseudo-terminal with its status line, on one without it (TERM=dumb), and
    redirected, interleaved round by round. The ratios are of wall times: terminal / redirected
    is what the user sees, terminal / plain terminal what the line itself costs."""
    trash = prepare_tree(cfg)
    server = Vsftpd(cfg.work, cfg.srv)
    server.start(False)
    cfg.port = server.port
    log(f"vsftpd on 127.0.0.1:{cfg.port}; scale {cfg.scale}; {cfg.runs} counted runs after one "
        f"warm-up; trox on a terminal against trox redirected")
    rows, failed = [], False
    try:
        for name in cfg.sets:
            for direction in cfg.dirs:
                job = Job(cfg, name, direction)
                trash.settle()
                log(f"\n== {name} {direction}: {job.files} files, {job.bytes / 1e6:.1f} MB ==")
                counted = []
                for rnd in range(cfg.runs + 1):
                    modes = ["redirected", "terminal", "plain"]
                    results = {}
                    for mode in modes[rnd % 3:] + modes[:rnd % 3]:
                        quiesce(cfg)
                        tag = f"{name}-{direction}-{mode}-{rnd}"
                        if mode == "redirected":
                            r = run_tool(cfg, "trox", job, tag)
                        else:
                            r = run_trox_on_terminal(cfg, job, tag,
                                                     "xterm" if mode == "terminal" else "dumb")
                        results[mode] = r
                        lines = f"  {r['output'].count(chr(27) + '[K')} line erasures"
                        state = "ok" if r["ok"] else "FAILED: " + r["problem"]
                        log(f"  {'warm-up' if rnd == 0 else f'round {rnd}':8} {mode:10} "
                            f"{r['wall']:8.3f} s  cpu {r['cpu']:6.2f} s{lines}  {state}")
                        failed |= not r["ok"]
                        if not r["ok"]:
                            for line in r["output"].splitlines()[-6:]:
                                log("    | " + line)
                        trash.discard(r["target"], job.files)
                    if rnd and all(x["ok"] for x in results.values()):
                        counted.append(results)
                trash.empty()
                rows.append((name, direction, counted))
    finally:
        server.stop()
        trash.empty()

    def ratio(counted, a, b):
        values = [r[a]["wall"] / r[b]["wall"] for r in counted]
        return f"**{fmt(med(values), '.2f')}** ({', '.join(f'{x:.2f}' for x in values)})"

    lines = ["| set | direction | redirected s | plain terminal s | terminal s | terminal / "
             "redirected | terminal / plain terminal | CPU s redirected / plain / terminal |",
             "|" + "---|" * 8]
    for name, direction, counted in rows:
        walls = [fmt(med([r[m]["wall"] for r in counted]), ".3f")
                 for m in ("redirected", "plain", "terminal")]
        cpus = " / ".join(fmt(med([r[m]["cpu"] for r in counted]), ".2f")
                          for m in ("redirected", "plain", "terminal"))
        lines.append(f"| {name} | {direction} | {' | '.join(walls)} | "
                     f"{ratio(counted, 'terminal', 'redirected')} | "
                     f"{ratio(counted, 'terminal', 'plain')} | {cpus} |")
    log("\n" + "\n".join(lines))
    return 1 if failed else 0


# ---------------------------------------------------------------- cleaning up


def count_files(path):
    return sum(len(files) for _, _, files in os.walk(path))


class Trash:
    """Many-file trees are moved aside while a data set is timed and deleted afterwards."""

    def __init__(self, cfg):
        self.cfg = cfg
        self.folder = os.path.join(cfg.work, "trash")
        self.last_mass_delete = 0.0
        os.makedirs(self.folder, exist_ok=True)

    def discard(self, path, files):
        if files >= 100:
            os.rename(path, os.path.join(self.folder, f"{time.time_ns()}"))
        else:
            shutil.rmtree(path, ignore_errors=True)

    def empty(self):
        entries = os.listdir(self.folder)
        if not entries:
            return
        n = count_files(self.folder)
        for e in entries:
            shutil.rmtree(os.path.join(self.folder, e), ignore_errors=True)
        if n >= MANY_FILES:
            self.last_mass_delete = time.monotonic()

    def settle(self):
        wait = self.last_mass_delete + self.cfg.settle - time.monotonic()
        if self.last_mass_delete and wait > 0:
            log(f"  waiting {wait:.0f} s after a large deletion")
            time.sleep(wait)


# ---------------------------------------------------------------- statistics and tables


def med(values):
    return statistics.median(values) if values else None


def summarise(job, tools, rounds):
    """rounds: list of {tool: result} for counted rounds."""
    rows = []
    for tool in tools:
        ok = [r[tool] for r in rounds if tool in r and r[tool]["ok"]]
        total = sum(1 for r in rounds if tool in r)
        row = {"tool": tool, "ok": len(ok), "runs": total}
        if ok:
            wall = med([r["wall"] for r in ok])
            cpu = med([r["cpu"] for r in ok])
            row.update(wall=wall, mbs=job.bytes / 1e6 / wall, ms_file=wall * 1000 / job.files,
                       rss=med([r["rss_kib"] for r in ok]) / 1024,
                       rss_max=max(r["rss_kib"] for r in ok) / 1024, cpu=cpu,
                       cpu_gib=cpu / (job.bytes / (1 << 30)))
        rows.append(row)
    ratios = []
    peers = [t for t in tools if t != "trox"]
    for r in rounds:
        if "trox" not in r or not r["trox"]["ok"]:
            continue
        peer_times = [r[t]["wall"] for t in peers if t in r and r[t]["ok"]]
        if peer_times:
            ratios.append(r["trox"]["wall"] / min(peer_times))
    tw = [res["tw"] for r in rounds for res in r.values()]
    return rows, (med(ratios), ratios), tw


def fmt(v, form, none="—"):
    return none if v is None else format(v, form)


def table_lines(job, rows, ratio, tw):
    head = ["tool", "median s", "MB/s", "ms/file", "peak RSS MiB", "CPU s", "CPU s/GiB", "ok runs"]
    lines = ["| " + " | ".join(head) + " |", "|" + "---|" * len(head)]
    for row in rows:
        if row["ok"]:
            cells = [row["tool"], fmt(row["wall"], ".3f"), fmt(row["mbs"], ".1f"),
                     fmt(row["ms_file"], ".3f"), fmt(row["rss"], ".1f"), fmt(row["cpu"], ".3f"),
                     fmt(row["cpu_gib"], ".2f"), f"{row['ok']}/{row['runs']}"]
        else:
            cells = [row["tool"], "FAILED", "", "", "", "", "", f"0/{row['runs']}"]
        lines.append("| " + " | ".join(cells) + " |")
    ok_peers = [r for r in rows if r["tool"] != "trox" and r["ok"]]
    fastest = min(ok_peers, key=lambda r: r["wall"])["tool"] if ok_peers else "—"
    per_round = ", ".join(f"{x:.2f}" for x in ratio[1])
    lines.append("")
    lines.append(f"Paired ratio trox / fastest peer in the same round (median): "
                 f"**{fmt(ratio[0], '.2f')}** (rounds: {per_round or '—'}); fastest peer by "
                 f"median: {fastest}; TIME_WAIT sockets before runs: "
                 f"{min(tw) if tw else 0}–{max(tw) if tw else 0}.")
    return lines


def machine_info():
    cpu = "unknown"
    try:
        for line in open("/proc/cpuinfo"):
            if line.startswith("model name"):
                cpu = line.split(":", 1)[1].strip()
                break
    except OSError:
        pass
    mem = "unknown"
    try:
        for line in open("/proc/meminfo"):
            if line.startswith("MemTotal"):
                mem = f"{int(line.split()[1]) / (1 << 20):.1f} GiB"
    except OSError:
        pass
    return {"nproc": os.cpu_count(), "cpu": cpu, "memory": mem, "kernel": os.uname().release}


def versions(cfg):
    def dpkg(pkg):
        out = subprocess.run(["dpkg-query", "-W", "-f=${Version}", pkg], capture_output=True,
                             text=True)
        return out.stdout.strip() or "?"
    if cfg.trox:
        trox = f"binary {cfg.trox_bin}"
    else:
        git = subprocess.run(["git", "-C", REPO, "rev-parse", "--short", "HEAD"],
                             capture_output=True, text=True).stdout.strip() or "?"
        dirty = subprocess.run(["git", "-C", REPO, "status", "--porcelain", "--untracked-files=no"],
                               capture_output=True, text=True).stdout.strip()
        trox = f"built from commit {git}" + (" with local changes" if dirty else "")
    return {"trox": trox, "vsftpd": dpkg("vsftpd"), "lftp": dpkg("lftp"), "ncftp": dpkg("ncftp"),
            "curl": dpkg("curl")}


# ---------------------------------------------------------------- main


def parse_args():
    env = os.environ.get
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawTextHelpFormatter)
    p.add_argument("--scale", default=env("BENCH_SCALE", "full"), choices=sorted(SCALES))
    p.add_argument("--runs", type=int, default=int(env("BENCH_RUNS", "5")))
    p.add_argument("--sets", default=env("BENCH_SETS", ",".join(ALL_SETS)))
    p.add_argument("--dirs", default=env("BENCH_DIRS", "send,get"))
    p.add_argument("--tools", default=env("BENCH_TOOLS", ",".join(ALL_TOOLS)))
    p.add_argument("--work", default=env("BENCH_WORK", "/var/tmp/trox-bench"))
    p.add_argument("--results", default=env("BENCH_RESULTS", ""))
    p.add_argument("--trox", default=env("BENCH_TROX", ""))
    p.add_argument("--settle", type=float, default=float(env("BENCH_SETTLE", "65")))
    p.add_argument("--tw-limit", type=int, default=int(env("BENCH_TW_LIMIT", "12000")))
    p.add_argument("--timeout", type=float, default=float(env("BENCH_TIMEOUT", "900")))
    p.add_argument("--note", default=env("BENCH_NOTE", ""), help="a line for the results header")
    p.add_argument("--jobs", type=int, default=int(env("BENCH_JOBS", "2")))
    p.add_argument("--terminal", action="store_true",
                   default=env("BENCH_TERMINAL", "") not in ("", "0"),
                   help="trox on a pseudo-terminal against trox redirected")
    p.add_argument("--tls", action="store_true", default=env("BENCH_TLS", "") == "1",
                   help="the server requires explicit TLS; trox and lftp only")
    p.add_argument("--log-commands", action="store_true",
                   default=env("BENCH_LOG_COMMANDS", "") not in ("", "0"),
                   help="let vsftpd log every command (slows the server; for looking, not timing)")
    cfg = p.parse_args()
    cfg.sets = [s for s in ALL_SETS if s in cfg.sets.split(",")]
    cfg.dirs = [d for d in ("send", "get") if d in cfg.dirs.split(",")]
    cfg.tools = [t for t in ALL_TOOLS if t in cfg.tools.split(",")]
    if "trox" not in cfg.tools:
        cfg.tools.insert(0, "trox")
    if cfg.runs < 1:
        p.error("BENCH_RUNS must be at least 1")
    return cfg


def main():
    cfg = parse_args()
    ensure_root()
    ensure_packages()
    cfg.trox_bin = build_trox(cfg)
    # A kill ends the run like Ctrl-C: the server stops and the account is locked again.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    ensure_user()
    try:
        return bench_terminal(cfg) if cfg.terminal else bench(cfg)
    finally:
        lock_user()


def bench(cfg):
    trash = prepare_tree(cfg)

    server = Vsftpd(cfg.work, cfg.srv)
    server.extra_conf = tls_prepare(cfg)
    server.start(cfg.log_commands)
    cfg.port = server.port
    started = datetime.datetime.now(datetime.timezone.utc)
    log(f"vsftpd on 127.0.0.1:{cfg.port}; scale {cfg.scale}; {cfg.runs} counted runs after one "
        f"warm-up; tools {', '.join(cfg.tools)}")
    raw = open(os.path.join(cfg.work, "runs.csv"), "w")
    raw.write("set,direction,round,tool,ok,wall_s,user_s,sys_s,rss_kib,time_wait,problem\n")
    sections, failures = [], []
    try:
        for name in cfg.sets:
            for direction in cfg.dirs:
                job = Job(cfg, name, direction)
                tools = tools_for(cfg, job)
                trash.settle()
                log(f"\n== {name} {direction}: {job.files} files, {job.bytes / 1e6:.1f} MB ==")
                counted = []
                for rnd in range(cfg.runs + 1):
                    order = tools[rnd % len(tools):] + tools[:rnd % len(tools)]
                    results = {}
                    for tool in order:
                        tag = f"{name}-{direction}-{tool}-{rnd}"
                        quiesce(cfg)
                        r = run_tool(cfg, tool, job, tag)
                        results[tool] = r
                        label = "warm-up" if rnd == 0 else f"round {rnd}"
                        state = "ok" if r["ok"] else "FAILED: " + r["problem"]
                        log(f"  {label:8} {tool:6} {r['wall']:8.3f} s  cpu {r['cpu']:6.2f} s  "
                            f"rss {r['rss_kib'] / 1024:6.1f} MiB  tw {r['tw']:5}  {state}")
                        raw.write(f"{name},{direction},{rnd},{tool},{int(r['ok'])},"
                                  f"{r['wall']:.4f},{r['user']:.2f},{r['sys']:.2f},"
                                  f"{r['rss_kib']},{r['tw']},\"{r['problem'] or ''}\"\n")
                        raw.flush()
                        if not r["ok"]:
                            failures.append((name, direction, rnd, r))
                            log("    command: " + " ".join(r["cmd"]).replace(PASSWORD, "PASSWORD"))
                            for line in r["output"].splitlines()[-15:]:
                                log("    | " + line)
                        trash.discard(r["target"], job.files)
                    if rnd:
                        counted.append(results)
                trash.empty()
                rows, ratio, tw = summarise(job, tools, counted)
                title = (f"### {name} {direction}: {job.files} file(s), "
                         f"{job.bytes / 1e6:.1f} MB{' (ASCII)' if job.text else ''}")
                lines = table_lines(job, rows, ratio, tw)
                sections.append((title, lines, name, direction, rows, ratio))
                log("\n" + title + "\n" + "\n".join(lines))
    finally:
        server.stop()
        raw.close()
        trash.empty()

    finished = datetime.datetime.now(datetime.timezone.utc)
    report = render(cfg, sections, failures, started, finished)
    log("\n" + report)
    if cfg.results:
        with open(cfg.results, "w") as f:
            f.write(report)
        log(f"written to {cfg.results}")
    log(f"raw runs: {os.path.join(cfg.work, 'runs.csv')}")
    return 1 if failures else 0


def render(cfg, sections, failures, started, finished):
    m = machine_info()
    v = versions(cfg)
    out = ["# Benchmark results", "",
           f"Run {started:%Y-%m-%d %H:%M}–{finished:%H:%M} UTC; scale **{cfg.scale}**; "
           f"{cfg.runs} counted runs per tool after one warm-up round, tools interleaved "
           f"(order rotated each round); medians.", "",
           f"Machine: {m['nproc']} CPUs ({m['cpu']}), {m['memory']} memory, Linux {m['kernel']}.",
           f"Versions: trox {v['trox']}; vsftpd {v['vsftpd']}; lftp {v['lftp']}; "
           f"ncftp {v['ncftp']}; curl {v['curl']}.", ""] + ([cfg.note, ""] if cfg.note else []) + [
           "MB/s is 10^6 bytes of the data set per second of wall time; ms/file is the median "
           "time divided by the number of files; peak RSS is GNU time's %M (median over the "
           "counted runs); CPU is the client's user+sys time; CPU s/GiB is CPU time per GiB of "
           "the data set. A run counts only when the tool exits with 0 and the result tree "
           "equals the source byte for byte.", ""]
    out += ["## Summary", "",
            "| set | direction | trox s | fastest peer s | paired ratio | trox peak RSS MiB "
            "| trox CPU s/GiB | leanest peer CPU s/GiB |", "|" + "---|" * 8]
    for _, _, name, direction, rows, ratio in sections:
        trox = next(r for r in rows if r["tool"] == "trox")
        peers = [r for r in rows if r["tool"] != "trox" and r["ok"]]
        fast = min(peers, key=lambda r: r["wall"]) if peers else None
        lean = min(peers, key=lambda r: r["cpu"]) if peers else None
        out.append(" | ".join([
            f"| {name}", direction,
            fmt(trox.get("wall"), ".3f", "FAILED"),
            f"{fast['wall']:.3f} ({fast['tool']})" if fast else "—",
            fmt(ratio[0], ".2f"), fmt(trox.get("rss"), ".1f"), fmt(trox.get("cpu_gib"), ".2f"),
            f"{lean['cpu_gib']:.2f} ({lean['tool']})" if lean else "—"]) + " |")
    out.append("")
    for title, lines, *_ in sections:
        out += [title, ""] + lines + [""]
    if failures:
        out += ["## Failed runs", ""]
        for name, direction, rnd, r in failures:
            cmd = " ".join(r["cmd"]).replace(PASSWORD, "PASSWORD")
            out += [f"- {name} {direction}, round {rnd}, {r['tool']}: {r['problem']}", "",
                    "  ```", "  " + cmd]
            out += ["  " + line for line in r["output"].splitlines()[-12:]]
            out += ["  ```", ""]
    return "\n".join(out) + "\n"


if __name__ == "__main__":
    sys.exit(main())
