#pragma once

#include <QHash>
#include <QStaticText>
#include <QStyledItemDelegate>

// Paints the traffic table's cells: background, selection and one line of plain text, with
// each text laid out once and kept. The table repaints all its visible rows whenever new
// frames arrive; the style's general item painting lays out and elides every cell afresh each
// time, which cost more than the polling itself. A text wider than its cell ends in "…" (laid
// out once per text and width); a cell whose tooltip only repeats its text shows the tooltip
// only while the text is cut.
class TrafficCellDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    bool helpEvent(QHelpEvent *event, QAbstractItemView *view, const QStyleOptionViewItem &option,
                   const QModelIndex &index) override;

    // The text as a cell of this width shows it: whole, or cut with "…" at its end.
    QString shownText(const QString &text, const QFont &font, int cellWidth) const;

private:
    static constexpr int Margin = 3;
    static constexpr int MaxCached = 4096; // cells; well over what a screen shows
    const QStaticText &laidOut(const QString &text, const QFont &font, int cellWidth) const;
    const QStaticText &cached(const QString &key, const QString &text, const QFont &font) const;
    mutable QHash<QString, QStaticText> m_texts;
};
