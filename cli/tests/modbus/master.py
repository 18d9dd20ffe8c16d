"""Polls a Modbus RTU slave with pymodbus's client.

master.py record PORT: the polls made while the slave is recorded.
master.py check PORT: polls the stand-in with requests never recorded as such and checks its
answers; prints each check and exits 1 if one failed.
"""
import sys

from pymodbus.client import ModbusSerialClient

failures = 0


def check(what, got, wanted):
    global failures
    ok = got == wanted
    failures += 0 if ok else 1
    print(("ok   " if ok else "FAIL ") + what + ": got " + repr(got) + ", wanted " + repr(wanted))


def registers(response):
    return None if response.isError() else list(response.registers)


def main():
    mode, port = sys.argv[1], sys.argv[2]
    client = ModbusSerialClient(port=port, baudrate=9600, timeout=1, retries=0)
    if not client.connect():
        print("FAIL cannot open " + port)
        return 1
    if mode == "record":
        client.read_holding_registers(0, 10, slave=1)
        client.read_holding_registers(0, 10, slave=1)
        client.read_holding_registers(10, 10, slave=1)
        client.read_coils(0, 16, slave=1)
        client.read_discrete_inputs(0, 8, slave=1)
        client.read_input_registers(0, 10, slave=1)
        client.write_register(12, 555, slave=1)
        client.write_coil(3, True, slave=1)
        client.read_holding_registers(10, 10, slave=1)
        return 0
    # A range never read as such: its values, register 5 at its next recorded value.
    check("holding 3-7", registers(client.read_holding_registers(3, 5, slave=1)),
          [103, 104, 106, 106, 107])
    check("input 4-6", registers(client.read_input_registers(4, 3, slave=1)), [1004, 1005, 1006])
    coils = client.read_coils(2, 4, slave=1)
    check("coils 2-5", None if coils.isError() else list(coils.bits[:4]), [False, True, False, True])
    # A write, then a read of what was written.
    check("write holding 2", client.write_register(2, 4242, slave=1).isError(), False)
    check("holding 0-3 after the write", registers(client.read_holding_registers(0, 4, slave=1)),
          [100, 101, 4242, 103])
    check("write holding 14", client.write_register(14, 7, slave=1).isError(), False)
    check("holding 13-16", registers(client.read_holding_registers(13, 4, slave=1)),
          [113, 7, 115, 116])
    # A function the device was never seen to answer: exception 01.
    multiple = client.write_registers(14, [7, 8], slave=1)
    check("write multiple registers is an illegal function",
          getattr(multiple, "exception_code", None) if multiple.isError() else "answered", 1)
    # An address never seen: exception 02.
    unknown = client.read_holding_registers(50, 2, slave=1)
    check("holding 50 is an illegal address",
          getattr(unknown, "exception_code", None) if unknown.isError() else "answered", 2)
    # Another unit: no answer at all.
    other = client.read_holding_registers(0, 1, slave=7)
    check("unit 7 stays silent", other.isError() and not hasattr(other, "exception_code"), True)
    client.close()
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
