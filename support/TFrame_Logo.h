#pragma once

#include <QFrame>
#include <QList>
#include <QPixmap>

class QLabel;

// A small white frame showing one logo of the edition: 0 the maker's, 1 the distributor's.
// It shows logo 1 until told otherwise.
class TFrame_Logo : public QFrame
{
    Q_OBJECT
public:
    static constexpr int LogoWidth = 150;
    static constexpr int LogoHeight = 52;

    explicit TFrame_Logo(QWidget *parent = nullptr);

    // Logo 0 or 1 of the edition; a null pixmap for any other index.
    static QPixmap logo(int index);

    // An index outside the list leaves the frame as it is.
    void setImageIndex(int index);
    int imageIndex() const { return m_index; }

    QLabel *Image_LOGO;
    QList<QPixmap> ImageList_Logo;

private:
    int m_index = -1;
};
