"""Installs a build into a temporary DESTDIR with prefix /usr and checks the tree;
with --package, makes the Debian package from the build instead, checks the
package itself with Debian's tools and the tree it unpacks to, and runs the
packaged lid helper."""

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


def verify_tree(root, arguments):
    """The bundle, the command link, the units, the desktop entry and the icon,
    as installed below `root` with prefix /usr."""
    contents = os.path.join(root, BUNDLE, "Contents")
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

    link = os.path.join(root, "usr/bin/staywake")
    if "bin/Staywake" in arguments.programs.split(","):
        check(os.path.islink(link) and os.readlink(link) == "../lib/staywake/Staywake.app/Contents/bin/Staywake",
              "usr/bin/staywake does not link to the app")
        check(os.path.isfile(link), "usr/bin/staywake dangles")
        service = read(os.path.join(root, "usr/share/dbus-1/services/com.staywake.app.service"))
        check(unit_values(service) == {"Name": ["com.staywake.app"], "Exec": ["/usr/bin/staywake"]},
              f"the bus cannot start the app from {service!r}")
    if "bin/staywakectl" in arguments.programs.split(","):
        check(os.path.isfile(os.path.join(root, "usr/bin/staywakectl")), "usr/bin/staywakectl is missing")
        check(os.path.isfile(os.path.join(root, "usr/share/bash-completion/completions/staywakectl")),
              "staywakectl has no bash completion")

    units = os.path.join(root, "usr/lib/systemd/system")
    socket = unit_values(read(os.path.join(units, "staywake-lidhelper.socket")))
    check(socket.get("ListenSequentialPacket") == ["/run/staywake/lidhelper.sock"], f"socket: {socket}")
    check(socket.get("SocketMode") == ["0666"], f"socket mode: {socket}")
    check(socket.get("WantedBy") == ["sockets.target"], f"socket install: {socket}")
    service = unit_values(read(os.path.join(units, "staywake-lidhelper.service")))
    check(service.get("ExecStart") == ["/usr/lib/staywake/Staywake.app/Contents/Helpers/StaywakeLidHelper"],
          f"service ExecStart: {service.get('ExecStart')}")
    check(service.get("Restart") == ["always"], "service does not restart always")
    check(service.get("RuntimeDirectory", ["staywake"]) == ["staywake"]
          and service.get("RuntimeDirectoryPreserve", ["yes"]) == ["yes"],
          "a RuntimeDirectory removed on stop would take the socket's folder and pmset's record with it")
    verify_units(root)

    desktop = read(os.path.join(root, "usr/share/applications/com.staywake.app.desktop"))
    check(desktop.startswith("[Desktop Entry]\n"), "desktop entry without its group")
    check("\nExec=/usr/bin/staywake\n" in desktop, "desktop entry does not start /usr/bin/staywake")
    check("\nType=Application\n" in desktop, "desktop entry is no application")
    if arguments.icon_sizes:
        icon = unit_values(desktop).get("Icon")
        check(icon == ["com.staywake.app"], f"desktop entry's Icon is {icon}")
        sizes = [int(size) for size in arguments.icon_sizes.split(",")]
        # 48 pixels is what an icon theme must have at the least; menus and docks pick the rest.
        check(48 in sizes and 256 in sizes, f"the icon theme misses 48 or 256 pixels: {sizes}")
        verify_icon(root, "com.staywake.app", sizes)


SKIPPED = 77
# Tool, Debian package.
PACKAGE_TOOLS = [("dpkg-deb", "dpkg"), ("dpkg-shlibdeps", "dpkg-dev"), ("lintian", "lintian"),
                 ("appstreamcli", "appstream"), ("desktop-file-validate", "desktop-file-utils"),
                 ("systemd-analyze", "systemd")]


def output_of(command, **options):
    result = subprocess.run(command, capture_output=True, text=True, check=False, **options)
    check(result.returncode == 0, f"{' '.join(command)} failed ({result.returncode}): {result.stdout}{result.stderr}")
    return result.stdout


def verify_control(deb, arguments):
    """The control fields, and the file's name made from them."""
    fields = {}
    for name in ("Package", "Version", "Architecture", "Section", "Maintainer", "Depends", "Description"):
        fields[name] = output_of(["dpkg-deb", "--field", deb, name]).strip()
    check(fields["Package"] == "staywake", f"package name {fields['Package']}")
    # A tree with uncommitted changes makes a "~dirty" version, which sorts below the clean one.
    check(re.fullmatch(re.escape(arguments.build_version) + r"(~dirty)?", fields["Version"]) is not None,
          f"version {fields['Version']}")
    architecture = output_of(["dpkg", "--print-architecture"]).strip()
    check(fields["Architecture"] == architecture, f"architecture {fields['Architecture']}")
    check(os.path.basename(deb) == f"staywake_{fields['Version']}_{architecture}.deb", f"file name {deb}")
    check(fields["Section"] == "utils", f"section {fields['Section']}")
    check(re.fullmatch(r"[^<>]+ <[^@<>\s]+@[^@<>\s]+>", fields["Maintainer"]) is not None,
          f"maintainer {fields['Maintainer']}")
    # What dpkg-shlibdeps found the programs linked against.
    depends = [entry.strip().split(" ")[0] for entry in fields["Depends"].split(",")]
    check("libc6" in depends and "libstdc++6" in depends, f"Depends misses the C and C++ libraries: {depends}")
    if "bin/Staywake" in arguments.programs.split(","):
        check("libqt6core6" in depends, f"Depends misses Qt: {depends}")
    check("\n" in fields["Description"], "the description has no long text")


def verify_archive(deb, arguments):
    """Owners and modes as the archive records them: root owns everything, only
    the programs are executable, nothing is setuid or writable by others."""
    programs = {"./" + os.path.join(BUNDLE, "Contents", program) for program in arguments.programs.split(",")}
    listed = set()
    for line in output_of(["dpkg-deb", "--contents", deb]).splitlines():
        mode, owner, _, _, _, path = line.split(None, 5)
        path = path.split(" -> ")[0]
        listed.add(path)
        check(owner == "root/root", f"{path} is owned by {owner}")
        if mode.startswith("d"):
            expected = "drwxr-xr-x"
        elif mode.startswith("l"):
            expected = "lrwxrwxrwx"
        else:
            expected = "-rwxr-xr-x" if path in programs else "-rw-r--r--"
        check(mode == expected, f"{path} has mode {mode}, not {expected}")
    for path in sorted(programs) + ["./usr/bin/staywake", "./usr/share/metainfo/com.staywake.app.metainfo.xml",
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
    path = os.path.join(root, "usr/share/metainfo/com.staywake.app.metainfo.xml")
    output_of(["appstreamcli", "validate", "--no-net", "--pedantic", path])
    component = ElementTree.parse(path).getroot()
    check(component.findtext("id") == "com.staywake.app", "metainfo id")
    launchable = component.findtext("launchable")
    check(os.path.isfile(os.path.join(root, "usr/share/applications", launchable or "-")),
          f"metainfo launches {launchable}, which the package does not hold")
    check(component.findtext("provides/binary") == "staywake"
          and os.path.lexists(os.path.join(root, "usr/bin/staywake")), "metainfo provides no installed binary")
    image = component.findtext("screenshots/screenshot/image") or ""
    check(image.startswith("https://") and image.endswith("/docs/screenshots/panel.png"), f"screenshot {image}")
    check(component.find(f"releases/release[@version='{arguments.build_version}']") is not None,
          "metainfo has no release of this version")


def run_packaged_helper(root, arguments):
    """The helper the package holds, in a private /run, answering the app's
    client; whether it could run at all."""
    helper = os.path.join(root, BUNDLE, "Contents/Helpers/StaywakeLidHelper")
    environment = dict(os.environ, STAYWAKE_PACKAGED_HELPER=helper)
    result = subprocess.run([arguments.helper_check], env=environment, capture_output=True, text=True, check=False)
    check(result.returncode == 0, "the packaged helper: " + result.stdout + result.stderr)
    skipped = "[  SKIPPED ]" in result.stdout
    if skipped:
        print("the packaged helper was not run:",
              next(line for line in result.stdout.splitlines() if "Skipped" in line or "root" in line))
    return not skipped


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
        output_of(["desktop-file-validate", os.path.join(root, "usr/share/applications/com.staywake.app.desktop")])
        verify_metainfo(root, arguments)
        ran = run_packaged_helper(root, arguments)
    return 0 if ran else SKIPPED


def install_and_verify(arguments):
    with tempfile.TemporaryDirectory(prefix="staywake-destdir-") as destdir:
        environment = dict(os.environ, DESTDIR=destdir)
        result = subprocess.run([arguments.cmake, "--install", arguments.build, "--prefix", "/usr"],
                                env=environment, capture_output=True, text=True, check=False)
        if result.returncode != 0:
            print(result.stdout + result.stderr)
            return 1
        verify_manifest(destdir, arguments.build)
        verify_tree(destdir, arguments)
    return 0


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--cmake", required=True)
    parser.add_argument("--programs", required=True)
    parser.add_argument("--short-version", required=True)
    parser.add_argument("--build-version", required=True)
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
