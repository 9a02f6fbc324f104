#!/usr/bin/env python3
"""Builds Dockvane.msi from dockvane.wxs with wixl (Debian's msitools).

The package's version is the file version in Dockvane.exe's own version resource (its first three
parts: an installer compares no more), unless --version gives another (the upgrade test builds a
newer package that way). --wxs builds another definition from the same files (the upgrade test's
package of an earlier release); a file that definition does not name is left out."""
import argparse
import os
import shutil
import struct
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))


def file_version(exe):
    """The FILEVERSION of the executable's VS_FIXEDFILEINFO as four numbers."""
    with open(exe, "rb") as f:
        data = f.read()
    at = data.find(struct.pack("<I", 0xFEEF04BD))
    if at < 0:
        raise SystemExit(f"{exe} has no version resource")
    ms, ls = struct.unpack_from("<II", data, at + 8)
    return ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--exe", required=True, help="Dockvane.exe, the face")
    parser.add_argument("--service", required=True, help="DockvaneService.exe")
    parser.add_argument("--cli", required=True, help="dockvane-cli.exe")
    parser.add_argument("--cleanup", required=True, help="DockvaneCleanup.exe")
    parser.add_argument("--setup-dll", required=True, help="DockvaneSetup.dll")
    parser.add_argument("--icon", required=True, help="the program's icon (.ico)")
    parser.add_argument("--output", required=True, help="the package to write")
    parser.add_argument("--version", help="MAJOR.MINOR.BUILD instead of the executable's")
    parser.add_argument("--wxs", default=os.path.join(HERE, "dockvane.wxs"), help="the package's definition")
    options = parser.parse_args()

    version = options.version or ".".join(str(part) for part in file_version(options.exe)[:3])
    # wixl finds source files only by paths relative to where it runs: the inputs are staged under the
    # names they ship with.
    staged = {"ProgramExe": (options.exe, "Dockvane.exe"), "ServiceExe": (options.service, "DockvaneService.exe"),
              "CliExe": (options.cli, "dockvane-cli.exe"), "CleanupExe": (options.cleanup, "DockvaneCleanup.exe"),
              "SetupDll": (options.setup_dll, "DockvaneSetup.dll"), "IconFile": (options.icon, "Dockvane.ico")}
    output = os.path.abspath(options.output)
    with tempfile.TemporaryDirectory(prefix="dockvane-msi-") as stage:
        command = ["wixl", "-a", "x64", "-o", output, "-D", f"Version={version}"]
        for name, (source, shipped) in staged.items():
            shutil.copyfile(source, os.path.join(stage, shipped))
            command += ["-D", f"{name}={shipped}"]
        shutil.copyfile(options.wxs, os.path.join(stage, "dockvane.wxs"))
        command.append("dockvane.wxs")
        done = subprocess.run(command, cwd=stage)
    if done.returncode != 0:
        return done.returncode
    print(f"{options.output}: Dockvane {version}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
