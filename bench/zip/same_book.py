#!/usr/bin/env python3
"""Whether two books are byte for byte the same but for the entries' times
(a conversion stamps its staged copies with the time they were made).
    same_book.py A.epub B.epub     exit status 0 when they are"""
import struct
import sys
import zipfile


def without_times(path):
    data = bytearray(open(path, "rb").read())
    for info in zipfile.ZipFile(path).infolist():
        at = info.header_offset
        data[at + 10:at + 14] = bytes(4)  # local header: time and date
    end = data.rfind(b"PK\x05\x06")
    at = struct.unpack("<I", data[end + 16:end + 20])[0]
    while data[at:at + 4] == b"PK\x01\x02":
        data[at + 12:at + 16] = bytes(4)  # central header: time and date
        name, extra, comment = struct.unpack("<HHH", data[at + 28:at + 34])
        at += 46 + name + extra + comment
    return bytes(data)


sys.exit(0 if without_times(sys.argv[1]) == without_times(sys.argv[2]) else 1)
