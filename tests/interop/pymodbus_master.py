#!/usr/bin/python3
"""pymodbus as the Modbus master of the simulated gateways: over TCP with the RTU framer (as
through a serial server in raw mode) or as a Modbus TCP client. Reads the service block and the
first channel block of two gateways, writes a settings register of each (function 06 to the
second, function 16 to the first), reads the settings back, and asks an address nobody has.
Prints what it got as one JSON object; the test that runs it judges it.

usage: pymodbus_master.py rtu|mbap PORT FIRST,SECOND ABSENT
"""
import json
import sys

from pymodbus.client import ModbusTcpClient
from pymodbus.transaction import ModbusRtuFramer, ModbusSocketFramer


def registers(response):
    if response.isError():
        return repr(response)
    return response.registers


def main():
    mode, port = sys.argv[1], int(sys.argv[2])
    first, second = (int(u) for u in sys.argv[3].split(","))
    absent = int(sys.argv[4])
    framer = ModbusRtuFramer if mode == "rtu" else ModbusSocketFramer
    client = ModbusTcpClient("127.0.0.1", port=port, framer=framer, timeout=1, retries=0)
    if not client.connect():
        print(json.dumps({"error": "cannot connect"}))
        return 1
    out = {}
    for unit in (first, second):
        out[str(unit)] = {
            "service": registers(client.read_holding_registers(1000, 100, slave=unit)),
            "channels": registers(client.read_holding_registers(0, 100, slave=unit)),
        }
    out["write06"] = str(client.write_register(1055, 3, slave=second))
    out["write16"] = str(client.write_registers(1053, [20, 30], slave=first))
    for unit in (first, second):
        out[str(unit)]["settings"] = registers(client.read_holding_registers(1053, 3, slave=unit))
    answer = client.read_holding_registers(1000, 1, slave=absent)
    out["absent"] = getattr(answer, "exception_code", None) if answer.isError() else answer.registers
    client.close()
    print(json.dumps(out))
    return 0


if __name__ == "__main__":
    sys.exit(main())
