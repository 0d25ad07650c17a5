#pragma once

#include <QList>
#include <QString>
#include <functional>
#include <memory>

class QWidget;
class TForm_ProgressDialog;
class TFrame_LineTab;
class TFrame_SensorBox;
class TTarvikKomunikator;

// The main window's File and Descriptions commands: the channel descriptions text file and the
// gateway configuration backup, between the files and the line tabs, and the restore of a
// backup into the gateway with its progress window.
class FileCommands
{
public:
    FileCommands(TTarvikKomunikator &komunikator, const QList<TFrame_LineTab *> &tabs, QWidget *window);
    ~FileCommands();

    void saveDescriptions();
    void loadDescriptions();
    // Asks first; on Yes every description is emptied.
    void deleteDescriptions();
    void showDescriptions(bool on);

    void exportConfiguration();
    void importConfiguration();
    bool importRunning() const;
    // Tick Connected again at the end of a restore (the window's connection panel).
    std::function<void()> OnImportDone;
    TForm_ProgressDialog *progressDialog() const { return m_progress.get(); }

private:
    QList<TFrame_SensorBox *> boxes() const;

    TTarvikKomunikator &m_komunikator;
    QList<TFrame_LineTab *> m_tabs;
    QWidget *m_window;
    std::unique_ptr<TForm_ProgressDialog> m_progress;
};
