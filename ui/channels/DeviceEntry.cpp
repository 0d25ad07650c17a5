#include "DeviceEntry.h"

#include "ChannelNumbering.h"
#include "LinkMessages.h"
#include "Prompts.h"
#include "RomCode.h"
#include "RomCodeEntry.h"
#include "TTarvikKomunikator.h"
#include "TargetPosition.h"

void DeviceEntry::SaveFoundDevice(int line, int index)
{
    if (!m_komunikator.Active()) {
        Prompts::current().information(QString::fromLatin1(kPortInactiveMessage));
        return;
    }
    const int numbering = ChannelNumbering::flag();
    const auto text = Prompts::current().inputQuery(TargetPosition::caption(index),
                                                    TargetPosition::prompt(line, numbering), QString());
    if (!text)
        return;
    const auto position = TargetPosition::parse(*text, line, numbering);
    if (!position) {
        // Not asked again: the user clicks Save once more.
        Prompts::current().error(TargetPosition::errorText(line, numbering));
        return;
    }
    m_komunikator.SaveFoundDevice(index, *position);
}

void DeviceEntry::EditRomCode(int channel, int displayNumber, const QString &currentRom)
{
    QString text = currentRom;
    for (;;) {
        const auto entered = Prompts::current().maskedInput(RomCodeEntry::caption(displayNumber),
                                                            RomCodeEntry::prompt(), text);
        if (!entered)
            return;
        text = *entered;
        RomCode::Words words{};
        if (RomCode::ParseRomCode(text, words)) {
            m_komunikator.WriteRomCode(words, channel);
            return;
        }
        // Asked again with what the user typed, so a pasted code can be mended.
        Prompts::current().error(RomCodeEntry::invalidInputText());
    }
}
