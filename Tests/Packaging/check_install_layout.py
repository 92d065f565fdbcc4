"""Installs a build into a temporary DESTDIR with prefix /usr and checks the tree."""

import argparse
import os
import plistlib
import re
import shutil
import stat
import struct
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ElementTree

BUNDLE = "usr/lib/staywake/Staywake.app"
failures = []


def check(condition, message):
    if not condition:
        failures.append(message)


def read(path):
    with open(path, encoding="utf-8") as file:
        return file.read()


def unit_values(text):
    values = {}
    for line in text.splitlines():
        if "=" in line and not line.startswith("#"):
            key, value = line.split("=", 1)
            values.setdefault(key.strip(), []).append(value.strip())
    return values


def verify_units(destdir):
    """systemd-analyze checks the units' syntax; the service's program is taken
    from the DESTDIR, since it is not installed on this host."""
    analyze = shutil.which("systemd-analyze")
    if analyze is None:
        return
    units = os.path.join(destdir, "usr/lib/systemd/system")
    with tempfile.TemporaryDirectory() as scratch:
        for name in ("staywake-lidhelper.socket", "staywake-lidhelper.service"):
            text = read(os.path.join(units, name)).replace("ExecStart=/", "ExecStart=" + destdir + "/")
            with open(os.path.join(scratch, name), "w", encoding="utf-8") as file:
                file.write(text)
        helper = os.path.join(destdir, BUNDLE, "Contents/Helpers/StaywakeLidHelper")
        if not os.path.exists(helper):
            return  # the service cannot be verified without its program
        result = subprocess.run([analyze, "verify", os.path.join(scratch, "staywake-lidhelper.socket"),
                                 os.path.join(scratch, "staywake-lidhelper.service")],
                                capture_output=True, text=True, check=False)
        check(result.returncode == 0 and result.stderr.strip() == "",
              "systemd-analyze verify: " + result.stdout + result.stderr)


def png_size(path):
    """The width and height in a PNG's header, or None when the file is no PNG."""
    with open(path, "rb") as file:
        head = file.read(24)
    if len(head) < 24 or head[:8] != b"\x89PNG\r\n\x1a\n" or head[12:16] != b"IHDR":
        return None
    return struct.unpack(">II", head[16:24])


def verify_icon(destdir, name, sizes):
    """Every theme size as a square PNG of that size and the scalable SVG, under the
    name the desktop entry gives."""
    theme = os.path.join(destdir, "usr/share/icons/hicolor")
    for size in sizes:
        path = os.path.join(theme, f"{size}x{size}/apps/{name}.png")
        if not os.path.isfile(path):
            check(False, f"no {size}x{size} icon named {name}")
            continue
        check(png_size(path) == (size, size), f"{path} is {png_size(path)}, not a {size}x{size} PNG")
    path = os.path.join(theme, f"scalable/apps/{name}.svg")
    if not os.path.isfile(path):
        check(False, f"no scalable icon named {name}")
        return
    try:
        root = ElementTree.parse(path).getroot()
    except ElementTree.ParseError as error:
        check(False, f"{path} is no XML: {error}")
        return
    check(root.tag == "{http://www.w3.org/2000/svg}svg", f"{path} is no SVG document but {root.tag}")
    check(re.fullmatch(r"0 0 [0-9.]+ [0-9.]+", root.get("viewBox", "")) is not None,
          f"{path} has no viewBox to scale by")
    check(root.find(".//{http://www.w3.org/2000/svg}path") is not None, f"{path} draws no path")


def verify_manifest(destdir, build):
    """Every file and link the install put down is in the install manifest, so
    that uninstalling by the manifest leaves nothing behind."""
    with open(os.path.join(build, "install_manifest.txt"), encoding="utf-8") as file:
        listed = {os.path.relpath(line, destdir) if line.startswith(destdir) else line.lstrip("/")
                  for line in file.read().splitlines()}
    for folder, _, names in os.walk(destdir):
        for name in names:
            installed = os.path.relpath(os.path.join(folder, name), destdir)
            check(installed in listed, f"{installed} is installed but not in the install manifest")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--cmake", required=True)
    parser.add_argument("--programs", required=True)
    parser.add_argument("--short-version", required=True)
    parser.add_argument("--build-version", required=True)
    parser.add_argument("--icon-sizes", default="", help="the theme sizes of the app's icon, comma-separated")
    arguments = parser.parse_args()

    with tempfile.TemporaryDirectory(prefix="staywake-destdir-") as destdir:
        environment = dict(os.environ, DESTDIR=destdir)
        result = subprocess.run([arguments.cmake, "--install", arguments.build, "--prefix", "/usr"],
                                env=environment, capture_output=True, text=True, check=False)
        if result.returncode != 0:
            print(result.stdout + result.stderr)
            return 1

        verify_manifest(destdir, arguments.build)
        contents = os.path.join(destdir, BUNDLE, "Contents")
        with open(os.path.join(contents, "Info.plist"), "rb") as file:
            info = plistlib.load(file)
        check(info.get("CFBundleIdentifier") == "com.staywake.app", f"CFBundleIdentifier is {info}")
        check(info.get("CFBundleShortVersionString") == arguments.short_version, f"short version in {info}")
        check(info.get("CFBundleVersion") == arguments.build_version, f"build version in {info}")
        for key in ("CFBundleShortVersionString", "CFBundleVersion"):
            check(re.fullmatch(r"[A-Za-z0-9._-]{1,64}", str(info.get(key))) is not None,
                  f"{key} would not pass the helper's version rule")
        check(os.path.isdir(os.path.join(contents, "Resources")), "no Contents/Resources")

        for program in arguments.programs.split(","):
            path = os.path.join(contents, program)
            check(os.path.isfile(path) and os.access(path, os.X_OK), f"{program} is not an executable in the bundle")
            if os.path.isfile(path):
                mode = os.stat(path).st_mode
                check(mode & (stat.S_IWGRP | stat.S_IWOTH) == 0, f"{program} is writable by group or others")

        link = os.path.join(destdir, "usr/bin/staywake")
        if "bin/Staywake" in arguments.programs.split(","):
            check(os.path.islink(link) and os.readlink(link) == "../lib/staywake/Staywake.app/Contents/bin/Staywake",
                  "usr/bin/staywake does not link to the app")
            check(os.path.isfile(link), "usr/bin/staywake dangles")
            service = read(os.path.join(destdir, "usr/share/dbus-1/services/com.staywake.app.service"))
            check(unit_values(service) == {"Name": ["com.staywake.app"], "Exec": ["/usr/bin/staywake"]},
                  f"the bus cannot start the app from {service!r}")
        if "bin/staywakectl" in arguments.programs.split(","):
            check(os.path.isfile(os.path.join(destdir, "usr/bin/staywakectl")), "usr/bin/staywakectl is missing")
            check(os.path.isfile(os.path.join(destdir, "usr/share/bash-completion/completions/staywakectl")),
                  "staywakectl has no bash completion")

        units = os.path.join(destdir, "usr/lib/systemd/system")
        socket = unit_values(read(os.path.join(units, "staywake-lidhelper.socket")))
        check(socket.get("ListenSequentialPacket") == ["/run/staywake/lidhelper.sock"], f"socket: {socket}")
        check(socket.get("SocketMode") == ["0666"], f"socket mode: {socket}")
        check(socket.get("WantedBy") == ["sockets.target"], f"socket install: {socket}")
        service = unit_values(read(os.path.join(units, "staywake-lidhelper.service")))
        check(service.get("ExecStart") == ["/usr/lib/staywake/Staywake.app/Contents/Helpers/StaywakeLidHelper"],
              f"service ExecStart: {service.get('ExecStart')}")
        check(service.get("Restart") == ["always"], "service does not restart always")
        check("RuntimeDirectory" not in service, "a RuntimeDirectory would wipe pmset's record on every stop")
        verify_units(destdir)

        desktop = read(os.path.join(destdir, "usr/share/applications/com.staywake.app.desktop"))
        check(desktop.startswith("[Desktop Entry]\n"), "desktop entry without its group")
        check("\nExec=/usr/bin/staywake\n" in desktop, "desktop entry does not start /usr/bin/staywake")
        check("\nType=Application\n" in desktop, "desktop entry is no application")
        if arguments.icon_sizes:
            icon = unit_values(desktop).get("Icon")
            check(icon == ["com.staywake.app"], f"desktop entry's Icon is {icon}")
            sizes = [int(size) for size in arguments.icon_sizes.split(",")]
            # 48 pixels is what an icon theme must have at the least; menus and docks pick the rest.
            check(48 in sizes and 256 in sizes, f"the icon theme misses 48 or 256 pixels: {sizes}")
            verify_icon(destdir, "com.staywake.app", sizes)

    for failure in failures:
        print("FAIL:", failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
