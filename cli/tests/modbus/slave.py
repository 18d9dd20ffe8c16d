"""A Modbus RTU slave of our own, for recording a device being polled.

Unit 1 holds coils 0-15, discrete inputs 0-7, holding registers 0-19 and input registers 0-9;
holding register 5 counts up at each read of it. Functions 1-6, 15 and 16; an address outside
the tables gets exception 02, another function exception 01, another unit nothing.
Usage: slave.py PORT  (runs until killed)
"""
import struct
import sys

import serial

UNIT = 1
coils = [i % 2 for i in range(16)]
discrete = [1 if i in (1, 2, 6) else 0 for i in range(8)]
holding = [100 + i for i in range(20)]
inputs = [1000 + i for i in range(10)]


def crc16(data):
    crc = 0xFFFF
    for byte in data:
        crc ^= byte
        for _ in range(8):
            crc = (crc >> 1) ^ 0xA001 if crc & 1 else crc >> 1
    return struct.pack("<H", crc)


def request_length(head):
    """The request's whole length from its first 7 bytes, or None for a function of fixed 8."""
    if head[1] in (15, 16):
        return 9 + head[6]
    return 8


def bits(values):
    out = bytearray((len(values) + 7) // 8)
    for i, bit in enumerate(values):
        if bit:
            out[i // 8] |= 1 << (i % 8)
    return bytes(out)


def answer(frame):
    function = frame[1]
    address, count = struct.unpack(">HH", frame[2:6])
    tables = {1: coils, 2: discrete, 3: holding, 4: inputs}
    if function in tables:
        table = tables[function]
        if address + count > len(table) or count == 0:
            return bytes([function | 0x80, 2])
        if function == 3 and address <= 5 < address + count:
            holding[5] += 1
        values = table[address:address + count]
        if function in (1, 2):
            data = bits(values)
        else:
            data = b"".join(struct.pack(">H", v) for v in values)
        return bytes([function, len(data)]) + data
    if function == 5:
        if address >= len(coils):
            return bytes([function | 0x80, 2])
        coils[address] = 1 if count == 0xFF00 else 0
        return frame[1:6]
    if function == 6:
        if address >= len(holding):
            return bytes([function | 0x80, 2])
        holding[address] = count
        return frame[1:6]
    if function in (15, 16):
        table = coils if function == 15 else holding
        if address + count > len(table):
            return bytes([function | 0x80, 2])
        data = frame[7:-2]
        for i in range(count):
            if function == 15:
                table[address + i] = (data[i // 8] >> (i % 8)) & 1
            else:
                table[address + i] = struct.unpack(">H", data[2 * i:2 * i + 2])[0]
        return frame[1:6]
    return bytes([function | 0x80, 1])


def main():
    port = serial.Serial(sys.argv[1], 9600, timeout=0.05)
    pending = b""
    while True:
        pending += port.read(256)
        if not pending:
            continue
        if len(pending) < 7:
            more = port.read(7 - len(pending))
            if not more:
                pending = b""  # a fragment that never grew: dropped
            pending += more
            continue
        length = request_length(pending)
        if len(pending) < length:
            more = port.read(length - len(pending))
            if not more:
                pending = b""
            pending += more
            continue
        frame, pending = pending[:length], pending[length:]
        if frame[0] != UNIT or crc16(frame[:-2]) != frame[-2:]:
            continue
        reply = bytes([UNIT]) + answer(frame)
        port.write(reply + crc16(reply))


if __name__ == "__main__":
    main()
