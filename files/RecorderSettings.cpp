#include "RecorderSettings.h"

#include "CommSettings.h"

#include <QSettings>
#include <memory>

int RecorderSettings::period()
{
    const std::unique_ptr<QSettings> store(CommSettings::openStore());
    bool ok = false;
    const qlonglong value = store->value(QStringLiteral("Recorder/Period")).toString().trimmed().toLongLong(&ok);
    return ok && value >= MinPeriod && value <= MaxPeriod ? int(value) : DefaultPeriod;
}

void RecorderSettings::setPeriod(int seconds)
{
    const std::unique_ptr<QSettings> store(CommSettings::openStore());
    store->setValue(QStringLiteral("Recorder/Period"), seconds);
    store->sync();
}

RecorderRows::Form RecorderSettings::form()
{
    const std::unique_ptr<QSettings> store(CommSettings::openStore());
    return store->value(QStringLiteral("Recorder/Form")).toString().trimmed() == QLatin1String("plain") ? RecorderRows::Form::Plain
                                                                                                      : RecorderRows::Form::Classic;
}

void RecorderSettings::setForm(RecorderRows::Form form)
{
    const std::unique_ptr<QSettings> store(CommSettings::openStore());
    store->setValue(QStringLiteral("Recorder/Form"), form == RecorderRows::Form::Plain ? QStringLiteral("plain") : QStringLiteral("classic"));
    store->sync();
}
