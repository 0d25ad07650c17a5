#include "ConnectionColumn.h"

#include "TFrame_Komunikace.h"
#include "WidgetColour.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QLabel *headingPanel(const char *name, const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    label->setAlignment(Qt::AlignCenter);
    WidgetColour::setBackground(label, QColor(0, 0, 128));
    WidgetColour::set(label, QPalette::WindowText, Qt::white);
    QFont f = label->font();
    f.setBold(true);
    label->setFont(f);
    label->setMinimumHeight(20);
    return label;
}

} // namespace

ConnectionColumn::ConnectionColumn(QWidget *parent) : QWidget(parent)
{
    setFixedWidth(Width);
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(4);
    column->addWidget(headingPanel("Panel1", QStringLiteral("Communication"), this));
    m_panel = new TFrame_Komunikace(this);
    column->addWidget(m_panel);
    column->addWidget(headingPanel("Pan_TarvikSettingsHead", QStringLiteral("Port settings"), this));
    auto *settingsPanel = new QFrame(this);
    settingsPanel->setObjectName(QStringLiteral("Pan_TarvikSettings"));
    auto *settingsRow = new QHBoxLayout(settingsPanel);
    settingsRow->setContentsMargins(2, 2, 2, 2);
    m_settingsButton = new QPushButton(QStringLiteral("Edit"), settingsPanel);
    m_settingsButton->setObjectName(QStringLiteral("SpdBtn_TarvikSettings"));
    settingsRow->addWidget(m_settingsButton);
    column->addWidget(settingsPanel);
    m_firmware = new QLabel(this);
    m_firmware->setObjectName(QStringLiteral("Label_SWVer"));
    m_hardware = new QLabel(this);
    m_hardware->setObjectName(QStringLiteral("Label_HWVer"));
    for (QLabel *l : {m_firmware, m_hardware}) {
        QFont f = l->font();
        f.setBold(true);
        l->setFont(f);
        l->setWordWrap(true);
        column->addWidget(l);
    }
    column->addStretch();
    auto *logo = new QLabel(QStringLiteral("1-WIRE-TARVIK"), this);
    logo->setObjectName(QStringLiteral("Frame_Logo1"));
    logo->setAlignment(Qt::AlignCenter);
    column->addWidget(logo);
}
