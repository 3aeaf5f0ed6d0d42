#!/usr/bin/env python3
"""The layout rules a shipped program relies on to load on Windows 95 and later.

    pe-loader-rules.py FILE

Prints one FAIL line for each rule broken and exits 1 then."""
import struct
import sys

WRITE, EXECUTE = 0x80000000, 0x20000000
IMPORT, RESOURCE, BASERELOC, TLS, IAT = 1, 2, 5, 9, 12


def check(data):
    failures = []
    pe = struct.unpack_from('<I', data, 0x3C)[0]
    if data[:2] != b'MZ' or data[pe:pe + 4] != b'PE\0\0':
        return ['no PE image']
    sections_count, = struct.unpack_from('<H', data, pe + 6)
    characteristics, = struct.unpack_from('<H', data, pe + 22)
    opt = pe + 24
    optional_size, = struct.unpack_from('<H', data, pe + 20)
    entry, = struct.unpack_from('<I', data, opt + 16)
    image_base, section_alignment, file_alignment = struct.unpack_from('<III', data, opt + 28)
    headers_size, = struct.unpack_from('<I', data, opt + 60)
    directory_count, = struct.unpack_from('<I', data, opt + 92)
    directories = [struct.unpack_from('<II', data, opt + 96 + 8 * i) for i in range(directory_count)]
    sections = []
    for i in range(sections_count):
        name, vsize, rva, raw_size, raw_offset = struct.unpack_from('<8sIIII', data, opt + optional_size + 40 * i)
        flags, = struct.unpack_from('<I', data, opt + optional_size + 40 * i + 36)
        sections.append((name.rstrip(b'\0').decode(), rva, max(vsize, raw_size), raw_offset, flags))

    def section_at(rva):
        return next((s for s in sections if s[1] <= rva < s[1] + s[2]), None)

    def offset_of(rva):
        s = section_at(rva)
        return s[3] + rva - s[1] if s else None

    if file_alignment < 512 or file_alignment & (file_alignment - 1):
        failures.append(f'file alignment {file_alignment}, not a power of two of at least 512')
    if section_alignment != 4096:
        failures.append(f'section alignment {section_alignment}, not 4096')
    if headers_size % file_alignment or any(s[3] % file_alignment for s in sections if s[3]):
        failures.append('headers or a section not at a multiple of the file alignment')
    # Without relocations the image only loads at its preferred base.
    if not characteristics & 1 or directories[BASERELOC][0]:
        failures.append('relocations present (the image is meant to load at its base only)')
    if image_base != 0x400000:
        failures.append(f'image base {image_base:#x}, not 0x400000')
    if directory_count > TLS and directories[TLS][0]:
        failures.append('a TLS directory')
    code = section_at(entry)
    if not code or not code[4] & EXECUTE:
        failures.append('entry point outside an executable section')
    # Windows 9x writes the import address table without making it writable first.
    for what, index in (('import directory', IMPORT), ('import address table', IAT)):
        rva, size = directories[index]
        home = section_at(rva) if rva else None
        if not home:
            failures.append(f'no {what}')
        elif not home[4] & WRITE:
            failures.append(f'{what} in section {home[0]}, which is not writable')
    if not any(s[0] == '.rsrc' and s[1] == directories[RESOURCE][0] for s in sections):
        failures.append('resources not at the start of a section named .rsrc')
    # Ordinals differ between Windows versions: every import goes by name.
    descriptor = offset_of(directories[IMPORT][0]) if directories[IMPORT][0] else None
    while descriptor is not None:
        lookup, _, _, name_rva, thunks = struct.unpack_from('<IIIII', data, descriptor)
        if not name_rva:
            break
        dll = data[offset_of(name_rva):].split(b'\0', 1)[0].decode()
        entry_at = offset_of(lookup or thunks)
        while True:
            value, = struct.unpack_from('<I', data, entry_at)
            if not value:
                break
            if value & 0x80000000:
                failures.append(f'{dll}: import by ordinal {value & 0xFFFF}')
            entry_at += 4
        descriptor += 20
    return failures


def main():
    with open(sys.argv[1], 'rb') as f:
        failures = check(f.read())
    for failure in failures:
        print('FAIL:', failure)
    if not failures:
        print('loader rules of Windows 95 and later hold')
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
