#include "TrafficCellDelegate.h"

#include <QPainter>

void TrafficCellDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const QPalette::ColorGroup group = !(opt.state & QStyle::State_Enabled) ? QPalette::Disabled
                                       : (opt.state & QStyle::State_Active)  ? QPalette::Active
                                                                              : QPalette::Inactive;
    const bool selected = opt.state & QStyle::State_Selected;
    if (selected)
        painter->fillRect(opt.rect, opt.palette.brush(group, QPalette::Highlight));
    else if (opt.backgroundBrush.style() != Qt::NoBrush)
        painter->fillRect(opt.rect, opt.backgroundBrush);
    if (opt.text.isEmpty())
        return;

    if (m_texts.size() > MaxCached)
        m_texts.clear();
    auto it = m_texts.find(opt.text);
    if (it == m_texts.end()) {
        QStaticText text(opt.text);
        text.setTextFormat(Qt::PlainText);
        text.prepare(QTransform(), opt.font);
        it = m_texts.insert(opt.text, text);
    }
    const QSizeF size = it->size();
    const QRect area = opt.rect.adjusted(Margin, 0, -Margin, 0);
    const qreal x = (opt.displayAlignment & Qt::AlignRight) ? area.right() + 1 - size.width() : area.left();
    const qreal y = area.top() + (area.height() - size.height()) / 2;

    painter->save();
    painter->setClipRect(area);
    painter->setFont(opt.font);
    painter->setPen(opt.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text));
    painter->drawStaticText(QPointF(x, y), *it);
    painter->restore();
}
