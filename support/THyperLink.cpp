#include "THyperLink.h"

#include "Hint.h"

THyperLink::THyperLink(QWidget *parent)
    : QLabel(parent)
{
    setTextFormat(Qt::RichText);
    setTextInteractionFlags(Qt::TextBrowserInteraction);
    setOpenExternalLinks(true);
}

void THyperLink::setLink(const QString &text, const QString &target)
{
    m_text = text;
    m_target = target;
    setText(
        QStringLiteral("<a href=\"%1\">%2</a>").arg(target.toHtmlEscaped(), text.toHtmlEscaped()));
    Hint::apply(this, target + QLatin1Char('|'));
}
