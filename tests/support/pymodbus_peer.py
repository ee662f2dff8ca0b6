# An independent Modbus server (pymodbus) for the tests: holding registers
# 0..19999 hold their own numbers, input registers are all 7.
#   pymodbus_peer.py tcp|udp rtu|mbap PORT UNIT
import sys

from pymodbus.datastore import ModbusSequentialDataBlock, ModbusServerContext, ModbusSlaveContext
from pymodbus.server import StartTcpServer, StartUdpServer
from pymodbus.transaction import ModbusRtuFramer, ModbusSocketFramer

protocol, framing, port, unit = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4])
holding = ModbusSequentialDataBlock(0, [i % 65536 for i in range(20000)])
inputs = ModbusSequentialDataBlock(0, [7] * 200)
context = ModbusServerContext(slaves={unit: ModbusSlaveContext(hr=holding, ir=inputs, zero_mode=True)},
                              single=False)
framer = ModbusRtuFramer if framing == "rtu" else ModbusSocketFramer
start = StartTcpServer if protocol == "tcp" else StartUdpServer
start(context=context, address=("127.0.0.1", port), framer=framer)
