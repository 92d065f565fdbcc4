"""Runs the package's maintainer scripts as dpkg would for install, upgrade,
remove and purge, each in a private mount namespace with its own /run (with or
without a running systemd), /etc/systemd/system and /usr/local, against a
stand-in systemctl that records its calls."""

import os
import pathlib
import shutil
import subprocess
import sys
import tempfile

SOCKET = "staywake-lidhelper.socket"
SERVICE = "staywake-lidhelper.service"
WANTS = ["sockets.target.wants/" + SOCKET, "multi-user.target.wants/" + SERVICE]
OTHER = "sockets.target.wants/other.socket"
STAND_IN = '#!/bin/sh\necho "$*" >> "$SYSTEMCTL_LOG"\nexit "${SYSTEMCTL_STATUS:-0}"\n'
# Inside the namespace: the scenario's /run, /etc/systemd/system and /usr/local, then one script.
SETUP = """set -e
mount -t tmpfs tmpfs /run
if [ "$RUNNING" = yes ]; then mkdir -p /run/systemd/system; fi
mkdir -p /etc/systemd/system
mount --bind "$ETC" /etc/systemd/system
mount -t tmpfs tmpfs /usr/local
if [ "$LOCAL_UNITS" = yes ]; then
    mkdir -p /usr/local/lib/systemd/system
    touch /usr/local/lib/systemd/system/staywake-lidhelper.socket
fi
script=$1
shift
exec sh "$SCRIPTS/$script" "$@"
"""
INSTALL = [("postinst", ["configure", ""])]
STARTED = ["enable " + SOCKET, "daemon-reload", "start " + SOCKET]
REMOVE = [("prerm", ["remove"]), ("postrm", ["remove"])]
STOPPED = [f"stop {SERVICE} {SOCKET}", "daemon-reload"]
# (name, systemd running, /usr/local units, systemctl's exit status, [(script, arguments)],
#  the systemctl calls expected, whether the links enabling the units remain, text expected on stderr)
SCENARIOS = [
    ("first install in a chroot", False, False, 0, INSTALL, ["enable " + SOCKET], True, ""),
    ("install and remove with systemctl failing", True, False, 1, INSTALL + REMOVE, STARTED + STOPPED, True, ""),
    ("install over a cmake --install in /usr/local", True, True, 0, INSTALL, STARTED, True,
     "/usr/local/lib/systemd/system/" + SOCKET),
    ("upgrade: the running helper is neither stopped nor re-enabled", True, False, 0,
     [("prerm", ["upgrade", "1.1.0"]), ("postinst", ["configure", "1.0.0"])], ["daemon-reload"], True, ""),
    ("remove without systemd", False, False, 0, REMOVE, [], True, ""),
    ("purge", True, False, 0, [("postrm", ["purge"])], [], False, ""),
]


def namespace_command():
    """unshare as root, or in a user namespace of one's own; None when neither works."""
    for extra in ([[]] if os.geteuid() == 0 else []) + [["--map-root-user"]]:
        command = ["unshare", "--mount", "--propagation", "private"] + extra
        if shutil.which("unshare") and subprocess.run(command + ["mount", "-t", "tmpfs", "tmpfs", "/mnt"],
                                                      capture_output=True, check=False).returncode == 0:
            return command
    return None


def run(scripts, unshare, scenario):
    name, running, local_units, status, steps, expected, linked, stderr_text = scenario
    with tempfile.TemporaryDirectory(prefix="staywake-maintscripts-") as scratch:
        etc = os.path.join(scratch, "etc")
        for link in WANTS + [OTHER]:
            os.makedirs(os.path.join(etc, os.path.dirname(link)), exist_ok=True)
            os.symlink("/usr/lib/systemd/system/" + os.path.basename(link), os.path.join(etc, link))
        pathlib.Path(scratch, "systemctl").write_text(STAND_IN, encoding="utf-8")
        os.chmod(os.path.join(scratch, "systemctl"), 0o755)
        log = os.path.join(scratch, "calls")
        environment = dict(os.environ, PATH=scratch + ":/usr/sbin:/usr/bin:/sbin:/bin", SYSTEMCTL_LOG=log,
                           SYSTEMCTL_STATUS=str(status), RUNNING="yes" if running else "no",
                           LOCAL_UNITS="yes" if local_units else "no", ETC=etc, SCRIPTS=scripts)
        stderr, exits = "", []
        for script, script_arguments in steps:
            result = subprocess.run(unshare + ["sh", "-c", SETUP, "setup", script] + script_arguments,
                                    env=environment, capture_output=True, text=True, check=False)
            stderr += result.stderr
            exits += [f"{script} exited with {result.returncode}"] if result.returncode else []
        calls = open(log, encoding="utf-8").read().splitlines() if os.path.exists(log) else []
        checks = [(not exits, ", ".join(exits)),
                  (calls == expected, f"systemctl was called {calls}, expected {expected}"),
                  (os.path.lexists(os.path.join(etc, OTHER)), f"another package's {OTHER} was removed"),
                  (stderr_text in stderr if stderr_text else not stderr, f"stderr is {stderr!r}")]
        checks += [(os.path.lexists(os.path.join(etc, link)) == linked, f"{link} {'is gone' if linked else 'remains'}")
                   for link in WANTS]
        return [f"{name}: {message}" for holds, message in checks if not holds]


def main():
    unshare = namespace_command()
    if unshare is None:
        reason = "the maintainer scripts run in a private mount namespace, which needs root or user namespaces"
        print("FAIL: expected to run, but:" if os.environ.get("STAYWAKE_NO_SKIP") else "SKIPPED:", reason)
        return 1 if os.environ.get("STAYWAKE_NO_SKIP") else 77
    failures = [failure for scenario in SCENARIOS for failure in run(sys.argv[1], unshare, scenario)]
    for failure in failures:
        print("FAIL:", failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
