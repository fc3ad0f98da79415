#!/usr/bin/env python3
"""Writes the demo package's firmware files. The output is the same on every run, so the checked-in files
can be regenerated and compared byte for byte: python3 generate.py && git diff --stat ."""

import os


def pattern(seed, length):
    """Deterministic bytes from a 32-bit linear congruential generator."""
    state = seed & 0xFFFFFFFF
    out = bytearray()
    for _ in range(length):
        state = (state * 1664525 + 1013904223) & 0xFFFFFFFF
        out.append(state >> 24)
    return bytes(out)


def with_version(data, bcd, offset=0x10):
    """The image with its release number (BCD, least significant byte first) at the offset where the boards'
    firmware keeps it: a board reports that number once it is flashed."""
    out = bytearray(data)
    out[offset:offset + 2] = bcd.to_bytes(2, "little")
    return bytes(out)


def srec_line(kind, address, data):
    address_bytes = {"1": 2, "2": 3, "3": 4, "5": 2, "7": 4, "8": 3, "9": 2, "0": 2}[kind]
    body = address.to_bytes(address_bytes, "big") + data
    count = len(body) + 1
    checksum = 0xFF - ((count + sum(body)) & 0xFF)
    return "S%s%02X%s%02X\n" % (kind, count, body.hex().upper(), checksum)


def write_srec(name, kind, segments, header):
    lines = [srec_line("0", 0, header.encode())]
    for start, data in segments:
        for offset in range(0, len(data), 32):
            lines.append(srec_line(kind, start + offset, data[offset:offset + 32]))
    end_kind = {"1": "9", "2": "8", "3": "7"}[kind]
    lines.append(srec_line(end_kind, 0, b""))
    with open(name, "w", newline="") as f:
        f.writelines(lines)


def hex_line(kind, address, data):
    body = bytes([len(data), address >> 8, address & 0xFF, kind]) + data
    checksum = (-sum(body)) & 0xFF
    return ":%s%02X\r\n" % (body.hex().upper(), checksum)


def write_intel_hex(name, start, data):
    lines = [hex_line(4, 0, (start >> 16).to_bytes(2, "big"))]
    for offset in range(0, len(data), 16):
        lines.append(hex_line(0, (start + offset) & 0xFFFF, data[offset:offset + 16]))
    lines.append(hex_line(1, 0, b""))
    with open(name, "w", newline="") as f:
        f.writelines(lines)


def write_binary(name, data):
    with open(name, "wb") as f:
        f.write(data)


def main():
    os.chdir(os.path.dirname(os.path.abspath(__file__)))
    # Pen tablet: application code from 0x8000 and a configuration block of its own at 0x1F000.
    write_srec("tablet_s.pen", "3", [(0x8000, pattern(1, 6144)), (0x1F000, pattern(2, 512))], "Orvel Tablet S pen 1.01")
    # Pen tablet touch controller (on I2C): S-record, small enough for the tunnel's 22-block loader.
    write_srec("tablet_s.touch", "1", [(0x2000, pattern(7, 3072))], "Orvel Tablet S touch 1.01")
    # Pen display pen board: one run of application code in 24-bit addresses.
    write_srec("display_pen.orv", "2", [(0x4000, with_version(pattern(3, 8192), 0x0101))], "Orvel Display 16 pen 1.01")
    # Touch controller: Intel HEX from 0x8000; the image is padded to whole 512-byte pages on loading.
    write_intel_hex("display_touch.hex", 0x8000, with_version(pattern(4, 3000), 0x0101))
    # Bluetooth module: raw flash image from address 0.
    write_binary("display_bt.airoflash", with_version(pattern(5, 4096), 0x0101))
    # Display scaler: a raw serial-flash image of two 64 KiB blocks; its firmware names itself 1.3.0 (three bytes).
    scaler = bytearray(pattern(6, 2 * 0x10000))
    scaler[0x10:0x13] = bytes([1, 3, 0])
    write_binary("display_scaler.bin", bytes(scaler))


if __name__ == "__main__":
    main()
