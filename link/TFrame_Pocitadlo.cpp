#include "TFrame_Pocitadlo.h"

#include "TErrorSplit.h"
#include "WidgetColour.h"

#include <QEvent>
#include <QGridLayout>
#include <QLabel>

namespace {
QLabel *makeLabel(QWidget *parent, const char *name, const QString &designText)
{
    auto *label = new QLabel(designText, parent);
    label->setObjectName(QLatin1String(name));
    // Keep the designed width for the widest figure, so the frame does not jump as counts grow.
    label->setMinimumWidth(label->sizeHint().width());
    return label;
}
} // namespace

TFrame_Pocitadlo::TFrame_Pocitadlo(QWidget *parent) : QFrame(parent)
{
    setObjectName(QStringLiteral("Frame_Pocitadlo1"));
    Label_Tx = makeLabel(this, "Label_Tx", QStringLiteral("Tx = 1000000"));
    Label_Error = makeLabel(this, "Label_Error", QStringLiteral("Err = 1000000"));
    Label_Rx = makeLabel(this, "Label_Rx", QStringLiteral("Rx = 1000000"));
    Label_Timeout = makeLabel(this, "Label_Timeout", QString());
    applyColours();

    auto *grid = new QGridLayout(this);
    grid->setContentsMargins(2, 2, 2, 2);
    grid->addWidget(Label_Tx, 0, 0);
    grid->addWidget(Label_Error, 0, 1);
    grid->addWidget(Label_Rx, 1, 0);
    grid->addWidget(Label_Timeout, 2, 0, 1, 2);

    Label_Rx->clear();
    Label_Tx->clear();
    Label_Error->clear();
    Label_Timeout->setText(QStringLiteral("Timeout"));

    // The counts change with every frame. The panel keeps one height (the timeout row stays
    // reserved while hidden; it is the last row, so nothing moves) and its owner fixes the
    // width; the labels paint their own background, so nothing beneath them repaints.
    QSizePolicy keep = Label_Timeout->sizePolicy();
    keep.setRetainSizeWhenHidden(true);
    Label_Timeout->setSizePolicy(keep);
    for (QLabel *label : {Label_Tx, Label_Error, Label_Rx, Label_Timeout})
        label->setAutoFillBackground(true);
    setFixedHeight(sizeHint().height());
    Label_Timeout->hide();
}

void TFrame_Pocitadlo::applyColours()
{
    // Red and blue as near as the window's colour lets them be read (a dark scheme gets a
    // lighter red and blue).
    const QColor window = palette().color(QPalette::Window);
    WidgetColour::setReadableText(Label_Error, Qt::red, window);
    WidgetColour::setReadableText(Label_Rx, Qt::blue, window);
    WidgetColour::setReadableText(Label_Timeout, Qt::red, window);
}

void TFrame_Pocitadlo::changeEvent(QEvent *event)
{
    QFrame::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        applyColours();
}

void TFrame_Pocitadlo::fixWidth(int width)
{
    setFixedWidth(width);
    layout()->activate();
    for (QLabel *label : {Label_Tx, Label_Error, Label_Rx, Label_Timeout})
        label->setFixedSize(label->size());
}

void TFrame_Pocitadlo::showErrors(const TErrorSplit &errors)
{
    const QString tip = errors.toolTip();
    if (tip == toolTip())
        return;
    // On the labels as well: whatever of the panel the pointer rests on tells the same.
    for (QWidget *w : {static_cast<QWidget *>(this), static_cast<QWidget *>(Label_Tx), static_cast<QWidget *>(Label_Error),
                       static_cast<QWidget *>(Label_Rx), static_cast<QWidget *>(Label_Timeout)})
        w->setToolTip(tip);
}
