#include "TFrame_Logo.h"

#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

namespace {

// The edition's logos are drawn placeholders: a mark and a word, nothing taken from anyone.
QPixmap drawLogo(const QColor &colour, const QString &word, bool bricks)
{
    QPixmap pixmap(TFrame_Logo::LogoWidth, TFrame_Logo::LogoHeight);
    pixmap.fill(Qt::white);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    if (bricks) {
        // Three bricks in a small wall.
        p.drawRoundedRect(QRectF(6, 8, 18, 10), 2, 2);
        p.drawRoundedRect(QRectF(26, 8, 18, 10), 2, 2);
        p.drawRoundedRect(QRectF(16, 20, 18, 10), 2, 2);
        p.drawRoundedRect(QRectF(6, 32, 18, 10), 2, 2);
        p.drawRoundedRect(QRectF(26, 32, 18, 10), 2, 2);
    } else {
        // A ring crossed by a line: two wires joined.
        p.setPen(QPen(colour, 5));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QRectF(8, 9, 34, 34));
        p.drawLine(QPointF(2, 26), QPointF(48, 26));
    }
    // The word in the largest bold type that fits beside the mark.
    const QRectF room(54, 0, TFrame_Logo::LogoWidth - 58, TFrame_Logo::LogoHeight);
    QFont font = p.font();
    font.setBold(true);
    for (int size = 20; size > 8; --size) {
        font.setPixelSize(size);
        if (QFontMetricsF(font).horizontalAdvance(word) <= room.width())
            break;
    }
    p.setFont(font);
    p.setPen(colour);
    p.drawText(room, Qt::AlignVCenter | Qt::AlignLeft, word);
    return pixmap;
}

} // namespace

QPixmap TFrame_Logo::logo(int index)
{
    switch (index) {
    case 0:
        return drawLogo(QColor(0, 84, 166), QStringLiteral("QUARNEL"), false);
    case 1:
        return drawLogo(QColor(222, 110, 20), QStringLiteral("OBRIX"), true);
    default:
        return {};
    }
}

TFrame_Logo::TFrame_Logo(QWidget *parent)
    : QFrame(parent)
{
    setObjectName(QStringLiteral("Frame_Logo"));
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, Qt::white);
    setPalette(palette);

    ImageList_Logo = {logo(0), logo(1)};
    Image_LOGO = new QLabel(this);
    Image_LOGO->setObjectName(QStringLiteral("Image_LOGO"));
    Image_LOGO->setAlignment(Qt::AlignCenter);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(Image_LOGO);
    setImageIndex(1);
}

void TFrame_Logo::setImageIndex(int index)
{
    if (index < 0 || index >= ImageList_Logo.size())
        return;
    m_index = index;
    Image_LOGO->setPixmap(ImageList_Logo[index]);
}
