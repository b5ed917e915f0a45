"""What the device benchmarks share: timing a command, dropping the page cache, disk images from
skelbrook-mkimage, and the slow block devices they read from and write to.

A slow disk is what a USB 2 disk behind a busy controller looks like: an image served by nbdkit
with a rate limit and a delay per request, one request at a time (a USB disk serves one command
at a time, so nothing hides the delay), exported as a file by nbdfuse and attached as a loop
device with direct I/O and a 128 KiB read-ahead. A failing one also has bad sectors: nbdkit's
ddrescue filter fails every request that meets them with EIO, as a dying disk does.
"""
import json, os, subprocess, sys, time

CLUSTER = 385024
SECTOR = 512


def timed(cmd, ok=(0,)):
    """Runs cmd; returns (seconds, peak resident KiB, exit status, stdout)."""
    start = time.perf_counter()
    proc = subprocess.Popen(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    out = proc.stdout.read()
    _, status, usage = os.wait4(proc.pid, 0)
    elapsed = time.perf_counter() - start
    code = os.waitstatus_to_exitcode(status)
    if code not in ok:
        sys.exit(f"failed ({code}): {' '.join(cmd)}: {proc.stderr.read().decode()}")
    return elapsed, usage.ru_maxrss, code, out


def drop_caches():
    subprocess.run(["sync"], check=True)
    with open("/proc/sys/vm/drop_caches", "w") as f:
        f.write("3\n")


def needs_root():
    if os.geteuid() != 0:
        sys.exit("needs root (loop devices, FUSE, dropping the page cache)")


def write_image(mkimage, work, recordings, name="disk.img", table_entries=4096):
    """A disk image holding the recordings ({"slot", "title", "size", "clusters", "seed"})."""
    design = os.path.join(work, name + ".json")
    with open(design, "w") as f:
        json.dump({"media_fat_entries": table_entries, "recordings": recordings}, f)
    image = os.path.join(work, name)
    subprocess.run([mkimage, "--from", design, image], check=True)
    return image


def listing(cli, image):
    return json.loads(subprocess.run([cli, "list", image, "--json"], check=True,
                                     capture_output=True).stdout)["recordings"]


class SlowDevice:
    """nbdkit (rate, delay and, with `bad`, ddrescue filters) -> nbdfuse -> a loop device.

    `bad` lists (offset, length) byte ranges that fail to read; `writable` serves an empty
    memory disk of `size` bytes instead of an image, to write to."""

    def __init__(self, work, image, rate, delay_ms, bad=(), writable=False, size=0, name="dev",
                 direct="on"):
        self.dev, self.nbdfuse = None, None
        base = os.path.join(work, name)
        sock, self.pidfile, self.mnt = base + ".sock", base + ".pid", base + ".mnt"
        os.makedirs(self.mnt, exist_ok=True)
        filters = ["--filter=rate", "--filter=delay"]
        args = [f"rate={rate * 8}", f"rdelay={delay_ms}ms", f"wdelay={delay_ms}ms"]
        if bad:
            mapfile = base + ".map"
            with open(mapfile, "w") as f:
                f.write("# Mapfile\n0x0 +\n")
                at = 0
                for first, length in sorted(bad):
                    if first > at:
                        f.write(f"{at:#x} {first - at:#x} +\n")
                    f.write(f"{first:#x} {length:#x} -\n")
                    at = first + length
                f.write(f"{at:#x} {os.path.getsize(image) - at:#x} +\n")
            filters.append("--filter=ddrescue")
            args.append(f"ddrescue-mapfile={mapfile}")
        plugin = ["memory", f"size={size}"] if writable else ["file", f"file={image}"]
        subprocess.run(["nbdkit"] + ([] if writable else ["-r"]) +
                       ["-t", "1", "-U", sock, "-P", self.pidfile] + filters + plugin + args,
                       check=True)
        self.nbdfuse = subprocess.Popen(["nbdfuse"] + ([] if writable else ["-r"]) +
                                        ["-C", "1", os.path.join(self.mnt, "disk"),
                                         "--unix", sock], stderr=subprocess.DEVNULL)
        for _ in range(100):
            if os.path.exists(os.path.join(self.mnt, "disk")):
                break
            time.sleep(0.1)
        self.dev = subprocess.run(["losetup", "-f", "--show", f"--direct-io={direct}"] +
                                  ([] if writable else ["-r"]) + [os.path.join(self.mnt, "disk")],
                                  check=True, capture_output=True, text=True).stdout.strip()
        subprocess.run(["blockdev", "--setra", "256", self.dev], check=True)  # 128 KiB

    def close(self):
        if self.dev:
            subprocess.run(["losetup", "-d", self.dev])
        subprocess.run(["fusermount3", "-u", self.mnt], stderr=subprocess.DEVNULL)
        if self.nbdfuse:
            self.nbdfuse.wait(timeout=10)
        if os.path.exists(self.pidfile):
            pid = int(open(self.pidfile).read())
            os.kill(pid, 15)
            for _ in range(50):
                try:
                    os.kill(pid, 0)
                except ProcessLookupError:
                    break
                time.sleep(0.1)
