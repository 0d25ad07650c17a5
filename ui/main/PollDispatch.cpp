#include "PollDispatch.h"

#include "ChannelText.h"
#include "DataLogger.h"
#include "Language.h"
#include "ServiceBlockText.h"
#include "TFrame_FindNewTab.h"
#include "TFrame_LineTab.h"
#include "TFrame_SensorBox.h"
#include "TFrame_SensorNewBox.h"
#include "TdlgTarvikSettings.h"
#include "TemperatureHistory.h"

#include <QDateTime>
#include <QLabel>

void PollDispatch::Dispatch(const std::array<uint16_t, PollBlockSize> &registers, uint16_t start)
{
    if (start < ServiceRegs::Start && start % PollBlockSize == 0
        && start < ChannelMap::ChannelCount * ChannelMap::RecordSize) {
        const int first = start / ChannelMap::RecordSize + 1;
        const QDateTime now = QDateTime::currentDateTimeUtc();
        for (int k = 0; k < ChannelMap::ChannelsPerBlock; ++k) {
            const TChannelRecord record = TChannelRecord::fromBlock(registers, k, first);
            m_t.sensorBoxes[first + k - 1]->ShowChannel(record);
            m_t.history->add(record, now);
        }
        m_t.logger->ChannelsRead(first, ChannelMap::ChannelsPerBlock);
        // Both lines are refreshed after every channel block: the last channel in high or in
        // short circuit decides the line's state.
        for (TFrame_LineTab *tab : std::as_const(m_t.lineTabs)) {
            QList<uint8_t> statuses;
            for (const TFrame_SensorBox *box : tab->boxes())
                statuses.append(box->lastRecord().status);
            tab->ShowLineStatus(ServiceBlockText::lineState(statuses));
        }
    } else if (start == ServiceRegs::Start) {
        const bool czech = Language::current() == Language::Czech;
        const auto version = [&](uint16_t reg) { return ChannelText::FormatVersion(registers[size_t(ServiceRegs::offset(reg))]); };
        m_t.firmwareVersion->setText((czech ? QStringLiteral("Verze FW: %1") : QStringLiteral("Gateway FW version: %1"))
                                         .arg(version(ServiceRegs::FirmwareVersion)));
        m_t.hardwareVersion->setText((czech ? QStringLiteral("Verze HW: %1") : QStringLiteral("Gateway HW version: %1"))
                                         .arg(version(ServiceRegs::HardwareVersion)));
        for (TFrame_FindNewTab *panel : std::as_const(m_t.searchPanels))
            panel->ShowServiceBlock(registers);
        m_t.settings->ShowServiceRegisters(registers);
    } else if (start == FoundList::Start[0] || start == FoundList::Start[1]) {
        for (const TChannelRecord &r : ServiceBlockText::foundRecords(start, registers))
            m_t.newBoxes[r.channel - 1]->ShowFoundDevice(r.channel, r.rom, r.values[0]);
    }
}
