# Checks the resources compiled into the Windows build's life.scr: its name, version, icon and manifest.
"""Usage: test_resources.py PROJECT_VERSION

Reads $LIFE_WINDOWS_BUILD/life.scr; exits 77 (skipped) when LIFE_WINDOWS_BUILD is not set. The resource
directory is read from the file itself (no icoutils needed); objdump must list it as well.
"""
import os
import struct
import subprocess
import sys

RT_ICON, RT_STRING, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 6, 14, 16, 24
ICON_SIZES = {16, 32, 48, 256}
# Windows 7, 8, 8.1, and 10 and 11.
SUPPORTED_OS = ("35138b9a-5d96-4fbd-8e2d-a2440225f93a", "4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38",
                "1f676c76-80e1-4239-95bb-83d0f6d0da78", "8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a")

failures = []


def check(condition, what):
    print(("ok:     " if condition else "FAILED: ") + what)
    if not condition:
        failures.append(what)
    return condition


def read_resources(data):
    """{type: {name: {language: bytes}}} from the PE file's resource directory; names are ids or strings."""
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        raise ValueError("not a PE file")
    sections, optional_size = struct.unpack_from("<H12xH", data, pe + 6)
    optional = pe + 24
    magic = struct.unpack_from("<H", data, optional)[0]
    directories = optional + (112 if magic == 0x20B else 96)
    rsrc_rva, rsrc_size = struct.unpack_from("<II", data, directories + 2 * 8)
    if rsrc_rva == 0 or rsrc_size == 0:
        return {}

    table = optional + optional_size
    spans = []
    for k in range(sections):
        virtual_size, rva, raw_size, raw_offset = struct.unpack_from("<IIII", data, table + 40 * k + 8)
        spans.append((rva, max(virtual_size, raw_size), raw_offset))

    def offset_of(rva):
        for start, size, raw in spans:
            if start <= rva < start + size:
                return raw + rva - start
        raise ValueError("RVA 0x%x outside every section" % rva)

    base = offset_of(rsrc_rva)

    def directory(at):
        named, numbered = struct.unpack_from("<HH", data, base + at + 12)
        entries = {}
        for k in range(named + numbered):
            name, target = struct.unpack_from("<II", data, base + at + 16 + 8 * k)
            if name & 0x80000000:
                length = struct.unpack_from("<H", data, base + (name & 0x7FFFFFFF))[0]
                start = base + (name & 0x7FFFFFFF) + 2
                name = data[start:start + 2 * length].decode("utf-16-le")
            entries[name] = target
        return entries

    resources = {}
    for kind, kind_at in directory(0).items():
        for name, name_at in directory(kind_at & 0x7FFFFFFF).items():
            for language, leaf in directory(name_at & 0x7FFFFFFF).items():
                rva, size = struct.unpack_from("<II", data, base + leaf)
                start = offset_of(rva)
                resources.setdefault(kind, {}).setdefault(name, {})[language] = data[start:start + size]
    return resources


def only(entries):
    """The one language's data of a resource (every resource here is language-neutral, one language)."""
    return next(iter(entries.values())) if len(entries) == 1 else None


def version_strings(blob):
    """(VS_FIXEDFILEINFO's file version, {key: value} of every StringFileInfo table) from a VS_VERSIONINFO."""
    def node(at):
        length, value_length, kind = struct.unpack_from("<HHH", blob, at)
        end_key = at + 6
        while blob[end_key:end_key + 2] != b"\0\0":
            end_key += 2
        key = blob[at + 6:end_key].decode("utf-16-le")
        value_at = (end_key + 2 + 3) & ~3
        value_bytes = value_length * 2 if kind == 1 else value_length
        value = blob[value_at:value_at + value_bytes]
        children, child = [], (value_at + value_bytes + 3) & ~3
        while child < at + length:
            children.append(node(child))
            child = (child + children[-1][3] + 3) & ~3
        return key, value, children, length

    key, fixed, children, _ = node(0)
    if key != "VS_VERSION_INFO" or struct.unpack_from("<I", fixed, 0)[0] != 0xFEEF04BD:
        raise ValueError("no VS_VERSION_INFO")
    ms, ls = struct.unpack_from("<II", fixed, 8)
    file_version = (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)
    strings = {}
    for child_key, _, tables, _ in children:
        if child_key == "StringFileInfo":
            for _, _, pairs, _ in tables:
                for name, value, _, _ in pairs:
                    strings[name] = value.decode("utf-16-le").rstrip("\0")
    return file_version, strings


def main():
    build = os.environ.get("LIFE_WINDOWS_BUILD")
    if not build:
        print("skipped: LIFE_WINDOWS_BUILD does not name the Windows build folder")
        return 77
    version = sys.argv[1]
    path = os.path.join(build, "life.scr")
    if not check(os.path.isfile(path), "%s is there" % path):
        return 1
    with open(path, "rb") as f:
        data = f.read()

    try:
        objdump = subprocess.run(["x86_64-w64-mingw32-objdump", "-p", path], capture_output=True, text=True)
        listed = objdump.returncode == 0 and "The .rsrc Resource Directory section" in objdump.stdout
    except FileNotFoundError:
        listed = False
    check(listed, "x86_64-w64-mingw32-objdump -p lists the resource directory")

    try:
        resources = read_resources(data)
    except (ValueError, struct.error) as e:
        check(False, "the resource directory reads (%s)" % e)
        resources = {}
    print("resource types:", sorted(resources))

    # String 1 is the 2nd entry of string block 1 (each block holds 16 counted UTF-16 strings, ids 0-15).
    name = None
    block = only(resources.get(RT_STRING, {}).get(1, {}))
    if block:
        at = 0
        for k in range(2):
            length = struct.unpack_from("<H", block, at)[0]
            if k == 1:
                name = block[at + 2:at + 2 + 2 * length].decode("utf-16-le")
            at += 2 + 2 * length
    check(name == "Life", "string 1 is \"Life\" (got %r)" % name)

    versions = resources.get(RT_VERSION, {})
    blob = only(versions.get(1, {}))
    if check(len(versions) == 1 and blob is not None, "one version resource, id 1"):
        file_version, strings = version_strings(blob)
        print("version:", file_version, strings)
        numbers = tuple(int(n) for n in version.split(".")) + (0,) * (4 - len(version.split(".")))
        check(file_version == numbers, "the fixed file version is %s" % version)
        expected = {"FileDescription": "Life", "ProductName": "Life", "FileVersion": version,
                    "ProductVersion": version, "OriginalFilename": "life.scr", "InternalName": "life"}
        for key, value in expected.items():
            check(strings.get(key) == value, "%s is %r (got %r)" % (key, value, strings.get(key)))
        check(bool(strings.get("LegalCopyright")), "LegalCopyright is there")

    # The file's icon is the first group in the directory: named groups would come before id 1.
    groups = resources.get(RT_GROUP_ICON, {})
    check(groups and next(iter(groups)) == 1, "the first icon group is id 1 (groups: %r)" % list(groups))
    group = only(groups.get(1, {}))
    sizes = set()
    if group:
        count = struct.unpack_from("<HHH", group, 0)[2]
        for k in range(count):
            width, height, _, _, _, bits, size, icon_id = struct.unpack_from("<BBBBHHIH", group, 6 + 14 * k)
            width, height = width or 256, height or 256
            image = only(resources.get(RT_ICON, {}).get(icon_id, {}))
            if image is None or len(image) != size:
                check(False, "icon %d of the group is there" % icon_id)
                continue
            if image.startswith(b"\x89PNG"):
                real = struct.unpack_from(">II", image, 16)
            else:
                w, h = struct.unpack_from("<ii", image, 4)
                real = (w, h // 2)
            check(real == (width, height) and bits == 32, "icon %d is %d x %d, 32 bits" % (icon_id, width, height))
            sizes.add(width)
    check(sizes == ICON_SIZES, "the icon's sizes are %s (got %s)" % (sorted(ICON_SIZES), sorted(sizes)))

    # One manifest only: a toolchain's default manifest beside ours would leave Windows to pick either.
    manifests = [blob for entries in resources.get(RT_MANIFEST, {}).values() for blob in entries.values()]
    check(len(manifests) == 1 and 1 in resources.get(RT_MANIFEST, {}),
          "exactly one manifest, id 1 (got %d)" % len(manifests))
    if manifests:
        text = manifests[0].decode("utf-8", "replace")
        for needle in ("PerMonitorV2,PerMonitor", "true/pm", 'level="asInvoker"') + SUPPORTED_OS:
            check(needle in text, "the manifest has %s" % needle)

    if failures:
        print("%d check(s) failed" % len(failures))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
