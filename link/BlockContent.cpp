#include "BlockContent.h"

#include "TTarvikKomunikator.h"

#include <algorithm>

namespace {
uint16_t reg(const BlockContent::Registers &registers, uint16_t address)
{
    return registers[size_t(ServiceRegs::offset(address))];
}

bool portSettingsHold(const BlockContent::Registers &r, uint16_t address, uint16_t baud, uint16_t stopBits,
                      uint16_t parity)
{
    const auto &table = TTarvikKomunikator::BaudRateTable;
    const uint16_t a = reg(r, address);
    const uint16_t s = reg(r, stopBits);
    return a >= 1 && a <= 247 && std::find(table.begin(), table.end(), reg(r, baud)) != table.end()
           && (s == 1 || s == 2) && reg(r, parity) <= 2;
}
} // namespace

bool BlockContent::plausible(uint16_t startAddress, const Registers &registers)
{
    if (startAddress != ServiceRegs::Start)
        return true;
    return portSettingsHold(registers, ServiceRegs::Com0Address, ServiceRegs::Com0BaudRate, ServiceRegs::Com0StopBits,
                            ServiceRegs::Com0Parity)
           && portSettingsHold(registers, ServiceRegs::Com1Address, ServiceRegs::Com1BaudRate,
                               ServiceRegs::Com1StopBits, ServiceRegs::Com1Parity);
}

BlockContent::Registers BlockContent::registersOf(const QByteArray &answer)
{
    Registers registers{};
    for (int i = 0; i < PollBlockSize && 4 + 2 * i < answer.size() - 2; ++i)
        registers[size_t(i)] = uint16_t(uint8_t(answer[3 + 2 * i]) << 8 | uint8_t(answer[4 + 2 * i]));
    return registers;
}

int BlockContent::answerDelayMs(const Registers &serviceBlock)
{
    return qMin<int>(qMax(reg(serviceBlock, ServiceRegs::Com0Delay), reg(serviceBlock, ServiceRegs::Com1Delay)),
                     TModbusKomunikator::MaxAnswerDelayMs);
}
