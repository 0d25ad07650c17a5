#include "TrafficCellDelegate.h"

#include <QAbstractItemView>
#include <QFontMetricsF>
#include <QHelpEvent>
#include <QPainter>
#include <QToolTip>

const QStaticText &TrafficCellDelegate::cached(const QString &key, const QString &text, const QFont &font) const
{
    auto it = m_texts.find(key);
    if (it == m_texts.end()) {
        QStaticText laid(text);
        laid.setTextFormat(Qt::PlainText);
        laid.prepare(QTransform(), font);
        it = m_texts.insert(key, laid);
    }
    return *it;
}

const QStaticText &TrafficCellDelegate::laidOut(const QString &text, const QFont &font, int cellWidth) const
{
    // Both forms are kept together: a clear never leaves a reference to a dropped one.
    if (m_texts.size() > MaxCached)
        m_texts.clear();
    const int width = qMax(0, cellWidth - 2 * Margin);
    const QStaticText &whole = cached(text, text, font);
    if (whole.size().width() <= width)
        return whole;
    // Keyed by the text and the width: a column keeps its width, so this is laid out once.
    const QString key = text + QChar(0) + QString::number(width);
    if (const auto it = m_texts.constFind(key); it != m_texts.cend())
        return *it;
    return cached(key, QFontMetricsF(font).elidedText(text, Qt::ElideRight, width), font);
}

QString TrafficCellDelegate::shownText(const QString &text, const QFont &font, int cellWidth) const
{
    return laidOut(text, font, cellWidth).text();
}

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

    const QStaticText &text = laidOut(opt.text, opt.font, opt.rect.width());
    const QSizeF size = text.size();
    const QRect area = opt.rect.adjusted(Margin, 0, -Margin, 0);
    const qreal x = (opt.displayAlignment & Qt::AlignRight) ? area.right() + 1 - size.width() : area.left();
    const qreal y = area.top() + (area.height() - size.height()) / 2;

    painter->save();
    painter->setClipRect(area);
    painter->setFont(opt.font);
    painter->setPen(opt.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text));
    painter->drawStaticText(QPointF(x, y), text);
    painter->restore();
}

bool TrafficCellDelegate::helpEvent(QHelpEvent *event, QAbstractItemView *view, const QStyleOptionViewItem &option,
                                    const QModelIndex &index)
{
    if (event && event->type() == QEvent::ToolTip && index.isValid()) {
        const QString tip = index.data(Qt::ToolTipRole).toString();
        // A tooltip that only repeats a whole cell says nothing new.
        if (!tip.isEmpty() && tip == index.data(Qt::DisplayRole).toString()
            && shownText(tip, option.font, option.rect.width()) == tip) {
            QToolTip::hideText();
            event->accept();
            return true;
        }
    }
    return QStyledItemDelegate::helpEvent(event, view, option, index);
}
