// Interoperability with libmodbus, so neither side of our link is checked only against itself:
// our master polls and writes a libmodbus RTU slave, and a libmodbus RTU master reads and
// writes our simulated gateway, both over pseudo-terminals; a libmodbus Modbus TCP master reads
// two gateways through the simulator's Modbus TCP server.
#include "GatewayModel.h"
#include "PtyLink.h"
#include "SimOnPty.h"
#include "SimProcess.h"
#include "TTarvikKomunikator.h"

#include <QMap>
#include <QScopeGuard>
#include <QTest>
#include <atomic>
#include <modbus/modbus.h>
#include <mutex>
#include <thread>

namespace {

// Address 1 at 9600 Bd, one stop bit, no parity, for both ports (registers 1001-1008).
constexpr uint16_t kPortSettings[8] = {1, 96, 1, 96, 1, 0, 1, 0};

// A libmodbus RTU slave working the master side of a pseudo-terminal on its own thread.
class LibmodbusSlave
{
public:
    LibmodbusSlave()
    {
        // The firmware frame writes up to register 1471.
        m_mapping = modbus_mapping_new(0, 0, 1472, 0);
        for (int i = 0; i < 1472; ++i)
            m_mapping->tab_registers[i] = uint16_t(i * 3 + 1);
        // Port settings a gateway can hold (the master refuses a service block without them).
        for (int i = 0; i < 8; ++i)
            m_mapping->tab_registers[1001 + i] = kPortSettings[i];
        m_ctx = modbus_new_rtu("/dev/null", 9600, 'N', 8, 1);
        modbus_set_slave(m_ctx, 1);
        modbus_set_socket(m_ctx, m_pty.masterFd());
        modbus_set_indication_timeout(m_ctx, 0, 100000);
        m_thread = std::thread([this] { serve(); });
    }
    ~LibmodbusSlave()
    {
        m_stop = true;
        m_thread.join();
        modbus_free(m_ctx); // the socket is the pty's; it closes it itself
        modbus_mapping_free(m_mapping);
    }
    QString path() const { return m_pty.slavePath(); }
    uint16_t reg(int address)
    {
        std::lock_guard lock(m_mutex);
        return m_mapping->tab_registers[address];
    }

private:
    void serve()
    {
        uint8_t request[MODBUS_RTU_MAX_ADU_LENGTH];
        while (!m_stop) {
            const int n = modbus_receive(m_ctx, request);
            if (n > 0) {
                std::lock_guard lock(m_mutex);
                modbus_reply(m_ctx, request, n, m_mapping);
            }
        }
    }

    PtyLink m_pty;
    modbus_t *m_ctx = nullptr;
    modbus_mapping_t *m_mapping = nullptr;
    std::mutex m_mutex;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

} // namespace

class tst_LibmodbusInterop : public QObject
{
    Q_OBJECT
private slots:
    void ourMasterPollsAndWritesALibmodbusSlave()
    {
        LibmodbusSlave slave;
        TAfComPort port;
        TTarvikKomunikator gw{&port};
        QMap<uint16_t, std::array<uint16_t, 100>> blocks;
        gw.OnBlockReceived = [&] {
            std::array<uint16_t, 100> regs{};
            gw.GetRegisters(regs);
            blocks[gw.GetBlockAddress()] = regs;
        };
        gw.SetBaudRate(9600);
        gw.Open(slave.path());
        QVERIFY(QTest::qWaitFor([&] { return blocks.size() == 7; }, 8000));
        for (uint16_t start : PollBlocks)
            for (int i = 0; i < 100; ++i) {
                const int reg = start + i;
                QCOMPARE(blocks[start][size_t(i)], reg >= 1001 && reg <= 1008 ? kPortSettings[reg - 1001] : uint16_t(reg * 3 + 1));
            }

        gw.FindNew(1); // function 06 through the write queue
        QVERIFY(QTest::qWaitFor([&] { return slave.reg(1020) == 0x05FF; }, 3000));
        gw.WriteRomCode({0x28FF, 0x15E2, 0x6016, 0x0574}, 40); // function 16 at once
        QVERIFY(QTest::qWaitFor([&] { return slave.reg(393) == 0x0574; }, 3000));
        QCOMPARE(slave.reg(390), uint16_t(0x28FF));
        QCOMPARE(slave.reg(391), uint16_t(0x15E2));
        QCOMPARE(slave.reg(392), uint16_t(0x6016));
        QCOMPARE(gw.Counters().Err(), 0);
        gw.Close();
    }

    void libmodbusMasterReadsAndWritesOurSimulator()
    {
        SimOnPty sim({.clock = false});
        const QByteArray path = sim.link.toLocal8Bit();

        struct Result
        {
            int read100 = -1, read120 = -1, write06 = -1, write16x4 = -1, write16x97 = -1;
            uint16_t block0[100]{};
            uint16_t service[120]{};
            QString error;
        } r;
        std::atomic<bool> done{false};
        QByteArray chunk;
        for (int i = 0; i < 192; ++i)
            chunk.append(char(i * 5));

        std::thread master([&] {
            modbus_t *ctx = modbus_new_rtu(path.constData(), 9600, 'N', 8, 1);
            modbus_set_slave(ctx, 1);
            modbus_set_response_timeout(ctx, 1, 0);
            if (modbus_connect(ctx) != 0) {
                r.error = QString::fromUtf8(modbus_strerror(errno));
            } else {
                r.read100 = modbus_read_registers(ctx, 0, 100, r.block0);
                r.read120 = modbus_read_registers(ctx, 1000, 120, r.service);
                r.write06 = modbus_write_register(ctx, 1055, 3);
                const uint16_t rom[4] = {0x28FF, 0x15E2, 0x6016, 0x0574};
                r.write16x4 = modbus_write_registers(ctx, 390, 4, rom);
                uint16_t frame[97];
                frame[0] = 0;
                for (int i = 0; i < 96; ++i)
                    frame[1 + i] = uint16_t(uint8_t(chunk[2 * i]) << 8 | uint8_t(chunk[2 * i + 1]));
                r.write16x97 = modbus_write_registers(ctx, 1375, 97, frame);
                modbus_close(ctx);
            }
            modbus_free(ctx);
            done = true;
        });
        const bool finished = QTest::qWaitFor([&] { return done.load(); }, 15000);
        master.join();
        QVERIFY(finished);
        QVERIFY2(r.error.isEmpty(), qPrintable(r.error));

        QCOMPARE(r.read100, 100);
        QCOMPARE(r.read120, 120);
        QList<uint16_t> expected;
        sim.model().read(0, 100, expected);
        QCOMPARE(QList<uint16_t>(r.block0, r.block0 + 100), expected);
        QCOMPARE(r.service[0], uint16_t(109));
        QCOMPARE(r.write06, 1);
        QCOMPARE(sim.model().reg(1055), uint16_t(3));
        QCOMPARE(r.write16x4, 4);
        QCOMPARE(*sim.model().assigned(40), (std::array<uint16_t, 4>{0x28FF, 0x15E2, 0x6016, 0x0574}));
        QCOMPARE(r.write16x97, 97);
        QCOMPARE(sim.model().firmwareImage(), chunk);
    }

    // Unit ids 1 and 2 reach two gateways on one line, each with its own devices; unit 3 is
    // nobody, which the server answers with exception 0B, and the line is in step afterwards.
    void libmodbusTcpMasterReadsEachGatewayThroughOurModbusTcpServer()
    {
        SimProcess sim({"--address", "1-2", "--mbap", "0", "--mbap-wait", "200", "--baud", "38400"});
        QVERIFY2(sim.waitReady(), sim.errors().constData());
        modbus_t *ctx = modbus_new_tcp("127.0.0.1", sim.port("mbap"));
        QVERIFY(ctx);
        const auto freeContext = qScopeGuard([ctx] { modbus_close(ctx); modbus_free(ctx); });
        modbus_set_response_timeout(ctx, 2, 0);
        QVERIFY2(modbus_connect(ctx) == 0, modbus_strerror(errno));

        QList<QList<uint16_t>> roms;
        for (int unit : {1, 2}) {
            modbus_set_slave(ctx, unit);
            uint16_t channels[100]{};
            uint16_t service[2]{};
            QCOMPARE(modbus_read_registers(ctx, 0, 100, channels), 100);
            QCOMPARE(modbus_read_registers(ctx, 1000, 2, service), 2);
            QCOMPARE(service[1], uint16_t(unit)); // the gateway's own address
            // The first gateway holds the demo population, the second its first variant.
            GatewayModel expected;
            expected.loadDemoPopulation(unit - 1);
            QList<uint16_t> rom;
            for (int c = 1; c <= 10; ++c) {
                const auto assigned = expected.assigned(c);
                QVERIFY(assigned);
                for (int w = 0; w < 4; ++w) {
                    QCOMPARE(channels[(c - 1) * 10 + w], (*assigned)[size_t(w)]);
                    rom.append(channels[(c - 1) * 10 + w]);
                }
            }
            roms.append(rom);
        }
        QVERIFY(roms[0] != roms[1]);

        modbus_set_slave(ctx, 3);
        uint16_t none[1]{};
        QCOMPARE(modbus_read_registers(ctx, 1000, 1, none), -1);
        QCOMPARE(errno, int(EMBXGTAR));
        modbus_set_slave(ctx, 2);
        uint16_t address[1]{};
        QCOMPARE(modbus_read_registers(ctx, 1001, 1, address), 1);
        QCOMPARE(address[0], uint16_t(2));
    }
};

QTEST_GUILESS_MAIN(tst_LibmodbusInterop)
#include "tst_LibmodbusInterop.moc"
