#!/usr/bin/env python3
"""Checks that the program folder ships stripped binaries whose debug information is kept
beside the build. Usage:
check_program_folder.py DIST_FOLDER DEBUG_FOLDER FILE... [--without-streams FILE...]

Needs only Python. For each FILE (e.g. Torvo.exe) of DIST_FOLDER: a PE image with no .debug_*
section and no symbol table, and with a .gnu_debuglink naming FILE.debug; that file lies in
DEBUG_FOLDER, its CRC-32 is the one the link records, and it holds the debug information
(.debug_info) and the symbols. Each FILE named after --without-streams must not link the C++
streams and locales (no symbol of std::locale's implementation in its debug file): they add
about 600 KB to the program and a quarter of a MiB to its resident memory, and a stream
operator written for the tests' messages is enough to bring them in. Exits with 1 on the first
failure.
"""
import os
import struct
import sys
import zlib


class CheckError(Exception):
    pass


def require(condition, text):
    if not condition:
        raise CheckError(text)


def read_pe(path):
    """The section table of a PE or COFF image: {name: raw bytes}, and its symbol count."""
    with open(path, 'rb') as f:
        data = f.read()
    require(data[:2] == b'MZ' and len(data) >= 0x40, '%s: not an MZ image' % path)
    pe = struct.unpack_from('<I', data, 0x3C)[0]
    require(data[pe:pe + 4] == b'PE\0\0', '%s: no PE signature' % path)
    coff = pe + 4
    sections, _, symbol_table, symbols, optional_size = struct.unpack_from('<HIIIH', data, coff + 2)
    # Names longer than eight characters are "/<offset>" into the string table, which follows
    # the symbol table (18 bytes a symbol) and is kept even when the symbols are stripped.
    strings = symbol_table + 18 * symbols
    table = coff + 20 + optional_size
    found = {}
    for i in range(sections):
        entry = table + 40 * i
        raw_name = data[entry:entry + 8].rstrip(b'\0')
        if raw_name.startswith(b'/') and symbol_table:
            offset = strings + int(raw_name[1:])
            raw_name = data[offset:data.index(b'\0', offset)]
        size, pointer = struct.unpack_from('<II', data, entry + 16)
        found[raw_name.decode('ascii', 'replace')] = data[pointer:pointer + size]
    return found, symbols


def debug_link(contents):
    """The file name and CRC-32 a .gnu_debuglink section holds."""
    end = contents.index(b'\0')
    name = contents[:end].decode('utf-8')
    crc_at = (end + 4) & ~3
    require(len(contents) >= crc_at + 4, '.gnu_debuglink too short for its CRC')
    return name, struct.unpack_from('<I', contents, crc_at)[0]


def crc32_of(path):
    with open(path, 'rb') as f:
        return zlib.crc32(f.read()) & 0xFFFFFFFF


def check(dist, debug, name):
    path = os.path.join(dist, name)
    sections, symbols = read_pe(path)
    leftovers = sorted(s for s in sections if s.startswith('.debug'))
    require(not leftovers, '%s still carries %s' % (name, ', '.join(leftovers)))
    require(symbols == 0, '%s still carries %d symbols' % (name, symbols))
    require('.gnu_debuglink' in sections, '%s has no .gnu_debuglink' % name)
    linked, crc = debug_link(sections['.gnu_debuglink'])
    require(linked == name + '.debug', '%s links %r, not %s.debug' % (name, linked, name))
    debug_path = os.path.join(debug, linked)
    require(os.path.isfile(debug_path), '%s: %s is missing' % (name, debug_path))
    require(not os.path.isfile(os.path.join(dist, linked)),
            '%s: the debug file is in the program folder' % name)
    require(crc32_of(debug_path) == crc, '%s: %s does not have the CRC its link records'
            % (name, linked))
    debug_sections, debug_symbols = read_pe(debug_path)
    require('.debug_info' in debug_sections, '%s holds no .debug_info' % linked)
    require(debug_symbols > 0, '%s holds no symbols' % linked)
    return os.path.getsize(path), os.path.getsize(debug_path)


def symbol_names(path):
    """The names in the COFF symbol table of an image (auxiliary records skipped)."""
    with open(path, 'rb') as f:
        data = f.read()
    pe = struct.unpack_from('<I', data, 0x3C)[0]
    symbol_table, symbols = struct.unpack_from('<II', data, pe + 4 + 8)
    strings = symbol_table + 18 * symbols
    names = []
    i = 0
    while i < symbols:
        entry = symbol_table + 18 * i
        raw = data[entry:entry + 8]
        if raw[:4] == b'\0\0\0\0':
            offset = strings + struct.unpack_from('<I', raw, 4)[0]
            names.append(data[offset:data.index(b'\0', offset)].decode('ascii', 'replace'))
        else:
            names.append(raw.rstrip(b'\0').decode('ascii', 'replace'))
        i += 1 + data[entry + 17]
    return names


def check_without_streams(debug, name):
    path = os.path.join(debug, name + '.debug')
    streams = [n for n in symbol_names(path) if 'St6locale5_Impl' in n]
    require(not streams, '%s links the C++ streams and locales (%s)' % (name, streams[0]
                                                                          if streams else ''))


def main(argv):
    if len(argv) < 4:
        print(__doc__.strip())
        return 2
    dist, debug = argv[1], argv[2]
    names = argv[3:]
    without_streams = []
    if '--without-streams' in names:
        at = names.index('--without-streams')
        names, without_streams = names[:at], names[at + 1:]
    try:
        for name in names:
            shipped, kept = check(dist, debug, name)
            print('%s: %d bytes shipped, %d bytes of debug information kept' % (name, shipped, kept))
        for name in without_streams:
            check_without_streams(debug, name)
            print('%s: links no C++ streams or locales' % name)
    except (CheckError, OSError, ValueError) as error:
        print('check_program_folder: %s' % error)
        return 1
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
