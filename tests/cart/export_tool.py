#!/usr/bin/env python3
"""The stand-alone exporter end to end through `z6cart export`: the platform
folders and their files, the zip archives as a plain zip reader sees them, a
data file with runtime programs (copied, made executable, the icon injected,
the framework unpacked), and the refusals the console prints.

Usage: export_tool.py Z6CART PODTOOL DATA_POD CARTS_DIR carts|runtime
carts: exports of our own data file and the refusals; runtime: the export of a
data file that carries runtime programs. Each starts a dozen sanitized programs,
so they are two tests, run side by side.
"""
import os
import plistlib
import shutil
import stat
import struct
import subprocess
import sys
import tempfile
import zipfile

Z6CART, PODTOOL, DATA_POD, CARTS = (os.path.abspath(a) for a in sys.argv[1:5])
PART = sys.argv[5] if len(sys.argv) > 5 else ""
CART = os.path.join(CARTS, "every_section.z6")  # has a label
MARKER = bytes.fromhex("E8F1FFFFE8F1FFFF9C7683FF9C7683FF")
failures = []


def check(cond, what):
    if not cond:
        failures.append(what)
        print("FAIL:", what)


def run(args, cwd, pod=DATA_POD):
    p = subprocess.run([Z6CART, "-pod", pod, "export"] + args, cwd=cwd,
                       capture_output=True, text=True, timeout=300)
    return p.returncode, p.stdout.splitlines()


def png_size(path):
    with open(path, "rb") as f:
        head = f.read(24)
    check(head[:8] == b"\x89PNG\r\n\x1a\n", path + " is a PNG")
    return struct.unpack(">II", head[16:24])


def check_zip(path, prefix, programs):
    with zipfile.ZipFile(path) as z:
        check(z.testzip() is None, path + " reads back")
        names = z.namelist()
        check(all(n.startswith(prefix) for n in names), path + " entries under " + prefix)
        for info in z.infolist():
            mode = info.external_attr >> 16
            check(info.create_system == 3, info.filename + " made on Unix")
            base = info.filename.rstrip("/").rsplit("/", 1)[-1]
            if info.filename.endswith("/"):
                check(info.file_size == 0 and z.read(info) == b"",
                      info.filename + " folder without data")
            elif "." not in base or ".exe" in base:
                check(mode == 0o100775, "%s executable (%o)" % (info.filename, mode))
            else:
                check(mode == 0o100644, "%s plain (%o)" % (info.filename, mode))
        for p in programs:
            check(prefix + p in names, "%s holds %s" % (path, p))
        check(prefix + ("Contents/MacOS/data.pod" if prefix.endswith(".app/") else "data.pod")
              in names, path + " holds data.pod")


def check_tree(out, name, runtime):
    """runtime: bytes each program should hold, or None for the "empty" case."""
    top = os.path.join(out, name + ".bin")
    app = os.path.join(top, name + ".app")
    programs = {
        os.path.join(top, "windows", name + ".exe"): 0,
        os.path.join(top, "linux", name): 2,
        os.path.join(app, "Contents/MacOS", name): 3,
        os.path.join(top, "raspi", name): 6,
        os.path.join(top, "raspi", name + "_dyn"): 7,
    }
    for path, item in programs.items():
        check(os.path.isfile(path), path + " written")
        check(stat.S_IMODE(os.stat(path).st_mode) == 0o775, path + " mode 0775")
        data = open(path, "rb").read()
        if runtime is None:
            check(data == b"empty", path + ' is "empty"')
        elif item != 0:
            check(data == runtime[item], path + " is runtime item %d" % item)
    dll = open(os.path.join(top, "windows", "SDL2.dll"), "rb").read()
    check(dll == (b"empty" if runtime is None else runtime[1]), "SDL2.dll")
    for folder in ("windows", "linux", "raspi", name + ".app/Contents/MacOS"):
        pod = os.path.join(top, folder, "data.pod")
        check(os.path.getsize(pod) > 1000, pod + " written")
    for png in (os.path.join(top, "linux", name + ".png"), os.path.join(top, "raspi", name + ".png")):
        check(png_size(png) == (128, 128), png + " is 128x128")
    icns = os.path.join(app, "Contents/Resources", name + ".icns")
    check(os.path.getsize(icns) == 65948 and open(icns, "rb").read(4) == b"icns", "icns")
    with open(os.path.join(app, "Contents/Info.plist"), "rb") as f:
        plist = plistlib.load(f)
    check(plist.get("CFBundleExecutable") == name, "plist executable")
    check(plist.get("CFBundleIconFile") == name + ".icns", "plist icon")
    check(plist.get("CFBundleIdentifier") == "com.zibo6_author." + name, "plist identifier")
    check(plist.get("CFBundlePackageType") == "APPL", "plist package type")
    check(plist.get("LSMinimumSystemVersion") == "10.6", "plist system version")
    check(len(plist) == 13, "plist has 13 keys")
    fw = os.path.join(app, "Contents/Frameworks/SDL2.framework")
    for sub in ("Versions/A", "Versions/Current"):
        check(os.path.isdir(os.path.join(fw, sub)), fw + " " + sub)
    check_zip(os.path.join(top, name + "_windows.zip"), name + "_windows/", [name + ".exe", "SDL2.dll"])
    check_zip(os.path.join(top, name + "_linux.zip"), name + "_linux/", [name, name + ".png"])
    check_zip(os.path.join(top, name + "_raspi.zip"), name + "_raspi/", [name, name + "_dyn"])
    check_zip(os.path.join(top, name + "_osx.zip"), name + ".app/",
                  ["Contents/", "Contents/MacOS/" + name, "Contents/Info.plist",
                   "Contents/Frameworks/SDL2.framework/Versions/Current/"])
    return top


def podtool(*args):
    subprocess.run([PODTOOL] + list(args), check=True, capture_output=True, timeout=60)


def export_carts(tmp):
    # The plain export: no runtime programs in our data file.
    rc, out = run([CART, "game"], tmp)
    check(rc == 0 and out[-1:] == ["ok"], "plain export ends with ok: %r" % out)
    check(out[:1] == ["game.bin"], "output folder printed first: %r" % out[:1])
    check_tree(tmp, "game", None)

    # Further carts, an extra file and a sprite icon; the name's folder part is kept.
    os.makedirs(os.path.join(tmp, "sub"))
    shutil.copy(CART, os.path.join(tmp, "second.z6"))
    with open(os.path.join(tmp, "readme.txt"), "w") as f:
        f.write("read me\n")
    rc, out = run([CART, "sub/two", "second.z6", "-i", "1", "-s", "2", "-e", "readme.txt"], tmp)
    check(rc == 0 and "exporting 2 carts" in out, "two carts: %r" % out)
    top = check_tree(os.path.join(tmp, "sub"), "two", None)
    for folder in ("windows", "linux", "raspi", "two.app/Contents/MacOS"):
        check(open(os.path.join(top, folder, "readme.txt")).read() == "read me\n",
              "extra file in " + folder)
    listing = subprocess.run([PODTOOL, "list", os.path.join(top, "linux", "data.pod")],
                             capture_output=True, text=True).stdout.splitlines()
    top_items = [l for l in listing if not l.startswith(" ")]
    check(any(" every_section.z6 32768" in l for l in top_items), "working cart item")
    check(any(" second.z6 32768" in l for l in top_items), "further cart item")

    # A further cart is loaded as the player loads it: map rows 32-63 reach its image
    # (cell 1 of row 40 is image byte 0x1401).
    rows = ["".join("35" if (y, x) == (40, 1) else "00" for x in range(128)) for y in range(64)]
    with open(os.path.join(tmp, "map64.z6"), "w") as f:
        f.write("zibo-6 cartridge // x\nversion 33\n__lua__\nx=1\n__map__\n" + "\n".join(rows) + "\n")
    rc, out = run([CART, "maps", "map64.z6"], tmp)
    check(rc == 0, "export with a 64-row map: %r" % out)
    pod = os.path.join(check_tree(tmp, "maps", None), "linux", "data.pod")
    listing = subprocess.run([PODTOOL, "list", pod], capture_output=True, text=True).stdout.splitlines()
    index = [l.split()[0] for l in listing if not l.startswith(" ") and " map64.z6 " in l]
    check(len(index) == 1, "the further cart's item: %r" % listing)
    if index:
        podtool("extract", pod, index[0], os.path.join(tmp, "map64.img"))
        image = open(os.path.join(tmp, "map64.img"), "rb").read()
        check(len(image) == 32768 and image[0x1401] == 0x35, "map row 40 in the exported image")

    # Refusals.
    with open(os.path.join(tmp, "nolabel.z6"), "w") as f:
        f.write("zibo-6 cartridge\nversion 33\n__lua__\nprint(1)\n")
    rc, out = run([os.path.join(tmp, "nolabel.z6"), "x"], tmp)
    check(rc != 0 and out == ["no icon found", "please capture a label or use -i"],
          "no label: %r" % out)
    check(not os.path.exists(os.path.join(tmp, "x.bin")), "nothing written without icon")
    rc, out = run([os.path.join(tmp, "nolabel.z6"), "x", "-i", "0"], tmp)
    check(rc == 0 and out[-1:] == ["ok"], "no label but -i: %r" % out)
    rc, out = run([CART, "many"] + ["second.z6"] * 16, tmp)
    check(rc != 0 and out == ["too many carts! max: 16"], "too many: %r" % out)
    rc, out = run([CART, "lost", "missing.z6"], tmp)
    check(rc != 0 and "** missing.z6 not found" in out, "missing cart: %r" % out)
    rc, out = run([CART, "bad", "-Q"], tmp)
    check(rc != 0 and out == ["bad argument"], "bad argument: %r" % out)

    # Files that cannot be written (the output folder's parent is missing): each is
    # named, the export goes on, and it ends without "ok" and with exit status 1.
    rc, out = run([CART, "no/such/game"], tmp)
    unwritten = [l for l in out if l.startswith("could not write ")]
    check(rc == 1 and "ok" not in out, "unwritable export: %d %r" % (rc, out[-3:]))
    check("could not write data.pod" in unwritten and "could not write game_linux.zip" in unwritten,
          "unwritable export names its files: %r" % unwritten)
    # A name longer than the 1,023 characters a name holds would be cut to another
    # path: refused before anything is made; an -e name cut likewise.
    long_folder = "e" * 1216
    rc, out = run([CART, long_folder + "/game"], tmp)
    check(rc == 1 and out == ["name too long! max: 1023 characters"], "long name: %r" % out[:3])
    check(not any(n.startswith("eee") for n in os.listdir(tmp)), "long name made nothing")
    rc, out = run([CART, "cut", "-e", "x" * 200], tmp)
    check(rc == 1 and out == ["name too long! max: 127 characters"], "long -e name: %r" % out[:3])
    check(not os.path.exists(os.path.join(tmp, "cut.bin")), "long -e name made nothing")

    # A ROM whose compressed code is damaged is not exported as the cart, as the
    # working cart or a further one.
    subprocess.run([Z6CART, "convert", CART, os.path.join(tmp, "whole.rom")], check=True,
                   capture_output=True, timeout=60)
    rom = bytearray(open(os.path.join(tmp, "whole.rom"), "rb").read())
    stated = struct.unpack(">H", rom[0x4306:0x4308])[0]
    rom[0x4300 + stated // 2:0x4300 + stated] = b"\xff" * (stated - stated // 2)
    with open(os.path.join(tmp, "damaged.rom"), "wb") as f:
        f.write(rom)
    p = subprocess.run([Z6CART, "-pod", DATA_POD, "export", os.path.join(tmp, "damaged.rom"),
                        "dmg", "-i", "0"], cwd=tmp, capture_output=True, text=True, timeout=300)
    check(p.returncode == 1 and "damaged" in p.stderr and p.stdout == "",
          "damaged working cart: %d %r %r" % (p.returncode, p.stdout[-200:], p.stderr))
    rc, out = run([CART, "dmg2", "damaged.rom"], tmp)
    check(rc == 1 and "** damaged.rom: code block damaged" in out and "ok" not in out,
          "damaged further cart: %r" % out[-3:])


def export_runtime(tmp):
    # A data file that carries runtime programs (entry 7) and a framework.
    rt = os.path.join(tmp, "rt")
    os.makedirs(rt)
    for i in range(4):
        podtool("extract", DATA_POD, str(i), os.path.join(rt, "entry%d" % i))
    exe = bytearray(os.urandom(80000))
    exe[20000:20016] = MARKER  # icon block at 20000 - 14632
    runtime = {0: bytes(exe), 1: b"dll bytes", 2: b"\x7fELF linux", 3: b"mac program",
               4: b"unused", 6: b"pi program", 7: b"pi dynamic"}
    fw = os.path.join(rt, "fw")
    os.makedirs(fw)
    open(os.path.join(fw, "__Resources"), "wb").close()  # size 0: a folder
    with open(os.path.join(fw, "__SDL2"), "wb") as f:
        f.write(b"L" * 0x100001)
    with open(os.path.join(fw, "___CodeSignature"), "wb") as f:
        f.write(b"sig")
    with open(os.path.join(fw, "__.."), "wb") as f:  # hostile: ".." once unprefixed
        f.write(b"escape")
    podtool("create", os.path.join(rt, "item5"),
            *[os.path.join(fw, n) for n in ("__Resources", "__SDL2", "___CodeSignature", "__..")])
    items = []
    for i in range(8):
        path = os.path.join(rt, "item%d" % i)
        if i != 5:
            with open(path, "wb") as f:
                f.write(runtime[i])
        items.append(path)
    podtool("create", os.path.join(rt, "runtime.pod"), *items)
    entries = [os.path.join(rt, "entry%d" % i) for i in range(4)]
    for i in (4, 5, 6):
        entries.append(os.path.join(rt, "item4"))
    entries.append(os.path.join(rt, "runtime.pod"))
    full_pod = os.path.join(rt, "data.pod")
    podtool("create", full_pod, *entries)
    rc, out = run([CART, "full"], tmp, full_pod)
    check(rc == 0 and out[-1:] == ["ok"], "export with runtime: %r" % out)
    top = check_tree(tmp, "full", runtime)
    got = open(os.path.join(top, "windows", "full.exe"), "rb").read()
    block = 20000 - 14632
    check(len(got) == len(exe) and got[:block] == exe[:block]
          and got[block + 65536:] == exe[block + 65536:], "exe outside the icon unchanged")
    check(got[block:block + 65536] != exe[block:block + 65536], "icon injected")
    png = os.path.join(top, "linux", "full.png")
    check(png_size(png) == (128, 128), "icon png")
    framework = os.path.join(top, "full.app/Contents/Frameworks/SDL2.framework")
    for sub in ("", "Versions/A", "Versions/Current"):
        d = os.path.join(framework, sub)
        check(os.path.isdir(os.path.join(d, "Resources")), "framework folder in " + d)
        lib = os.path.join(d, "SDL2")
        check(os.path.getsize(lib) == 0x100001, "framework library in " + d)
        check(stat.S_IMODE(os.stat(lib).st_mode) == 0o755, "large file mode 0755 in " + d)
        check(os.path.exists(os.path.join(d, "_CodeSignature")) == (sub != ""),
              "signature in " + d)
    check(not os.path.exists(os.path.join(top, "full.app/Contents/Frameworks/escape")),
          "no framework escape")


def main():
    parts = {"carts": export_carts, "runtime": export_runtime}
    if PART not in parts:
        print("usage: export_tool.py Z6CART PODTOOL DATA_POD CARTS_DIR carts|runtime")
        sys.exit(2)
    tmp = tempfile.mkdtemp(prefix="z6_export_")
    try:
        parts[PART](tmp)
    finally:
        shutil.rmtree(tmp, ignore_errors=True)
    if failures:
        print("%d failures" % len(failures))
        sys.exit(1)
    print("export end to end (%s): ok" % PART)


main()
