#!/usr/bin/python3
"""Reads starter.exe (or servicectl.exe) and checks what it is made of: a console program for
the given architecture (x86: PE32 i386; x64: PE32+ x86-64) importing only
KERNEL32, ADVAPI32 and msvcrt, with its version record (1.0.0.5) and its
manifest (asInvoker, no uiAccess) as resource 1.

    check_executable.py [--shipped] --arch x86|x64 [--exports-of HEADER] FILE

With --shipped, the file is the one a release ships: also no debug sections,
a debug link to its split-off debug information, and for starter.exe at most
48 KiB. With --exports-of, the file is service_control.dll: a DLL with the
same imports and version record, which exports exactly the functions that
the header declares."""
import argparse
import os
import re
import sys

import pefile

RT_MANIFEST = 24
ALLOWED_IMPORTS = {"KERNEL32.dll", "ADVAPI32.dll", "msvcrt.dll"}
SHIPPED_MAX_BYTES = 48 * 1024
# Per architecture: the machine, the optional header's magic, and its name.
LAYOUTS = {
    "x86": ("IMAGE_FILE_MACHINE_I386", pefile.OPTIONAL_HEADER_MAGIC_PE, "PE32 i386"),
    "x64": ("IMAGE_FILE_MACHINE_AMD64", pefile.OPTIONAL_HEADER_MAGIC_PE_PLUS, "PE32+ x86-64"),
}


def fail(message):
    print("FAIL:", message)
    sys.exit(1)


def section_names(pe):
    """Section names, long ones ("/4") read from the COFF string table."""
    strings = pe.FILE_HEADER.PointerToSymbolTable + 18 * pe.FILE_HEADER.NumberOfSymbols
    data = pe.__data__
    names = []
    for section in pe.sections:
        name = section.Name.rstrip(b"\0").decode(errors="replace")
        if name.startswith("/") and name[1:].isdigit() and pe.FILE_HEADER.PointerToSymbolTable:
            start = strings + int(name[1:])
            name = data[start:data.find(b"\0", start)].decode(errors="replace")
        names.append(name)
    return names


def check_shipped(pe, path, bound):
    names = section_names(pe)
    debug = [name for name in names if name.startswith(".debug")]
    if debug:
        fail("debug sections left in the shipped file: %s" % ", ".join(debug))
    if ".gnu_debuglink" not in names:
        fail("no debug link (sections: %s)" % ", ".join(names))
    size = os.path.getsize(path)
    if bound and size > SHIPPED_MAX_BYTES:
        fail("%d bytes, more than %d" % (size, SHIPPED_MAX_BYTES))


def check_exports(pe, header):
    with open(header) as declarations:
        declared = re.findall(r"^DWORD SERVICE_CONTROL_API (\w+)\(", declarations.read(), re.M)
    exported = [symbol.name.decode() for symbol in pe.DIRECTORY_ENTRY_EXPORT.symbols]
    if sorted(exported) != sorted(declared):
        fail("exports %s; the header declares %s" % (sorted(exported), sorted(declared)))
    return len(exported)


def main(path, arch, shipped, header):
    machine, magic, layout = LAYOUTS[arch]
    pe = pefile.PE(path)
    if shipped:
        check_shipped(pe, path, os.path.basename(path) == "starter.exe")
    if pe.FILE_HEADER.Machine != pefile.MACHINE_TYPE[machine]:
        fail("machine is %#x, not %s" % (pe.FILE_HEADER.Machine, machine))
    if pe.OPTIONAL_HEADER.Magic != magic:
        fail("optional header magic is %#x, not %s's" % (pe.OPTIONAL_HEADER.Magic, layout))
    if header is not None:
        if not pe.FILE_HEADER.Characteristics & pefile.IMAGE_CHARACTERISTICS["IMAGE_FILE_DLL"]:
            fail("not a DLL")
        exports = check_exports(pe, header)
    elif pe.OPTIONAL_HEADER.Subsystem != pefile.SUBSYSTEM_TYPE["IMAGE_SUBSYSTEM_WINDOWS_CUI"]:
        fail("not a console program")

    imports = {entry.dll.decode() for entry in pe.DIRECTORY_ENTRY_IMPORT}
    if {name.lower() for name in imports} != {name.lower() for name in ALLOWED_IMPORTS}:
        fail("imports %s, expected exactly %s" % (sorted(imports), sorted(ALLOWED_IMPORTS)))

    fixed = pe.VS_FIXEDFILEINFO[0]
    version = (1 << 16, 5)
    if (fixed.FileVersionMS, fixed.FileVersionLS) != version:
        fail("numeric file version is not 1.0.0.5")
    if (fixed.ProductVersionMS, fixed.ProductVersionLS) != version:
        fail("numeric product version is not 1.0.0.5")
    strings = {}
    for info in pe.FileInfo[0]:
        if info.Key == b"StringFileInfo":
            for table in info.StringTable:
                strings.update({k.decode(): v.decode() for k, v in table.entries.items()})
    for key in ("FileVersion", "ProductVersion"):
        if strings.get(key) != "1.0.0.5":
            fail("%s string is %r" % (key, strings.get(key)))

    if header is not None:
        print("%s: %s DLL, exports the header's %d functions, imports %s, version 1.0.0.5%s"
              % (os.path.basename(path), layout, exports, ", ".join(sorted(imports)),
                 ", no debug sections, debug link" if shipped else ""))
        return
    manifest = None
    for kind in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        if kind.id == RT_MANIFEST:
            for name in kind.directory.entries:
                if name.id == 1:
                    data = name.directory.entries[0].data.struct
                    manifest = pe.get_data(data.OffsetToData, data.Size).decode()
    if manifest is None:
        fail("no RT_MANIFEST resource 1")
    for needed in ('level="asInvoker"', 'uiAccess="false"'):
        if needed not in manifest:
            fail("manifest lacks " + needed)

    print("%s: %s console program, imports %s, version 1.0.0.5, manifest asInvoker%s"
          % (os.path.basename(path), layout, ", ".join(sorted(imports)),
             ", %d bytes, no debug sections, debug link" % os.path.getsize(path) if shipped else ""))


if __name__ == "__main__":
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--shipped", action="store_true", help="the file that a release ships")
    parser.add_argument("--arch", required=True, choices=sorted(LAYOUTS))
    parser.add_argument("--exports-of", metavar="HEADER", help="the DLL's header")
    parser.add_argument("path")
    arguments = parser.parse_args()
    main(arguments.path, arguments.arch, arguments.shipped, arguments.exports_of)
