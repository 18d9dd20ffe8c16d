"""pyserial's own network clients against a port Veltrane serves.

clients.py lines URL
    Over rfc2217:// URL: drops DTR and RTS, asks for 19200 bit/s and sends a break, each of
    which the server must acknowledge (pyserial raises without the answer).

clients.py URL
    Over URL (rfc2217:// or socket://), to a stand-in for the Modbus slave of ../modbus/slave.py
    recorded being polled: a client that asks for coils 0-15 and leaves before the answer, then
    one that asks and reads the whole answer; a second client while one is connected is turned
    away (closed without a byte); over rfc2217:// a change of speed is acknowledged.
    Prints each check; exits 1 if one failed.
"""
import os
import socket
import sys
import time

import serial

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "modbus"))
from slave import crc16  # noqa: E402  (the slave's own frames)

# Coils 0-15 of unit 1, as the slave holds them (every odd one set) and its answer.
READ_COILS = bytes([1, 1, 0, 0, 0, 16])
COILS_ANSWER = bytes([1, 1, 2, 0xAA, 0xAA])

failures = 0


def check(what, ok, detail=""):
    global failures
    failures += 0 if ok else 1
    print(("ok   " if ok else "FAIL ") + what + (": " + detail if detail else ""))


def read_exactly(port, count, seconds=3.0):
    got = b""
    end = time.time() + seconds
    while len(got) < count and time.time() < end:
        got += port.read(count - len(got))
    return got


def change_lines(url):
    port = serial.serial_for_url(url, baudrate=9600, timeout=0.5)
    try:
        port.dtr = False
        port.rts = False
        port.baudrate = 19200
        port.send_break(0.05)
        check("DTR, RTS, speed and break acknowledged", True)
    except serial.SerialException as error:
        check("DTR, RTS, speed and break acknowledged", False, str(error))
    time.sleep(0.3)
    port.close()
    return 1 if failures else 0


def main():
    if sys.argv[1] == "lines":
        return change_lines(sys.argv[2])
    url = sys.argv[1]
    request = READ_COILS + crc16(READ_COILS)
    answer = COILS_ANSWER + crc16(COILS_ANSWER)
    # Asks, then goes before the answer: the stand-in must survive and serve the next.
    leaving = serial.serial_for_url(url, baudrate=9600, timeout=0.5)
    leaving.write(request)
    leaving.close()
    time.sleep(0.3)

    port = serial.serial_for_url(url, baudrate=9600, timeout=0.5)
    port.reset_input_buffer()
    port.write(request)
    got = read_exactly(port, len(answer))
    check("the recorded answer after a client left mid-answer", got == answer, got.hex())

    # One program at a time: another is closed at once.
    host, number = url.split("://")[1].split("/")[0].rsplit(":", 1)
    second = socket.create_connection((host, int(number)), timeout=2)
    second.settimeout(2)
    try:
        data = second.recv(64)
        check("a second client is turned away", data == b"", data.hex())
    except (ConnectionResetError, socket.timeout) as error:
        check("a second client is turned away", isinstance(error, ConnectionResetError), repr(error))
    second.close()

    if url.startswith("rfc2217://"):
        # pyserial waits for the server's acknowledgement and raises without one.
        try:
            port.baudrate = 19200
            check("a speed change is acknowledged", True)
        except serial.SerialException as error:
            check("a speed change is acknowledged", False, str(error))
        port.write(request)
        got = read_exactly(port, len(answer))
        check("answered after the speed change", got == answer, got.hex())
    port.close()
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
