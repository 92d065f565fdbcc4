"""Installs a build into a temporary DESTDIR with prefix /usr and checks the tree;
with --package, makes the Debian package from the build instead, checks it with
Debian's tools and the tree it unpacks to, and runs the packaged lid helper."""

import argparse
import os
import pathlib
import plistlib
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ElementTree

BUNDLE = "usr/lib/staywake/Staywake.app/Contents/"
HELPER = BUNDLE + "Helpers/StaywakeLidHelper"
UNITS = "usr/lib/systemd/system/staywake-lidhelper."
DESKTOP = "usr/share/applications/com.staywake.app.desktop"
METAINFO = "usr/share/metainfo/com.staywake.app.metainfo.xml"
DBUS_SERVICE = "usr/share/dbus-1/services/com.staywake.app.service"
ICON = "usr/share/icons/hicolor/{0}/apps/com.staywake.app.{1}"
SVG = "{http://www.w3.org/2000/svg}"


def unit_values(path):
    values = {}
    with open(path, encoding="utf-8") as file:
        for key, value in (line.split("=", 1) for line in file if "=" in line and not line.startswith("#")):
            values.setdefault(key.strip(), []).append(value.strip())
    return values


def png_size(path):
    head = pathlib.Path(path).read_bytes()[:24]
    return struct.unpack(">II", head[16:24]) if head[:8] == b"\x89PNG\r\n\x1a\n" and head[12:16] == b"IHDR" else None


def svg_draws(path):
    svg = ElementTree.parse(path).getroot()
    return (svg.tag == SVG + "svg" and svg.find(f".//{SVG}path") is not None
            and re.fullmatch(r"0 0 [0-9.]+ [0-9.]+", svg.get("viewBox", "")) is not None)


# How a row's file holds its expected value.
KINDS = {
    "file": lambda path, _: os.path.isfile(path),
    "folder": lambda path, _: os.path.isdir(path),
    "program": lambda path, _: os.path.isfile(path) and os.access(path, os.X_OK) and not os.stat(path).st_mode & 0o022,
    "link": lambda path, target: os.readlink(path) == target and os.path.isfile(path),
    "key": lambda path, expected: unit_values(path).get(expected[0]) in expected[1],
    "plist": lambda path, expected: plistlib.loads(pathlib.Path(path).read_bytes()).get(expected[0]) == expected[1],
    "png": lambda path, size: png_size(path) == (size, size),
    "svg": lambda path, _: svg_draws(path),
}
# (when: "always", a bundle program built, or "icon" when the icon is drawn; kind; file; expected).
# A key's expected value is the key and the values it may have (None: absent).
ROWS = [
    ("always", "key", UNITS + "socket", ("ListenSequentialPacket", [["/run/staywake/lidhelper.sock"]])),
    ("always", "key", UNITS + "socket", ("SocketMode", [["0666"]])),
    ("always", "key", UNITS + "socket", ("WantedBy", [["sockets.target"]])),
    ("always", "key", UNITS + "service", ("ExecStart", [["/" + HELPER]])),
    ("always", "key", UNITS + "service", ("Restart", [["always"]])),
    # Removed on stop, the runtime folder would take the socket's folder and pmset's record with it.
    ("always", "key", UNITS + "service", ("RuntimeDirectory", [None, ["staywake"]])),
    ("always", "key", UNITS + "service", ("RuntimeDirectoryPreserve", [None, ["yes"]])),
    ("always", "key", DESKTOP, ("Type", [["Application"]])),
    ("always", "key", DESKTOP, ("Exec", [["/usr/bin/staywake"]])),
    ("always", "plist", BUNDLE + "Info.plist", ("CFBundleIdentifier", "com.staywake.app")),
    ("always", "folder", BUNDLE + "Resources", None),
    ("always", "file", "usr/share/polkit-1/actions/com.staywake.app.lidhelper.policy", None),
    ("always", "file", "usr/share/doc/staywake/copyright", None),
    ("always", "file", "usr/share/doc/staywake/changelog.gz", None),
    ("bin/Staywake", "link", "usr/bin/staywake", "../lib/staywake/Staywake.app/Contents/bin/Staywake"),
    ("bin/Staywake", "key", DBUS_SERVICE, ("Name", [["com.staywake.app"]])),
    ("bin/Staywake", "key", DBUS_SERVICE, ("Exec", [["/usr/bin/staywake"]])),
    ("bin/staywakectl", "file", "usr/bin/staywakectl", None),
    ("bin/staywakectl", "file", "usr/share/bash-completion/completions/staywakectl", None),
    ("icon", "key", DESKTOP, ("Icon", [["com.staywake.app"]])),
    ("icon", "svg", ICON.format("scalable", "svg"), None),
]
# Tool, Debian package.
PACKAGE_TOOLS = [("dpkg-deb", "dpkg"), ("dpkg-shlibdeps", "dpkg-dev"), ("lintian", "lintian"),
                 ("appstreamcli", "appstream"), ("desktop-file-validate", "desktop-file-utils"),
                 ("systemd-analyze", "systemd")]
failures = []


def check(condition, message):
    if not condition:
        failures.append(message)


def output_of(command, **options):
    result = subprocess.run(command, capture_output=True, text=True, check=False, **options)
    check(result.returncode == 0, f"{' '.join(command)} failed ({result.returncode}): {result.stdout}{result.stderr}")
    return result.stdout


def verify_tree(root, arguments):
    """The bundle, the commands, the units, the desktop entry and the icon, below `root` with prefix /usr."""
    programs = arguments.programs.split(",")
    sizes = [int(size) for size in arguments.icon_sizes.split(",") if size]
    # 48 pixels is what an icon theme must have at the least; menus and docks pick the rest.
    check(not sizes or {48, 256} <= set(sizes), f"the icon theme misses 48 or 256 pixels: {sizes}")
    rows = [row[1:] for row in ROWS if row[0] == "always" or row[0] in programs or (row[0] == "icon" and sizes)]
    rows += [("program", BUNDLE + program, None) for program in programs]
    rows += [("png", ICON.format(f"{size}x{size}", "png"), size) for size in sizes]
    rows += [("plist", BUNDLE + "Info.plist", (key, version)) for key, version in (
        ("CFBundleShortVersionString", arguments.short_version), ("CFBundleVersion", arguments.build_version))]
    for kind, path, expected in rows:
        try:
            holds = KINDS[kind](os.path.join(root, path), expected)
        except (OSError, ValueError, struct.error, ElementTree.ParseError):
            holds = False
        check(holds, f"{path} is no {kind} {expected or ''}")
    # systemd-analyze checks the units' syntax, with the service's program taken from the tree.
    if shutil.which("systemd-analyze") is None or not os.path.exists(os.path.join(root, HELPER)):
        return
    with tempfile.TemporaryDirectory() as scratch:
        units = [pathlib.Path(scratch, os.path.basename(UNITS) + kind) for kind in ("socket", "service")]
        for unit in units:
            text = pathlib.Path(root, UNITS + unit.suffix[1:]).read_text(encoding="utf-8")
            unit.write_text(text.replace("ExecStart=/", "ExecStart=" + root + "/"), encoding="utf-8")
        result = subprocess.run(["systemd-analyze", "verify"] + units, capture_output=True, text=True, check=False)
        check(result.returncode == 0 and not result.stderr.strip(), "systemd-analyze verify: " + result.stderr)


def verify_package(deb, root, arguments):
    """The control fields and the file named after them; owners and modes as the archive records them (root
    owns everything, only the programs are executable, nothing is setuid or writable by others); Debian's tools."""
    fields = {name: output_of(["dpkg-deb", "--field", deb, name]).strip()
              for name in ("Package", "Version", "Architecture", "Depends")}
    architecture = output_of(["dpkg", "--print-architecture"]).strip()
    # A tree with uncommitted changes makes a "~dirty" version, which sorts below the clean one.
    named = f"{fields['Package']}_{fields['Version']}_{fields['Architecture']}.deb"
    check(named == os.path.basename(deb) and re.fullmatch(
        f"staywake_{re.escape(arguments.build_version)}(~dirty)?_{architecture}\\.deb", named), f"{deb} is not {named}")
    # What dpkg-shlibdeps found the programs linked against.
    depends = [entry.strip().split(" ")[0] for entry in fields["Depends"].split(",")]
    qt = ["libqt6core6"] if "bin/Staywake" in arguments.programs.split(",") else []
    check(all(library in depends for library in ["libc6", "libstdc++6"] + qt), f"Depends: {fields['Depends']}")
    programs = {"./" + BUNDLE + program for program in arguments.programs.split(",")}
    for line in output_of(["dpkg-deb", "--contents", deb]).splitlines():
        mode, owner, _, _, _, path = line.split(None, 5)
        path = path.split(" -> ")[0]
        expected = {"d": "drwxr-xr-x", "l": "lrwxrwxrwx"}.get(mode[0],
                                                              "-rwxr-xr-x" if path in programs else "-rw-r--r--")
        check(owner == "root/root" and mode == expected, f"{path} is {mode} {owner}, not {expected} root/root")
    control = os.path.join(root, "DEBIAN")
    output_of(["dpkg-deb", "--control", deb, control])
    for script in ("postinst", "prerm", "postrm"):
        check(os.stat(os.path.join(control, script)).st_mode & 0o777 == 0o755, f"{script} is not 0755")
    # Errors fail; warnings and the overrides' reasons are in the package's overrides file.
    output_of(["lintian", "--fail-on", "error", "--no-tag-display-limit", deb])
    output_of(["desktop-file-validate", os.path.join(root, DESKTOP)])
    output_of(["appstreamcli", "validate", "--no-net", "--pedantic", os.path.join(root, METAINFO)])
    # What the metainfo names must be what the package holds (the rows above check that it is there).
    component = ElementTree.parse(os.path.join(root, METAINFO)).getroot()
    check(component.findtext("launchable") == os.path.basename(DESKTOP), "metainfo names another desktop entry")
    check(component.findtext("provides/binary") == "staywake", "metainfo provides another command")
    release = f"releases/release[@version='{arguments.build_version}']"
    check(component.find(release) is not None, "metainfo lists no release of this version")


def package_and_verify(arguments):
    missing = [f"{tool} (Debian package {package})" for tool, package in PACKAGE_TOOLS if shutil.which(tool) is None]
    if missing:
        reason = "making and checking the Debian package needs " + ", ".join(missing)
        check(not os.environ.get("STAYWAKE_NO_SKIP"), "expected to run, but: " + reason)
        print("SKIPPED:", reason)
        return 77
    cpack = os.path.join(os.path.dirname(arguments.cmake), "cpack")
    with tempfile.TemporaryDirectory(prefix="staywake-package-") as scratch:
        output, root = os.path.join(scratch, "out"), os.path.join(scratch, "root")
        result = subprocess.run([cpack, "-G", "DEB", "--config", os.path.join(arguments.build, "CPackConfig.cmake"),
                                 "-B", output], capture_output=True, text=True, check=False)
        debs = [name for name in os.listdir(output) if name.endswith(".deb")] if os.path.isdir(output) else []
        if result.returncode != 0 or len(debs) != 1:
            print(result.stdout + result.stderr)
            return 1
        output_of(["dpkg-deb", "-x", os.path.join(output, debs[0]), root])
        verify_tree(root, arguments)
        verify_package(os.path.join(output, debs[0]), root, arguments)
        # The helper the package holds, in a private /run, answering the app's client.
        helper = subprocess.run([arguments.helper_check], capture_output=True, text=True, check=False,
                                env=dict(os.environ, STAYWAKE_PACKAGED_HELPER=os.path.join(root, HELPER)))
        check(helper.returncode == 0, "the packaged helper: " + helper.stdout + helper.stderr)
    if "[  SKIPPED ]" in helper.stdout:
        print("the packaged helper was not run:", helper.stdout)
        return 77
    return 0


def install_and_verify(arguments):
    with tempfile.TemporaryDirectory(prefix="staywake-destdir-") as destdir:
        result = subprocess.run([arguments.cmake, "--install", arguments.build, "--prefix", "/usr"],
                                env=dict(os.environ, DESTDIR=destdir), capture_output=True, text=True, check=False)
        if result.returncode != 0:
            print(result.stdout + result.stderr)
            return 1
        # Uninstalling by the manifest must leave nothing behind.
        manifest = pathlib.Path(arguments.build, "install_manifest.txt").read_text(encoding="utf-8").splitlines()
        listed = {os.path.relpath(line, destdir) if line.startswith(destdir) else line.lstrip("/") for line in manifest}
        installed = {os.path.relpath(os.path.join(folder, name), destdir)
                     for folder, _, names in os.walk(destdir) for name in names}
        check(installed <= listed, f"installed but not in the install manifest: {sorted(installed - listed)}")
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
