#!/usr/bin/env python3
"""Writes the hand-made seeds of pe_resources_fuzz: small PE32 and PE32+
images with a resource section (integer and named keys, two languages of the
package resource), with relocations behind it, and with no resources."""
import struct
import sys
from pathlib import Path

FILE_ALIGN = 0x200
SECTION_ALIGN = 0x1000


def utf16_key(text):
    return struct.pack("<H", len(text)) + text.encode("utf-16-le")


def resource_section(rva, tree):
    """tree: {type: {name: {language: bytes}}}, keys int or str. Returns the
    section's bytes with every RVA based at rva."""
    def ordered(keys):
        return [k for k in keys if isinstance(k, str)] + sorted(k for k in keys if isinstance(k, int))

    # Layout: all directories, then data entries, then key texts, then data.
    directories = []  # (path, mapping)

    def collect(mapping, level):
        directories.append((level, mapping))
        if level < 2:
            for key in ordered(mapping):
                collect(mapping[key], level + 1)

    collect(tree, 0)
    offset = 0
    dir_offset = {}
    for level, mapping in directories:
        dir_offset[id(mapping)] = offset
        offset += 16 + 8 * len(mapping)
    leaves = [(lvl, m) for lvl, m in directories if lvl == 2]
    data_entry_offset = {}
    for _, mapping in leaves:
        for lang in ordered(mapping):
            data_entry_offset[(id(mapping), lang)] = offset
            offset += 16
    texts = {}
    for _, mapping in directories:
        for key in mapping:
            if isinstance(key, str) and key not in texts:
                texts[key] = offset
                offset += len(utf16_key(key))
    offset = (offset + 3) & ~3
    data_offset = {}
    for _, mapping in leaves:
        for lang in ordered(mapping):
            data_offset[(id(mapping), lang)] = offset
            offset = (offset + len(mapping[lang]) + 3) & ~3
    out = bytearray(offset)
    for level, mapping in directories:
        at = dir_offset[id(mapping)]
        named = sum(isinstance(k, str) for k in mapping)
        struct.pack_into("<IIHHHH", out, at, 0, 0, 4, 0, named, len(mapping) - named)
        for i, key in enumerate(ordered(mapping)):
            name = (0x80000000 | texts[key]) if isinstance(key, str) else key
            if level < 2:
                target = 0x80000000 | dir_offset[id(mapping[key])]
            else:
                target = data_entry_offset[(id(mapping), key)]
            struct.pack_into("<II", out, at + 16 + 8 * i, name, target)
    for key, at in texts.items():
        out[at:at + len(utf16_key(key))] = utf16_key(key)
    for _, mapping in leaves:
        for lang in ordered(mapping):
            data = mapping[lang]
            d = data_offset[(id(mapping), lang)]
            out[d:d + len(data)] = data
            struct.pack_into("<IIII", out, data_entry_offset[(id(mapping), lang)], rva + d, len(data), 0, 0)
    return bytes(out)


def align(value, alignment):
    return (value + alignment - 1) // alignment * alignment


def image(is64, sections, resource_index=None, reloc_index=None):
    """sections: list of (name, bytes). Headers fit in one file block."""
    optional_size = 240 if is64 else 224
    headers = bytearray(FILE_ALIGN)
    headers[0:2] = b"MZ"
    struct.pack_into("<I", headers, 0x3C, 0x40)
    headers[0x40:0x44] = b"PE\0\0"
    coff = 0x44
    struct.pack_into("<HHIIIHH", headers, coff, 0x8664 if is64 else 0x14C, len(sections), 0, 0, 0,
                     optional_size, 0x22 if is64 else 0x102)
    opt = coff + 20
    body = bytearray()
    rva = SECTION_ALIGN
    table = opt + optional_size
    placed = []
    for i, (name, data) in enumerate(sections):
        raw = align(len(data), FILE_ALIGN)
        pointer = FILE_ALIGN + len(body)
        struct.pack_into("<8sIIIIIIHHI", headers, table + 40 * i, name, len(data), rva, raw, pointer, 0, 0, 0, 0,
                         0x40000040)
        body += data + bytes(raw - len(data))
        placed.append((rva, len(data)))
        rva += align(len(data), SECTION_ALIGN)
    size_of_image = rva
    struct.pack_into("<H", headers, opt, 0x20B if is64 else 0x10B)
    struct.pack_into("<II", headers, opt + 32, SECTION_ALIGN, FILE_ALIGN)
    struct.pack_into("<HH", headers, opt + 48, 4, 0)
    struct.pack_into("<II", headers, opt + 56, size_of_image, FILE_ALIGN)
    struct.pack_into("<H", headers, opt + 68, 2)
    count_at = opt + (108 if is64 else 92)
    struct.pack_into("<I", headers, count_at, 16)
    directories = count_at + 4
    if resource_index is not None:
        struct.pack_into("<II", headers, directories + 2 * 8, *placed[resource_index])
    if reloc_index is not None:
        struct.pack_into("<II", headers, directories + 5 * 8, *placed[reloc_index])
    return bytes(headers) + bytes(body)


def main(folder):
    folder = Path(folder)
    tree = {
        "PICS": {"MAIN": {0: b"\x42\x4d picture"}},
        10: {104: {0x409: b"old package", 0x411: b"\x83\x70\x83\x62"}, 5: {0: b"five"}},
        16: {1: {0x409: bytes(range(20))}},
    }
    rsrc = resource_section(0x2000, tree)
    code = b"\xc3" + bytes(15)
    reloc = struct.pack("<II", 0x1000, 12) + struct.pack("<HH", 0x3000, 0)
    (folder / "pe32_resources.exe").write_bytes(image(False, [(b".text", code), (b".rsrc", rsrc)], 1))
    (folder / "pe32plus_rsrc_then_reloc.exe").write_bytes(
        image(True, [(b".text", code), (b".rsrc", rsrc), (b".reloc", reloc)], 1, 2))
    (folder / "pe32_no_resources.exe").write_bytes(image(False, [(b".text", code)]))


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else Path(__file__).parent / "seeds")
