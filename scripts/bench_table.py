#!/usr/bin/env python3
"""Turns the outputs of scripts/bench.sh (Google Benchmark JSON files and the resource_bench
listing in one folder) into one Markdown table with each figure beside its goal."""
import json
import os
import sys

folder, idle_seconds, burst = sys.argv[1], sys.argv[2], sys.argv[3]
UNIT = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}
LINKS = {"0": "usb", "1": "tcp", "2": "serial"}


def load(name):
    path = os.path.join(folder, name + ".json")
    if not os.path.exists(path):
        return []
    with open(path) as f:
        return json.load(f)["benchmarks"]


def seconds(b):
    return b["real_time"] * UNIT[b.get("time_unit", "ns")]


def status(b):
    return "ERROR: " + b.get("error_message", "") if b.get("error_occurred") else ""


rows = []


def row(area, what, figure, goal, verdict):
    rows.append((area, what, figure, goal, verdict))


# Codecs
for b in load("orb_codec_bench") + load("strix_codec_bench"):
    name = b["name"].split("/")
    if name[0] == "BM_Memcpy":
        row("codec", "memcpy %s B" % name[1], "%.0f MB/s" % (b["bytes_per_second"] / 1e6), "", "")
        continue
    if status(b):
        row("codec", b["name"], status(b), "", "fails")
        continue
    label = (" (" + b["label"] + ")") if b.get("label") else ""
    row("codec", "%s %d B%s" % (name[0][3:], int(b["bytes"]), label),
        "%.0f MB/s, %.1fx memcpy" % (b["bytes_per_second"] / 1e6, b["x_memcpy"]),
        "small factor of memcpy", "")

# Exchanges: SDK beside raw on the same link
def pairs(bench, sdk, raw, key=lambda n: n.split("/")[1]):
    s = {key(b["name"]): b for b in bench if b["name"].startswith(sdk + "/")}
    r = {key(b["name"]): b for b in bench if b["name"].startswith(raw + "/")}
    return s, r


orb = load("orb_exchange_bench")
sw = load("swipe_exchange_bench")


def best(bench, prefix):
    """Best round (least wall time) of each link for the exchange benchmarks named prefix/round:N
    [/link]; an errored round makes the link an error."""
    out = {}
    for b in bench:
        parts = b["name"].split("/")
        if parts[0] != prefix:
            continue
        link = parts[2] if len(parts) > 2 and parts[2].isdigit() else ""
        if status(b):
            out[link] = b
        elif link not in out or (not status(out[link]) and seconds(b) < seconds(out[link])):
            out[link] = b
    return out


def exchange(what, s, r):
    if status(s):
        row("exchange", what, status(s), "overhead < 200 us", "fails")
        return
    fig, verdict = "%.0f/s" % (1 / seconds(s)), ""
    if "proc_cpu_us" in s:
        fig += " (process CPU %.0f us each)" % s["proc_cpu_us"]
    if r is not None and not status(r):
        over = (seconds(s) - seconds(r)) * 1e6
        fig += "; raw client %.0f/s (CPU %.0f us); SDK overhead %.0f us wall, %.0f us CPU" % (
            1 / seconds(r), r.get("proc_cpu_us", float("nan")), over,
            s.get("proc_cpu_us", float("nan")) - r.get("proc_cpu_us", float("nan")))
        verdict = "holds" if over < 200 else "misses"
    row("exchange", what, fig, "overhead < 200 us", verdict)


ex_s, ex_r = best(orb, "BM_OrbExchange_Sdk"), best(orb, "BM_OrbExchange_Raw")
for k in sorted(ex_s):
    exchange("ORBX_SendAndReceiveMessage " + LINKS[k], ex_s[k], ex_r.get(k))
for link in ("hid", "serial"):
    s = best(sw, "BM_SwipeExchange_Sdk_" + link).get("")
    if s is not None:
        exchange("SendCommandEx " + link, s, best(sw, "BM_SwipeExchange_Raw_" + link).get(""))

# Notification bursts
n_s, n_r = pairs(orb, "BM_OrbNotifications_Sdk", "BM_OrbNotifications_Raw")
for k in sorted(n_s):
    s, r = n_s[k], n_r.get(k)
    what = "%s notifications to the data callback, %s, from the simulator" % (burst, LINKS[k])
    if status(s):
        row("notify", what, status(s), ">= 50,000/s, none lost, in order", "fails")
        continue
    fig = "%.0f/s, lost %d, in order %s" % (s["msgs_per_s"], s["lost"],
                                            "yes" if s["in_order"] else "NO")
    if r and not status(r):
        fig += ", raw client %.0f/s" % r["msgs_per_s"]
    ok = s["msgs_per_s"] >= 50000 and s["lost"] == 0 and s["in_order"]
    row("notify", what, fig, ">= 50,000/s, none lost, in order", "holds" if ok else "misses")

for b in orb:
    if not b["name"].startswith("BM_OrbNotifications_Sdk_Blast/"):
        continue
    link = LINKS[b["name"].split("/")[1]]
    what = "%s notifications to the data callback, %s, prebuilt stream (SDK capacity)" % (burst, link)
    if status(b):
        row("notify", what, status(b), ">= 50,000/s, none lost, in order", "fails")
        continue
    fig = "%.0f/s, lost %d, in order %s; process CPU %.1f us per message" % (
        b["msgs_per_s"], b["lost"], "yes" if b["in_order"] else "NO", b["proc_cpu_us_per_msg"])
    ok = b["msgs_per_s"] >= 50000 and b["lost"] == 0 and b["in_order"]
    row("notify", what, fig, ">= 50,000/s, none lost, in order", "holds" if ok else "misses")

# 1 MiB files
for direction in ("ToHost", "ToReader"):
    f_s, f_r = pairs(orb, "BM_OrbFile%s_Sdk" % direction, "BM_OrbFile%s_Raw" % direction)
    for k in sorted(f_s):
        s, r = f_s[k], f_r.get(k)
        what = "1 MiB file message %s, %s" % ("reader to host" if direction == "ToHost"
                                               else "host to reader", LINKS[k])
        if status(s):
            row("file", what, status(s), "", "fails")
            continue
        fig = "%.1f ms" % (seconds(s) * 1e3)
        if r and not status(r):
            fig += ", raw %.1f ms (x%.2f)" % (seconds(r) * 1e3, seconds(s) / seconds(r))
        row("file", what, fig, "", "")

# Idle cost and memory
res = {}
path = os.path.join(folder, "resource.txt")
if os.path.exists(path):
    for line in open(path):
        parts = line.split()
        if len(parts) >= 2:
            res[parts[0]] = float(parts[1])
for key in sorted(k for k in res if k.startswith("idle.") and k.endswith(".wakeups_per_s")):
    name = key[len("idle."):-len(".wakeups_per_s")]
    kind, n = name.rsplit(".", 1)
    cpu = res.get("idle.%s.cpu_ms_per_s" % name, float("nan"))
    opened = int(res.get("open." + name, 0))
    wake = res[key]
    per = wake / max(opened, 1)
    # "No measurable CPU": under 0.5 ms of CPU per second per reader (0.05 % of one core),
    # about the resolution of the process's CPU accounting on this machine.
    ok = opened == int(n) and per < 5 and cpu / max(opened, 1) < 0.5
    row("idle", "%s x%s open, idle %s s" % (kind, n, idle_seconds),
        "%.1f wake-ups/s (%.2f per reader), CPU %.2f ms/s%s" % (
            wake, per, cpu, "" if opened == int(n) else " (only %d opened)" % opened),
        "< 5 wake-ups/s and < 0.5 ms/s CPU per reader", "holds" if ok else "misses")
if "memory.libraries_cost" in res:
    cost = res["memory.libraries_cost"]
    row("memory", "loading liborbdev + libstrix + libtessera",
        "+%.2f MiB (dependencies %.1f MiB, total %.1f MiB)" % (
            cost, res["memory.dependencies_loaded"], res["memory.libraries_loaded"]),
        "< 2 MiB beyond the dependencies", "holds" if cost < 2 else "misses")
for key in sorted(k for k in res if k.startswith("memory.open8.")):
    row("memory", "opening 8 %s readers" % key[len("memory.open8."):], "+%.2f MiB" % res[key],
        "", "")

print(open(os.path.join(folder, "load")).read().strip())
print()
print("| area | what | figure | goal | verdict |")
print("|---|---|---|---|---|")
for r in rows:
    print("| " + " | ".join(r) + " |")
