#pragma once

#include "TChannelRecord.h"
#include "TDescriptionRecord.h"

#include <QFrame>
#include <QList>

class QLabel;
class QToolButton;
class TFrame_SensorBox;

// One 1-Wire line of the gateway: a caption with the line's number and state, the "Add New"
// button that opens the line's device search, and the twenty sensor boxes of its channels in
// two columns of ten.
class TFrame_LineTab : public QFrame
{
    Q_OBJECT
public:
    // line is 1 or 2; its boxes show channels 1..20 or 21..40.
    explicit TFrame_LineTab(int line, QWidget *parent = nullptr);

    int line() const { return m_line; }
    QString lineText() const { return QStringLiteral("LINE %1").arg(m_line); }
    const QList<TFrame_SensorBox *> &boxes() const { return m_boxes; }
    QColor tabColour() const;

    void AddBoxesTo(QList<TFrame_SensorBox *> &list) const;
    void ShowLineStatus(int state);
    void ResetLine();
    // Shows the line as read live (normal look) or as values that are no longer current: the
    // boxes and the header dimmed, the values kept, and the note (why and since when) in the
    // header in place of the line state. The line state and colours that arrive meanwhile
    // are kept for the live look.
    void setStale(bool stale, const QString &note);
    bool isLive() const { return !m_stale; }
    void SetEditMode(bool on);
    void ClearDescriptions();
    void ShowDescriptions(bool on);
    // Exactly twenty records in box order; a record whose number is not its box's shown
    // number leaves that box alone.
    void ApplyDescriptions(const QList<TDescriptionRecord> &records);
    void CollectDescriptions(QList<TDescriptionRecord> &list) const;
    void CollectRecords(QList<TChannelRecord> &list) const;
    void SpeedButton_AddNewClick();

    QLabel *Label_Caption;
    QToolButton *SpeedButton_AddNew;

signals:
    // "Add New" was clicked, after the tab's own handling.
    void addNewClicked();

private:
    void setTabColour(const QColor &colour);
    // The header and tab colour of the live look; shown at once unless the line is stale.
    void showState(const QString &caption, const QColor &colour);

    int m_line;
    QList<TFrame_SensorBox *> m_boxes;
    bool m_stale = false;
    QString m_note;
    QString m_liveCaption;
    QColor m_liveColour;
};
