"""Installs a build into a temporary DESTDIR with prefix /usr and checks the tree;
with --package, makes the Debian package from the build instead, checks it with
Debian's tools and the tree it unpacks to, and runs the packaged lid helper."""

import argparse
import os
import pathlib
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
HELPER = BUNDLE + "/Contents/Helpers/StaywakeLidHelper"
UNITS = "usr/lib/systemd/system/staywake-lidhelper."
DESKTOP = "usr/share/applications/com.staywake.app.desktop"
METAINFO = "usr/share/metainfo/com.staywake.app.metainfo.xml"
SVG = "{http://www.w3.org/2000/svg}"
SKIPPED = 77
# (file, key, the values it may have; None: absent). The app's rows hold only when it is built.
VALUES = [
    (UNITS + "socket", "ListenSequentialPacket", [["/run/staywake/lidhelper.sock"]]),
    (UNITS + "socket", "SocketMode", [["0666"]]),
    (UNITS + "socket", "WantedBy", [["sockets.target"]]),
    (UNITS + "service", "ExecStart", [["/" + HELPER]]),
    (UNITS + "service", "Restart", [["always"]]),
    # Removed on stop, the runtime folder would take the socket's folder and pmset's record with it.
    (UNITS + "service", "RuntimeDirectory", [None, ["staywake"]]),
    (UNITS + "service", "RuntimeDirectoryPreserve", [None, ["yes"]]),
    (DESKTOP, "Type", [["Application"]]),
    (DESKTOP, "Exec", [["/usr/bin/staywake"]]),
]
APP_VALUES = [
    ("usr/share/dbus-1/services/com.staywake.app.service", "Name", [["com.staywake.app"]]),
    ("usr/share/dbus-1/services/com.staywake.app.service", "Exec", [["/usr/bin/staywake"]]),
]
# Tool, Debian package.
PACKAGE_TOOLS = [("dpkg-deb", "dpkg"), ("dpkg-shlibdeps", "dpkg-dev"), ("lintian", "lintian"),
                 ("appstreamcli", "appstream"), ("desktop-file-validate", "desktop-file-utils"),
                 ("systemd-analyze", "systemd")]
failures = []


def check(condition, message):
    if not condition:
        failures.append(message)


def unit_values(path):
    values = {}
    with open(path, encoding="utf-8") as file:
        for line in file.read().splitlines():
            if "=" in line and not line.startswith("#"):
                key, value = line.split("=", 1)
                values.setdefault(key.strip(), []).append(value.strip())
    return values


def output_of(command, **options):
    result = subprocess.run(command, capture_output=True, text=True, check=False, **options)
    check(result.returncode == 0, f"{' '.join(command)} failed ({result.returncode}): {result.stdout}{result.stderr}")
    return result.stdout


def verify_units(root):
    """systemd-analyze checks the units' syntax, with the service's program taken from the tree."""
    if shutil.which("systemd-analyze") is None or not os.path.exists(os.path.join(root, HELPER)):
        return
    with tempfile.TemporaryDirectory() as scratch:
        units = []
        for kind in ("socket", "service"):
            units.append(os.path.join(scratch, os.path.basename(UNITS) + kind))
            with open(os.path.join(root, UNITS + kind), encoding="utf-8") as source, \
                    open(units[-1], "w", encoding="utf-8") as copy:
                copy.write(source.read().replace("ExecStart=/", "ExecStart=" + root + "/"))
        result = subprocess.run(["systemd-analyze", "verify"] + units, capture_output=True, text=True, check=False)
        check(result.returncode == 0 and not result.stderr.strip(), "systemd-analyze verify: " + result.stderr)


def verify_icon(root, sizes):
    """Every theme size as a square PNG of that size, and a scalable SVG."""
    theme = os.path.join(root, "usr/share/icons/hicolor")
    # 48 pixels is what an icon theme must have at the least; menus and docks pick the rest.
    check(48 in sizes and 256 in sizes, f"the icon theme misses 48 or 256 pixels: {sizes}")
    for size in sizes:
        path = os.path.join(theme, f"{size}x{size}/apps/com.staywake.app.png")
        head = pathlib.Path(path).read_bytes()[:24] if os.path.isfile(path) else b""
        check(len(head) == 24 and head[:8] == b"\x89PNG\r\n\x1a\n" and head[12:16] == b"IHDR"
              and struct.unpack(">II", head[16:24]) == (size, size), f"{path} is no {size}x{size} PNG")
    path = os.path.join(theme, "scalable/apps/com.staywake.app.svg")
    try:
        svg = ElementTree.parse(path).getroot()
    except (OSError, ElementTree.ParseError) as error:
        check(False, f"no scalable icon: {error}")
        return
    check(svg.tag == SVG + "svg" and svg.find(f".//{SVG}path") is not None, f"{path} is no SVG that draws")
    check(re.fullmatch(r"0 0 [0-9.]+ [0-9.]+", svg.get("viewBox", "")) is not None, f"{path} has no viewBox")


def verify_tree(root, arguments):
    """The bundle, the commands, the units, the desktop entry and the icon, below `root` with prefix /usr."""
    programs = arguments.programs.split(",")
    contents = os.path.join(root, BUNDLE, "Contents")
    with open(os.path.join(contents, "Info.plist"), "rb") as file:
        info = plistlib.load(file)
    for key, expected in (("CFBundleIdentifier", "com.staywake.app"),
                          ("CFBundleShortVersionString", arguments.short_version),
                          ("CFBundleVersion", arguments.build_version)):
        # The versions must also pass the helper's rule for what it logs.
        check(info.get(key) == expected and re.fullmatch(r"[A-Za-z0-9._-]{1,64}", expected),
              f"{key} is {info.get(key)}, not {expected}")
    check(os.path.isdir(os.path.join(contents, "Resources")), "no Contents/Resources")
    for program in programs:
        path = os.path.join(contents, program)
        check(os.path.isfile(path) and os.access(path, os.X_OK)
              and os.stat(path).st_mode & (stat.S_IWGRP | stat.S_IWOTH) == 0,
              f"{program} is no executable in the bundle, or is writable by group or others")
    if "bin/Staywake" in programs:
        link = os.path.join(root, "usr/bin/staywake")
        check(os.path.islink(link) and os.readlink(link) == "../lib/staywake/Staywake.app/Contents/bin/Staywake"
              and os.path.isfile(link), "usr/bin/staywake does not lead to the app")
    if "bin/staywakectl" in programs:
        for path in ("usr/bin/staywakectl", "usr/share/bash-completion/completions/staywakectl"):
            check(os.path.isfile(os.path.join(root, path)), f"{path} is missing")
    for path, key, allowed in VALUES + (APP_VALUES if "bin/Staywake" in programs else []):
        value = unit_values(os.path.join(root, path)).get(key)
        check(value in allowed, f"{path}: {key} is {value}, not one of {allowed}")
    verify_units(root)
    with open(os.path.join(root, DESKTOP), encoding="utf-8") as file:
        check(file.readline() == "[Desktop Entry]\n", "desktop entry without its group")
    if arguments.icon_sizes:
        icon = unit_values(os.path.join(root, DESKTOP)).get("Icon")
        check(icon == ["com.staywake.app"], f"desktop entry's Icon is {icon}")
        verify_icon(root, [int(size) for size in arguments.icon_sizes.split(",")])


def verify_control(deb, arguments):
    """The control fields a broken package would get wrong, and the file's name made from them."""
    fields = {name: output_of(["dpkg-deb", "--field", deb, name]).strip()
              for name in ("Package", "Version", "Architecture", "Depends")}
    architecture = output_of(["dpkg", "--print-architecture"]).strip()
    # What dpkg-shlibdeps found the programs linked against.
    depends = [entry.strip().split(" ")[0] for entry in fields["Depends"].split(",")]
    qt = ["libqt6core6"] if "bin/Staywake" in arguments.programs.split(",") else []
    for name, holds in (
            ("Package", fields["Package"] == "staywake"),
            # A tree with uncommitted changes makes a "~dirty" version, which sorts below the clean one.
            ("Version", re.fullmatch(re.escape(arguments.build_version) + r"(~dirty)?", fields["Version"])),
            ("Architecture", fields["Architecture"] == architecture),
            ("file name", os.path.basename(deb) == f"staywake_{fields['Version']}_{architecture}.deb"),
            ("Depends", all(library in depends for library in ["libc6", "libstdc++6"] + qt))):
        check(holds, f"control field {name}: {fields.get(name, deb)}")


def verify_archive(deb, arguments):
    """Owners and modes as the archive records them: root owns everything, only
    the programs are executable, nothing is setuid or writable by others."""
    programs = {"./" + os.path.join(BUNDLE, "Contents", program) for program in arguments.programs.split(",")}
    listed = set()
    for line in output_of(["dpkg-deb", "--contents", deb]).splitlines():
        mode, owner, _, _, _, path = line.split(None, 5)
        path = path.split(" -> ")[0]
        listed.add(path)
        expected = {"d": "drwxr-xr-x", "l": "lrwxrwxrwx"}.get(mode[0],
                                                              "-rwxr-xr-x" if path in programs else "-rw-r--r--")
        check(owner == "root/root" and mode == expected, f"{path} is {mode} {owner}, not {expected} root/root")
    for path in sorted(programs) + ["./usr/bin/staywake", "./" + METAINFO,
                                    "./usr/share/polkit-1/actions/com.staywake.app.lidhelper.policy",
                                    "./usr/share/doc/staywake/copyright", "./usr/share/doc/staywake/changelog.gz"]:
        check(path in listed, f"the package lacks {path}")
    with tempfile.TemporaryDirectory(prefix="staywake-control-") as control:
        output_of(["dpkg-deb", "--control", deb, control])
        for script in ("postinst", "prerm", "postrm"):
            path = os.path.join(control, script)
            check(os.path.isfile(path) and stat.S_IMODE(os.stat(path).st_mode) == 0o755,
                  f"the maintainer script {script} is missing or not 0755")


def verify_metainfo(root, arguments):
    output_of(["appstreamcli", "validate", "--no-net", "--pedantic", os.path.join(root, METAINFO)])
    component = ElementTree.parse(os.path.join(root, METAINFO)).getroot()
    launchable = component.findtext("launchable") or "-"
    for what, holds in (
            ("launchable", os.path.isfile(os.path.join(root, "usr/share/applications", launchable))),
            ("binary", component.findtext("provides/binary") == "staywake"
             and os.path.lexists(os.path.join(root, "usr/bin/staywake"))),
            ("release", component.find(f"releases/release[@version='{arguments.build_version}']") is not None)):
        check(holds, f"metainfo {what} is wrong or not in the package")


def package_and_verify(arguments):
    missing = [f"{tool} (Debian package {package})" for tool, package in PACKAGE_TOOLS if shutil.which(tool) is None]
    if missing:
        reason = "making and checking the Debian package needs " + ", ".join(missing)
        if os.environ.get("STAYWAKE_NO_SKIP"):
            check(False, "expected to run, but: " + reason)
            return 1
        print("SKIPPED:", reason)
        return SKIPPED
    cpack = os.path.join(os.path.dirname(arguments.cmake), "cpack")
    with tempfile.TemporaryDirectory(prefix="staywake-package-") as scratch:
        output = os.path.join(scratch, "out")
        result = subprocess.run([cpack, "-G", "DEB", "--config", os.path.join(arguments.build, "CPackConfig.cmake"),
                                 "-B", output], capture_output=True, text=True, check=False)
        debs = [name for name in os.listdir(output) if name.endswith(".deb")] if os.path.isdir(output) else []
        if result.returncode != 0 or len(debs) != 1:
            print(result.stdout + result.stderr)
            return 1
        deb = os.path.join(output, debs[0])
        verify_control(deb, arguments)
        verify_archive(deb, arguments)
        # Errors fail; warnings and the overrides' reasons are in the package's overrides file.
        output_of(["lintian", "--fail-on", "error", "--no-tag-display-limit", deb])
        root = os.path.join(scratch, "root")
        output_of(["dpkg-deb", "-x", deb, root])
        verify_tree(root, arguments)
        output_of(["desktop-file-validate", os.path.join(root, DESKTOP)])
        verify_metainfo(root, arguments)
        # The helper the package holds, in a private /run, answering the app's client.
        helper = subprocess.run([arguments.helper_check], capture_output=True, text=True, check=False,
                                env=dict(os.environ, STAYWAKE_PACKAGED_HELPER=os.path.join(root, HELPER)))
        check(helper.returncode == 0, "the packaged helper: " + helper.stdout + helper.stderr)
    if "[  SKIPPED ]" in helper.stdout:
        print("the packaged helper was not run:", helper.stdout)
        return SKIPPED
    return 0


def install_and_verify(arguments):
    with tempfile.TemporaryDirectory(prefix="staywake-destdir-") as destdir:
        result = subprocess.run([arguments.cmake, "--install", arguments.build, "--prefix", "/usr"],
                                env=dict(os.environ, DESTDIR=destdir), capture_output=True, text=True, check=False)
        if result.returncode != 0:
            print(result.stdout + result.stderr)
            return 1
        # Uninstalling by the manifest must leave nothing behind.
        with open(os.path.join(arguments.build, "install_manifest.txt"), encoding="utf-8") as file:
            listed = {os.path.relpath(line, destdir) if line.startswith(destdir) else line.lstrip("/")
                      for line in file.read().splitlines()}
        for folder, _, names in os.walk(destdir):
            for name in names:
                installed = os.path.relpath(os.path.join(folder, name), destdir)
                check(installed in listed, f"{installed} is installed but not in the install manifest")
        verify_tree(destdir, arguments)
    return 0


def main():
    parser = argparse.ArgumentParser()
    for option in ("--build", "--cmake", "--programs", "--short-version", "--build-version"):
        parser.add_argument(option, required=True)
    parser.add_argument("--icon-sizes", default="", help="the theme sizes of the app's icon, comma-separated")
    parser.add_argument("--package", action="store_true", help="check the Debian package made from the build")
    parser.add_argument("--helper-check", help="the program that runs the packaged helper (with --package)")
    arguments = parser.parse_args()
    status = package_and_verify(arguments) if arguments.package else install_and_verify(arguments)
    for failure in failures:
        print("FAIL:", failure)
    return 1 if failures else status


if __name__ == "__main__":
    sys.exit(main())
