#include "FileCommands.h"

#include "ChannelNumbering.h"
#include "ConfigurationFile.h"
#include "ConfigurationRestore.h"
#include "DescriptionFile.h"
#include "FileChoice.h"
#include "Prompts.h"
#include "TForm_ProgressDialog.h"
#include "TFrame_LineTab.h"
#include "TFrame_SensorBox.h"
#include "TTarvikKomunikator.h"

#include <QFileInfo>
#include <QWidget>

namespace {
const QString kTextFilter = QStringLiteral("Text files (*.txt *.TXT);;All files (*)");
const QString kBinaryFilter = QStringLiteral("Binary files (*.bin *.BIN)");
const QString kReadError = QStringLiteral("Error reading file.");
} // namespace

FileCommands::FileCommands(TTarvikKomunikator &komunikator, const QList<TFrame_LineTab *> &tabs, QWidget *window)
    : m_komunikator(komunikator), m_tabs(tabs), m_window(window)
{
}

FileCommands::~FileCommands() = default;

QList<TFrame_SensorBox *> FileCommands::boxes() const
{
    QList<TFrame_SensorBox *> all;
    for (TFrame_LineTab *tab : m_tabs)
        tab->AddBoxesTo(all);
    return all;
}

void FileCommands::saveDescriptions()
{
    const QString path = FileChoice::askSaveName(QStringLiteral("Save to File"), kTextFilter, QStringLiteral("txt"));
    if (path.isEmpty())
        return;
    QList<TDescriptionRecord> channels;
    for (TFrame_LineTab *tab : m_tabs)
        tab->CollectDescriptions(channels);
    QString error;
    if (!DescriptionFile::write(path, channels, &error))
        Prompts::current().error(QStringLiteral("Cannot write %1: %2").arg(path, error));
}

void FileCommands::loadDescriptions()
{
    const QString path = FileChoice::askOpenName(QStringLiteral("Load from File"), kTextFilter, QStringLiteral("txt"));
    if (path.isEmpty())
        return;
    QList<TDescriptionRecord> records;
    switch (DescriptionFile::load(path, ChannelNumbering::flag(), records)) {
    case DescriptionFile::LoadResult::Ok:
        break;
    case DescriptionFile::LoadResult::Missing:
        Prompts::current().information(QStringLiteral("File does not exist."));
        return;
    case DescriptionFile::LoadResult::NotOurs:
    case DescriptionFile::LoadResult::ReadError:
        Prompts::current().error(kReadError);
        return;
    }
    for (int line = 0; line < m_tabs.size(); ++line)
        m_tabs[line]->ApplyDescriptions(records.mid(line * 20, 20));
}

void FileCommands::deleteDescriptions()
{
    if (!Prompts::current().confirm(QStringLiteral("All descriptions will be lost. Continue?"), Prompts::Question::WarningYesNo))
        return;
    for (TFrame_LineTab *tab : m_tabs)
        tab->ClearDescriptions();
}

void FileCommands::showDescriptions(bool on)
{
    for (TFrame_LineTab *tab : m_tabs)
        tab->ShowDescriptions(on);
}

void FileCommands::exportConfiguration()
{
    const QString path = FileChoice::askSaveName(QStringLiteral("Save to File"), kBinaryFilter, QStringLiteral("bin"));
    if (path.isEmpty())
        return;
    QList<TChannelRecord> records;
    for (const TFrame_SensorBox *box : boxes())
        records.append(box->lastRecord());
    QString error;
    if (!ConfigurationFile::write(path, records, &error))
        Prompts::current().error(QStringLiteral("Cannot write %1: %2").arg(path, error));
}

bool FileCommands::importRunning() const
{
    return m_komunikator.ImportRunning();
}

void FileCommands::importConfiguration()
{
    if (m_komunikator.ImportRunning())
        return;
    const QString path = FileChoice::askOpenName(QStringLiteral("Open"), kBinaryFilter, QStringLiteral("bin"));
    if (path.isEmpty())
        return;
    QList<TChannelRecord> records;
    switch (ConfigurationFile::read(path, records)) {
    case ConfigurationFile::ReadResult::Ok:
        break;
    case ConfigurationFile::ReadResult::Missing:
        Prompts::current().information(QStringLiteral("File does not exist."));
        return;
    case ConfigurationFile::ReadResult::Invalid:
        Prompts::current().error(kReadError);
        return;
    }
    // A file whose records are out of place is damaged: nothing of it is shown or sent.
    if (const QString refusal = ConfigurationRestore::refusal(records); !refusal.isEmpty()) {
        Prompts::current().error(refusal);
        return;
    }

    const QList<TFrame_SensorBox *> all = boxes();
    if (!m_komunikator.Active()) {
        // Without a link the backup is only shown, as channels not read.
        for (int i = 0; i < records.size() && i < all.size(); ++i) {
            TChannelRecord shown = records[i];
            shown.status = 254;
            all[i]->ShowChannel(shown);
        }
        return;
    }
    if (m_komunikator.Counters().TimedOut()) {
        // Nothing would reach the gateway: the restore does not start, as the programmer's does not.
        TTarvikKomunikator::ImportResult notStarted;
        notStarted.status = TTarvikKomunikator::ImportResult::InTimeout;
        Prompts::current().information(ConfigurationRestore::outcome(notStarted));
        return;
    }
    if (ConfigurationRestore::channelsNamed(records) == 0) {
        Prompts::current().information(QStringLiteral("%1 holds no channel that was ever read: there is nothing to send.")
                                           .arg(QFileInfo(path).fileName()));
        return;
    }
    // What the gateway's channels would lose is in sight before OK: the channels whose code
    // the file changes, against what the boxes last read.
    QList<TChannelRecord> current;
    for (const TFrame_SensorBox *box : all)
        current.append(box->lastRecord());
    QString question = QStringLiteral("Open configuration file: %1. Send to the connected device?\n\n%2")
                           .arg(QFileInfo(path).fileName(), ConfigurationRestore::changes(records, current));
    if (const QList<int> bad = ConfigurationRestore::badRomCodes(records); !bad.isEmpty())
        question = QStringLiteral("The ROM codes of %1 fail their 1-Wire CRC check: the file may be damaged.\n\n")
                       .arg(ConfigurationRestore::channelList(bad))
                   + question;
    if (!Prompts::current().confirm(question, Prompts::Question::OkCancel))
        return;

    if (!m_progress) {
        m_progress = std::make_unique<TForm_ProgressDialog>(m_window);
        m_progress->setWindowTitle(QStringLiteral("1-WIRE-TARVIK Tool - Import from file"));
        // The rest of the program takes no input while the gateway is rewritten.
        m_progress->setWindowModality(Qt::ApplicationModal);
    }
    m_progress->setMaximum(ConfigurationFile::RecordCount);
    m_progress->setPosition(0);
    m_progress->setText(QString());
    m_progress->show();
    if (m_window)
        m_progress->move(m_window->geometry().center() - m_progress->rect().center());

    m_komunikator.ImportRomCodes(
        records,
        [this](int done, int) {
            m_progress->setPosition(done);
            // The record's place in the file is its channel: 1..40, shown in the current numbering.
            m_progress->setText(QStringLiteral("Rewriting channel configuration... (Channel %1)")
                                    .arg(ChannelNumbering::displayNumber(done)));
        },
        [this](const TTarvikKomunikator::ImportResult &result) {
            m_progress->hide();
            // The poll cycle goes on wherever the link is still there.
            if (m_komunikator.Active() && OnImportDone)
                OnImportDone();
            if (result.completed())
                Prompts::current().information(ConfigurationRestore::outcome(result));
            else
                Prompts::current().error(ConfigurationRestore::outcome(result));
        });
}
