#include "MenuCaptions.h"

#include "Language.h"

QString MenuCaption::in(int language) const
{
    return language == Language::Czech ? czech : english;
}

const QList<MenuCaption> &MenuCaptions::table()
{
    static const QList<MenuCaption> captions = {
        {"File1", QStringLiteral("&File"), QStringLiteral("&Soubor")},
        {"Import1", QStringLiteral("&Open"), QStringLiteral("&Otevrít")},
        {"Export1", QStringLiteral("&Save to File"), QStringLiteral("&Uložit do souboru")},
        {"Exit1", QStringLiteral("E&xit"), QStringLiteral("&Konec")},
        {"Communication1", QStringLiteral("&Communication"), QStringLiteral("&Komunikace")},
        {"Connect1", QStringLiteral("&Connect"), QStringLiteral("&Pripojit")},
        {"Disconnect1", QStringLiteral("&Disconnect"), QStringLiteral("&Odpojit")},
        {"FindGateway1", QStringLiteral("&Find gateway..."), QStringLiteral("&Vyhledat bránu...")},
        {"TrafficMonitor1", QStringLiteral("&Traffic monitor..."), QStringLiteral("&Monitor provozu...")},
        {"SWUpgrade1", QStringLiteral("&Upgrade SW"), QStringLiteral("&Aktualizovat SW")},
        {"UpgradeSW1", QStringLiteral("&Upgrade SW"), QStringLiteral("&Aktualizovat SW")},
        {"Descriptions1", QStringLiteral("&Descriptions"), QStringLiteral("&Popisky")},
        {"ShowDescriptions1", QStringLiteral("&Show"), QStringLiteral("&Zobrazit")},
        {"DeleteDescriptions1", QStringLiteral("&Delete"), QStringLiteral("S&mazat")},
        {"SaveToFile1", QStringLiteral("Save to &File"), QStringLiteral("&Uložit do souboru")},
        {"LoadfomFile1", QStringLiteral("&Load from File"), QStringLiteral("&Nacíst ze souboru")},
        {"Record1", QStringLiteral("&Recorder"), QStringLiteral("&Záznam")},
        {"Startlogging1", QStringLiteral("&Start Logging"), QStringLiteral("&Spustit záznam")},
        {"StopLogging1", QStringLiteral("Sto&p Logging"), QStringLiteral("&Ukoncit záznam")},
        {"RecordOptions1", QStringLiteral("Recorder &Options"), QStringLiteral("&Nastavení záznamu")},
        {"TrendChart1", QStringLiteral("&Trend chart..."), QStringLiteral("&Graf teplot...")},
        {"Language1", QStringLiteral("&Language"), QStringLiteral("&Jazyk")},
        {"Czech1", QStringLiteral("&Ceština"), QStringLiteral("&Ceština")},
        {"English1", QStringLiteral("&English"), QStringLiteral("&Anglictina (English)")},
    };
    return captions;
}
