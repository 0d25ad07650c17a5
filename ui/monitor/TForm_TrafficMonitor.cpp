#include "TForm_TrafficMonitor.h"

#include "AtomicFile.h"
#include "ErrorGuard.h"
#include "FileChoice.h"
#include "Prompts.h"
#include "TextFileCodec.h"
#include "TrafficCellDelegate.h"
#include "TrafficLog.h"
#include "TrafficTableModel.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QVBoxLayout>

TForm_TrafficMonitor::TForm_TrafficMonitor(TrafficLog &log, QWidget *parent)
    : QDialog(parent), m_log(log), m_model(new TrafficTableModel(this))
{
    setObjectName(QStringLiteral("Form_TrafficMonitor"));
    setWindowTitle(QStringLiteral("1-WIRE-TARVIK Tool - Traffic monitor"));
    setWindowFlags(Qt::Window);
    Table_Frames = new QTableView(this);
    Table_Frames->setObjectName(QStringLiteral("Table_Frames"));
    Table_Frames->setModel(m_model);
    Table_Frames->setItemDelegate(new TrafficCellDelegate(Table_Frames));
    Table_Frames->verticalHeader()->hide();
    Table_Frames->verticalHeader()->setDefaultSectionSize(Table_Frames->fontMetrics().height() + 4);
    // Rows of one height: nothing is measured when thousands of rows come.
    Table_Frames->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    Table_Frames->horizontalHeader()->setStretchLastSection(false);
    Table_Frames->setColumnWidth(TrafficTableModel::Time, 95);
    Table_Frames->setColumnWidth(TrafficTableModel::Direction, 35);
    Table_Frames->setColumnWidth(TrafficTableModel::Bytes, 330);
    Table_Frames->setColumnWidth(TrafficTableModel::Decoding, 430);
    Table_Frames->setColumnWidth(TrafficTableModel::Delay, 70);
    Table_Frames->setSelectionBehavior(QAbstractItemView::SelectRows);
    Table_Frames->setWordWrap(false);
    QFont fixed(QStringLiteral("Monospace"));
    fixed.setStyleHint(QFont::TypeWriter);
    Table_Frames->setFont(fixed);

    Button_Pause = new QPushButton(QStringLiteral("Pause"), this);
    Button_Pause->setObjectName(QStringLiteral("Button_Pause"));
    Button_Pause->setCheckable(true);
    Button_Clear = new QPushButton(QStringLiteral("Clear"), this);
    Button_Clear->setObjectName(QStringLiteral("Button_Clear"));
    CheckBox_ErrorsOnly = new QCheckBox(QStringLiteral("Errors only"), this);
    CheckBox_ErrorsOnly->setObjectName(QStringLiteral("CheckBox_ErrorsOnly"));
    Button_Save = new QPushButton(QStringLiteral("Save as text..."), this);
    Button_Save->setObjectName(QStringLiteral("Button_Save"));

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(Button_Pause);
    buttons->addWidget(Button_Clear);
    buttons->addWidget(CheckBox_ErrorsOnly);
    buttons->addStretch(1);
    buttons->addWidget(Button_Save);
    auto *column = new QVBoxLayout(this);
    column->addLayout(buttons);
    column->addWidget(Table_Frames, 1);
    resize(1000, 520);

    connect(Button_Clear, &QPushButton::clicked, this, [this] {
        m_log.clear();
        refresh();
    });
    connect(CheckBox_ErrorsOnly, &QCheckBox::toggled, m_model, &TrafficTableModel::setErrorsOnly);
    connect(Button_Save, &QPushButton::clicked, this, [this] { ErrorGuard::run([this] { saveAsText(); }); });
    m_refresh.setInterval(RefreshMs);
    connect(&m_refresh, &QTimer::timeout, this, [this] {
        if (!Button_Pause->isChecked())
            refresh();
    });
}

void TForm_TrafficMonitor::refresh()
{
    QScrollBar *bar = Table_Frames->verticalScrollBar();
    const bool atEnd = bar->value() >= bar->maximum() - 2;
    m_model->update(m_log);
    // Follow the newest frames unless the user scrolled back to read older ones.
    if (atEnd)
        Table_Frames->scrollToBottom();
}

void TForm_TrafficMonitor::saveAsText()
{
    const QString path = FileChoice::askSaveName(QStringLiteral("Save as text"), QStringLiteral("Text files (*.txt *.TXT)"),
                                                 QStringLiteral("txt"));
    if (path.isEmpty())
        return;
    QString error;
    if (!AtomicFile::write(path, TextFileCodec::encode(m_model->lines()), &error))
        Prompts::current().error(QStringLiteral("Cannot write %1: %2").arg(path, error));
}

void TForm_TrafficMonitor::showEvent(QShowEvent *event)
{
    refresh();
    m_refresh.start();
    QDialog::showEvent(event);
}

void TForm_TrafficMonitor::hideEvent(QHideEvent *event)
{
    // Nothing to show while hidden: the log keeps collecting by itself.
    m_refresh.stop();
    QDialog::hideEvent(event);
}
