#pragma once

#include "SimDevice.h"

#include <QByteArray>
#include <QList>
#include <QRandomGenerator>
#include <QString>
#include <array>
#include <cstdint>
#include <optional>

// What the simulated gateway holds and does, without any I/O: its holding registers, the
// devices on its two 1-Wire lines, the channel assignments, the search and assignment commands,
// the port settings, and the sink for a firmware image. Register access reports the Modbus
// exception a real gateway would answer with.
class GatewayModel
{
public:
    enum class Access { Ok, IllegalAddress, IllegalValue };
    static constexpr int RegisterSpace = 1472;
    static constexpr uint16_t FirmwareVersion = 109;
    static constexpr uint16_t HardwareVersion = 100;

    explicit GatewayModel(quint32 seed = 1);

    // Populations.
    void clearPopulation();
    // The demo population. Another variant (1-255) holds the same kinds of device in the same
    // channels with other serial numbers and other temperatures, so that several gateways on
    // one bus can be told apart by what they hold.
    void loadDemoPopulation(int variant = 0);
    // Reads a population file; false with a message on a bad line (nothing is changed then).
    bool loadPopulationFile(const QString &path, QString *error);
    // The same for a file's contents; name stands for the file in messages.
    bool loadPopulationText(const QByteArray &text, const QString &name, QString *error);
    // Adds a device; when channel is 1..40 it is assigned there.
    void addDevice(const SimDevice &device, int channel = 0);
    void setDevicePresent(const std::array<uint16_t, 4> &rom, bool present);
    // A line fault: 0 none, 1 line in high, 2 short circuit.
    void setLineFault(int line, uint8_t fault);
    // Sets the port settings registers as a gateway configured for this line would hold them.
    void setPortSettings(uint8_t address, int baud, int parity, int stopBits);
    // Sets the answer delay of both ports (registers 1053 and 1054). A write over Modbus takes
    // 0-200 ms only; this takes any value, so a master can be tried against longer delays.
    void setAnswerDelay(uint16_t ms);

    // Modbus register access.
    Access read(uint16_t start, int count, QList<uint16_t> &out);
    Access writeSingle(uint16_t reg, uint16_t value);
    Access writeMultiple(uint16_t start, const QList<uint16_t> &values);

    // Lets time pass: temperatures and humidity drift, iButton contacts come and go.
    void advance(int ms);

    uint16_t reg(uint16_t address) const { return m_regs[address]; }
    uint16_t answerDelayMs() const;
    const QList<SimDevice> &devices() const { return m_devices; }
    // The ROM code assigned to channel c, or nullopt for a free position.
    std::optional<std::array<uint16_t, 4>> assigned(int c) const;

    // Firmware update sink.
    const QByteArray &firmwareImage() const { return m_image; }
    const QList<uint16_t> &erasedPages() const { return m_erasedPages; }

    // A ROM code with the family and serial given and a valid 1-Wire CRC as its last byte.
    static std::array<uint16_t, 4> makeRom(uint8_t family, uint64_t serial48);

private:
    bool isReadable(uint16_t reg) const;
    Access validatePortSetting(uint16_t reg, uint16_t value) const;
    void runCommand(int line, uint16_t word);
    void assign(int channel, const std::array<uint16_t, 4> &rom);
    void freeChannel(int channel);
    void refreshChannels();
    void writeChannelRecord(int channel);
    QList<const SimDevice *> unassignedOnLine(int line) const;
    QList<const SimDevice *> presentOnLine(int line) const;
    const SimDevice *deviceByRom(const std::array<uint16_t, 4> &rom) const;
    void fillFoundList(int line, const QList<const SimDevice *> &found);
    void storeFirmwareChunk(const QList<uint16_t> &values);

    std::array<uint16_t, RegisterSpace> m_regs{};
    std::array<std::optional<std::array<uint16_t, 4>>, 40> m_assigned{};
    QList<SimDevice> m_devices;
    std::array<uint8_t, 2> m_lineFault{};
    QRandomGenerator m_rng;
    QByteArray m_image;
    QList<uint16_t> m_erasedPages;
    int m_imageBase = 0; // high part of chunk offsets beyond 16 bits
    int m_lastChunkOffset = -1;
    std::array<QList<std::array<uint16_t, 4>>, 2> m_found;
    std::array<std::array<uint16_t, 4>, 2> m_newRom{};
    qint64 m_clockMs = 0;
    QList<qint64> m_removedAt; // per device: when its iButton chip was last removed
};
