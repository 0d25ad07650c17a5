#include "TFrame_LineTab.h"

#include "ChannelNumbering.h"
#include "Hint.h"
#include "RegisterMap.h"
#include "TFrame_SensorBox.h"
#include "WidgetColour.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QToolButton>

namespace {
const QColor kFaultColour(210, 0, 0);
}

TFrame_LineTab::TFrame_LineTab(int line, QWidget *parent) : QFrame(parent), m_line(line)
{
    setObjectName(QStringLiteral("Frame_LineTab%1").arg(line));
    setFixedSize(512, 662);
    setAutoFillBackground(true);

    Label_Caption = new QLabel(this);
    Label_Caption->setObjectName(QStringLiteral("Label_Caption"));
    QFont f = Label_Caption->font();
    f.setBold(true);
    f.setPixelSize(15);
    Label_Caption->setFont(f);
    SpeedButton_AddNew = new QToolButton(this);
    SpeedButton_AddNew->setObjectName(QStringLiteral("SpeedButton_AddNew"));
    SpeedButton_AddNew->setText(QStringLiteral("Add New"));
    Hint::apply(SpeedButton_AddNew, QStringLiteral("Add new device| Opens a window with controls for adding devices."));
    connect(SpeedButton_AddNew, &QToolButton::clicked, this, [this] {
        SpeedButton_AddNewClick();
        emit addNewClicked();
    });

    auto *grid = new QGridLayout(this);
    grid->setContentsMargins(1, 2, 1, 2);
    grid->setHorizontalSpacing(2);
    grid->setVerticalSpacing(2);
    // The header spans both columns: a note on old values is longer than the line state.
    auto *header = new QHBoxLayout;
    header->addWidget(Label_Caption, 1);
    header->addWidget(SpeedButton_AddNew);
    grid->addLayout(header, 0, 0, 1, 2);
    const int first = (line - 1) * ChannelMap::ChannelsPerLine + 1;
    for (int i = 0; i < ChannelMap::ChannelsPerLine; ++i) {
        auto *box = new TFrame_SensorBox(first + i, this);
        m_boxes.append(box);
        grid->addWidget(box, 1 + i % 10, i / 10);
    }
    grid->setRowStretch(11, 1);
    SetEditMode(false);
    ResetLine();
}

QColor TFrame_LineTab::tabColour() const
{
    return palette().color(QPalette::Window);
}

void TFrame_LineTab::setTabColour(const QColor &colour)
{
    WidgetColour::setBackground(this, colour);
    // White on the status colours, or what reads in its place on a light highlight.
    if (!m_stale)
        WidgetColour::setReadableText(Label_Caption, Qt::white, colour);
}

void TFrame_LineTab::AddBoxesTo(QList<TFrame_SensorBox *> &list) const
{
    for (TFrame_SensorBox *box : m_boxes)
        if (!list.contains(box))
            list.append(box);
}

void TFrame_LineTab::ShowLineStatus(int state)
{
    QString text = QStringLiteral("OK");
    QColor colour = QPalette().color(QPalette::Highlight);
    if (state == ChannelStatus::LineInHigh || state == ChannelStatus::ShortCircuit) {
        text = state == ChannelStatus::LineInHigh ? QStringLiteral("Line in high") : QStringLiteral("Short circuit");
        colour = kFaultColour;
    }
    showState(lineText() + QStringLiteral(" - ") + text, colour);
}

void TFrame_LineTab::ResetLine()
{
    showState(lineText(), QPalette().color(QPalette::Highlight));
    for (TFrame_SensorBox *box : m_boxes)
        box->ResetBox();
}

void TFrame_LineTab::showState(const QString &caption, const QColor &colour)
{
    m_liveCaption = caption;
    m_liveColour = colour;
    if (m_stale)
        return;
    Label_Caption->setText(caption);
    setTabColour(colour);
}

void TFrame_LineTab::setStale(bool stale, const QString &note)
{
    if (stale == m_stale && note == m_note)
        return;
    m_stale = stale;
    m_note = note;
    for (TFrame_SensorBox *box : m_boxes)
        box->setStale(stale);
    if (!stale) {
        showState(m_liveCaption, m_liveColour);
        return;
    }
    // The line state is as old as the values: the note takes its place. Neither the blue of
    // a line that reads well nor the red of a faulty one is shown for it.
    const QPalette current;
    Label_Caption->setText(note.isEmpty() ? lineText() : lineText() + QStringLiteral(" - ") + note);
    WidgetColour::set(Label_Caption, QPalette::WindowText, WidgetColour::faded(current));
    setTabColour(current.color(QPalette::Window));
}

void TFrame_LineTab::SetEditMode(bool on)
{
    for (TFrame_SensorBox *box : m_boxes)
        box->SetEditMode(on);
}

void TFrame_LineTab::ClearDescriptions()
{
    for (TFrame_SensorBox *box : m_boxes)
        box->SetDescription(QString());
}

void TFrame_LineTab::ShowDescriptions(bool on)
{
    for (TFrame_SensorBox *box : m_boxes)
        box->SetDescriptionMode(on);
}

void TFrame_LineTab::ApplyDescriptions(const QList<TDescriptionRecord> &records)
{
    for (int i = 0; i < m_boxes.size() && i < records.size(); ++i)
        if (records[i].number == m_boxes[i]->DisplayNumber())
            m_boxes[i]->SetDescription(records[i].description);
}

void TFrame_LineTab::CollectDescriptions(QList<TDescriptionRecord> &list) const
{
    for (const TFrame_SensorBox *box : m_boxes)
        list.append({uint8_t(box->DisplayNumber()), QString::number(box->DisplayNumber()), box->RomCodeHex(),
                     box->description()});
}

void TFrame_LineTab::CollectRecords(QList<TChannelRecord> &list) const
{
    for (const TFrame_SensorBox *box : m_boxes)
        list.append(box->lastRecord());
}

void TFrame_LineTab::SpeedButton_AddNewClick()
{
    SetEditMode(true);
    SpeedButton_AddNew->setEnabled(false);
}
