#pragma once

#include <QHash>
#include <QStaticText>
#include <QStyledItemDelegate>

// Paints the traffic table's cells: background, selection and one line of plain text, with
// each text laid out once and kept. The table repaints all its visible rows whenever new
// frames arrive; the style's general item painting lays out and elides every cell afresh each
// time, which cost more than the polling itself.
class TrafficCellDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;

private:
    static constexpr int Margin = 3;
    static constexpr int MaxCached = 4096; // cells; well over what a screen shows
    mutable QHash<QString, QStaticText> m_texts;
};
