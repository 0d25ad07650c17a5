#pragma once

#include "TChannelRecord.h"

#include <QFont>
#include <QFrame>
#include <QHash>
#include <functional>

class QLabel;
class QToolButton;

// One gateway channel: its number, the ROM code of the assigned device (or the user's
// description instead), up to five values decoded by the device family, and the status, on a
// background coloured by the status, with text that reads on it. The number, code, values and
// status shrink to fit their places at large fonts (a value may drop its unit). The code (or
// description) is reached by Tab and edited by a click, Enter or F2. Fed with one channel
// record per poll of its block.
class TFrame_SensorBox : public QFrame
{
    Q_OBJECT
public:
    // The most characters of a description: what the descriptions file keeps of one, and what
    // the description's field takes.
    static constexpr int MaxDescription = 30;
    using RomEditHandler = std::function<void(TFrame_SensorBox *box)>;

    // channel is 1..40; the numbering mode is copied from the program-wide flag.
    explicit TFrame_SensorBox(int channel, QWidget *parent = nullptr);

    int channel() const { return m_channel; }
    int DisplayNumber() const;
    QString RomCodeHex() const;
    const TChannelRecord &lastRecord() const { return m_last; }
    QString description() const { return m_description; }
    bool descriptionMode() const { return m_descriptionMode; }
    QColor boxColour() const;

    void ShowChannel(const TChannelRecord &record);
    void SetDescription(const QString &text);
    void SetDescriptionMode(bool on);
    void SetRomEditHandler(RomEditHandler handler);
    // Shows the save button (service mode) or the description switch in its place.
    void SetEditMode(bool on);
    void ClearValues();
    void ShowFreePosition();
    void ResetBox();
    // Shows the values as no longer current: the status colour and the white value cells give
    // way to the palette's window and the text is faded; the values stay. Records that arrive
    // meanwhile are shown in the same look, and their colour comes with the live look.
    void setStale(bool stale);

    void Label_DescriptionClick();
    // A click on (or Enter or F2 at) the code: its editor, or the description's.
    void Label_ROMCodeClick();
    void SpeedButton_DescrSwitchClick();

    QLabel *Label_Channel;
    QLabel *Label_ROMCode;
    QToolButton *SpeedButton_Edit;
    QToolButton *SpeedButton_DescrSwitch;
    QToolButton *SpeedButton_Delete;
    QLabel *Label_Value1;
    QLabel *Label_Value2;
    QLabel *Label_Value3;
    QLabel *Label_Value4;
    QLabel *Label_Value5;
    QLabel *Label_Error;
    QFrame *Bevel1;
    QFrame *Bevel2;

signals:
    // "Save new": store the device found by Find New into this channel.
    void saveNewClicked(int channel);
    // "Delete": free this channel's position.
    void deleteClicked(int channel);

private:
    void setBoxColour(const QColor &colour);
    void refreshRomLine();
    static void setHint(QWidget *w, const QString &hint);
    static void clearHint(QWidget *w);
    // A value's (or the status's) whole text, shown fitted into its label.
    void showValue(QLabel *label, const QString &text);

    int m_channel;
    int m_numbering;
    QList<QLabel *> m_valueLabels;
    QHash<QLabel *, QString> m_valueTexts;
    QFont m_valueFont;
    QFont m_romFont;
    bool m_descriptionMode = false;
    QString m_description;
    QString m_romText;
    TChannelRecord m_last;
    RomEditHandler m_romEditHandler;
    bool m_stale = false;
    QColor m_liveColour; // the status colour, shown while live
};
