#include "TForm_TrafficMonitor.h"

#include "AtomicFile.h"
#include "ErrorGuard.h"
#include "FileChoice.h"
#include "FrameDecoder.h"
#include "Prompts.h"
#include "TextFileCodec.h"
#include "TrafficCellDelegate.h"
#include "TrafficFilter.h"
#include "TrafficLog.h"
#include "TrafficTableModel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QVBoxLayout>

TForm_TrafficMonitor::TForm_TrafficMonitor(TrafficLog &log, QWidget *parent)
    : QDialog(parent), m_log(log), m_model(new TrafficTableModel(this)), m_filter(new TrafficFilter(this))
{
    m_filter->setSourceModel(m_model);
    setObjectName(QStringLiteral("Form_TrafficMonitor"));
    setWindowTitle(QStringLiteral("1-WIRE-TARVIK Tool - Traffic monitor"));
    setWindowFlags(Qt::Window);
    Table_Frames = new QTableView(this);
    Table_Frames->setObjectName(QStringLiteral("Table_Frames"));
    Table_Frames->setModel(m_filter);
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

    Combo_Function = new QComboBox(this);
    Combo_Function->setObjectName(QStringLiteral("Combo_Function"));
    Combo_Function->addItem(QStringLiteral("All functions"), TrafficFilter::AnyFunction);
    for (int function : {0x03, 0x06, 0x10})
        Combo_Function->addItem(QStringLiteral("%1 %2").arg(function, 2, 10, QLatin1Char('0')).arg(FrameDecoder::functionName(uint8_t(function))),
                                function);
    Combo_Fault = new QComboBox(this);
    Combo_Fault->setObjectName(QStringLiteral("Combo_Fault"));
    Combo_Fault->addItem(QStringLiteral("All kinds"), int(LinkFault::None));
    for (int i = 0; i < LinkFaults::Kinds; ++i)
        Combo_Fault->addItem(LinkFaults::title(LinkFaults::fromIndex(i)), int(LinkFaults::fromIndex(i)));
    Edit_Filter = new QLineEdit(this);
    Edit_Filter->setObjectName(QStringLiteral("Edit_Filter"));
    Edit_Filter->setPlaceholderText(QStringLiteral("Text in the frame or its meaning"));
    Edit_Filter->setClearButtonEnabled(true);
    auto *filterLabel = new QLabel(QStringLiteral("&Filter:"), this);
    filterLabel->setBuddy(Edit_Filter);
    Label_Errors = new QLabel(this);
    Label_Errors->setObjectName(QStringLiteral("Label_Errors"));
    Label_Errors->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(Button_Pause);
    buttons->addWidget(Button_Clear);
    buttons->addWidget(CheckBox_ErrorsOnly);
    buttons->addStretch(1);
    buttons->addWidget(Button_Save);
    auto *filters = new QHBoxLayout;
    filters->addWidget(filterLabel);
    filters->addWidget(Combo_Function);
    filters->addWidget(Combo_Fault);
    filters->addWidget(Edit_Filter, 1);
    auto *column = new QVBoxLayout(this);
    column->addLayout(buttons);
    column->addLayout(filters);
    column->addWidget(Table_Frames, 1);
    column->addWidget(Label_Errors);
    resize(1000, 520);

    connect(Button_Clear, &QPushButton::clicked, this, [this] {
        m_log.clear();
        refresh();
    });
    connect(CheckBox_ErrorsOnly, &QCheckBox::toggled, m_model, &TrafficTableModel::setErrorsOnly);
    connect(Combo_Function, &QComboBox::currentIndexChanged, this,
            [this] { m_filter->setFunction(Combo_Function->currentData().toInt()); });
    connect(Combo_Fault, &QComboBox::currentIndexChanged, this,
            [this] { m_filter->setFault(LinkFault(Combo_Fault->currentData().toInt())); });
    connect(Edit_Filter, &QLineEdit::textChanged, m_filter, &TrafficFilter::setText);
    connect(Button_Save, &QPushButton::clicked, this, [this] { ErrorGuard::run([this] { saveAsText(); }); });
    m_refresh.setInterval(RefreshMs);
    connect(&m_refresh, &QTimer::timeout, this, [this] {
        if (!Button_Pause->isChecked())
            refresh();
        else
            showErrors();
    });
    showErrors();
}

void TForm_TrafficMonitor::setErrorSource(std::function<TErrorSplit()> source)
{
    m_errors = std::move(source);
    showErrors();
}

void TForm_TrafficMonitor::showErrors()
{
    Label_Errors->setVisible(bool(m_errors));
    if (m_errors)
        Label_Errors->setText(m_errors().summary());
}

QStringList TForm_TrafficMonitor::shownLines() const
{
    QStringList out;
    for (int row = 0; row < m_filter->rowCount(); ++row)
        out.append(m_model->line(m_filter->mapToSource(m_filter->index(row, 0)).row()));
    return out;
}

void TForm_TrafficMonitor::refresh()
{
    QScrollBar *bar = Table_Frames->verticalScrollBar();
    const bool atEnd = bar->value() >= bar->maximum() - 2;
    m_model->update(m_log);
    showErrors();
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
    if (!AtomicFile::write(path, TextFileCodec::encode(shownLines()), &error))
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
