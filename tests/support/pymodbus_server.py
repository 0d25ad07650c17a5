"""pymodbus (Debian's python3-pymodbus) as an independent Modbus server on TCP for the tests.

Usage: /usr/bin/python3 pymodbus_server.py FRAMING REGISTERS [DELAY_MS]

FRAMING is "mbap" (Modbus TCP) or "rtu" (RTU frames over TCP, as behind a serial server).
REGISTERS names a file of holding-register values, whitespace-separated, from address 0 on.
DELAY_MS holds every answer back that long. The server listens on a free loopback port and
prints "ready PORT" on its own line once it accepts connections; it runs until killed.
"""
import asyncio
import sys
import time

from pymodbus.datastore import ModbusSequentialDataBlock, ModbusServerContext, ModbusSlaveContext
from pymodbus.server import StartAsyncTcpServer
from pymodbus.transaction import ModbusRtuFramer, ModbusSocketFramer


async def main():
    framer = ModbusRtuFramer if sys.argv[1] == "rtu" else ModbusSocketFramer
    with open(sys.argv[2], encoding="ascii") as file:
        values = [int(word) for word in file.read().split()]
    delay = int(sys.argv[3]) / 1000.0 if len(sys.argv) > 3 else 0.0

    def held_back(response):
        time.sleep(delay)
        return response, False

    store = ModbusSlaveContext(hr=ModbusSequentialDataBlock(0, values), zero_mode=True)
    server = await StartAsyncTcpServer(
        context=ModbusServerContext(slaves=store, single=True),
        address=("127.0.0.1", 0),
        framer=framer,
        defer_start=True,
        response_manipulator=held_back if delay > 0 else None,
    )
    serving = asyncio.create_task(server.serve_forever())
    await server.serving
    port = server.server.sockets[0].getsockname()[1]
    print("ready", port, flush=True)
    await serving


asyncio.run(main())
