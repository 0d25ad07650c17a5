#include "TForm_TrendChart.h"

#include "AxisTicks.h"
#include "ErrorGuard.h"
#include "FileChoice.h"
#include "LocaleText.h"
#include "Prompts.h"
#include "RegisterMap.h"
#include "TCSVFileRecorder.h"
#include "ChannelText.h"
#include "TemperatureHistory.h"

#include <QChart>
#include <QChartView>
#include <QDateTimeAxis>
#include <QHBoxLayout>
#include <QLegendMarker>
#include <QLineSeries>
#include <QListWidget>
#include <QMap>
#include <QPushButton>
#include <QToolTip>
#include <QValueAxis>
#include <QVBoxLayout>
#include <cmath>

namespace {

// A chart view whose wheel moves the time axis instead of zooming the whole chart, and whose
// pointer shows the readout at its place.
class TrendView : public QChartView
{
public:
    TrendView(QChart *chart, QWidget *parent, std::function<void()> moved, std::function<QString(const QPoint &)> readout)
        : QChartView(chart, parent), m_moved(std::move(moved)), m_readout(std::move(readout))
    {
        setMouseTracking(true);
        viewport()->setMouseTracking(true);
    }

protected:
    void mouseMoveEvent(QMouseEvent *event) override
    {
        QChartView::mouseMoveEvent(event);
        // Not while a range is dragged out: the tooltip would hide the band.
        const QString text = event->buttons() == Qt::NoButton ? m_readout(event->position().toPoint()) : QString();
        if (text.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(event->globalPosition().toPoint(), text, viewport());
    }
    void leaveEvent(QEvent *event) override
    {
        QToolTip::hideText();
        QChartView::leaveEvent(event);
    }
    void wheelEvent(QWheelEvent *event) override
    {
        chart()->scroll(event->angleDelta().y() > 0 ? -chart()->plotArea().width() / 10 : chart()->plotArea().width() / 10, 0);
        m_moved();
        event->accept();
    }
    void mouseReleaseEvent(QMouseEvent *event) override
    {
        QChartView::mouseReleaseEvent(event);
        m_moved();
    }
    void keyPressEvent(QKeyEvent *event) override
    {
        if (event->key() == Qt::Key_Left || event->key() == Qt::Key_Right) {
            chart()->scroll(event->key() == Qt::Key_Left ? -chart()->plotArea().width() / 10 : chart()->plotArea().width() / 10, 0);
            m_moved();
            return;
        }
        QChartView::keyPressEvent(event);
    }

private:
    std::function<void()> m_moved;
    std::function<QString(const QPoint &)> m_readout;
};

} // namespace

TForm_TrendChart::TForm_TrendChart(const TemperatureHistory &history, std::function<QString(int)> channelLabel,
                                   QWidget *parent)
    : QDialog(parent), m_history(history), m_channelLabel(std::move(channelLabel)), m_chart(new QChart)
{
    setObjectName(QStringLiteral("Form_TrendChart"));
    setWindowTitle(QStringLiteral("1-WIRE-TARVIK Tool - Trend chart"));
    setWindowFlags(Qt::Window);

    List_Channels = new QListWidget(this);
    List_Channels->setObjectName(QStringLiteral("List_Channels"));
    List_Channels->setFixedWidth(170);
    for (int c = 1; c <= TemperatureHistory::Channels; ++c) {
        auto *item = new QListWidgetItem(List_Channels);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Unchecked);
        item->setData(Qt::UserRole, c);
    }
    makeAxes();
    m_chart->legend()->setAlignment(Qt::AlignRight);
    Chart_Trend = new TrendView(
        m_chart, this, [this] { m_following = false; }, [this](const QPoint &pos) { return readoutAt(pos); });
    Chart_Trend->setObjectName(QStringLiteral("Chart_Trend"));
    Chart_Trend->setRubberBand(QChartView::HorizontalRubberBand);
    Chart_Trend->setRenderHint(QPainter::Antialiasing);

    Button_WholeDay = new QPushButton(QStringLiteral("Whole day"), this);
    Button_WholeDay->setObjectName(QStringLiteral("Button_WholeDay"));
    Button_SavePicture = new QPushButton(QStringLiteral("Save picture..."), this);
    Button_SavePicture->setObjectName(QStringLiteral("Button_SavePicture"));
    Button_SaveData = new QPushButton(QStringLiteral("Save data..."), this);
    Button_SaveData->setObjectName(QStringLiteral("Button_SaveData"));

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(Button_WholeDay);
    buttons->addStretch(1);
    buttons->addWidget(Button_SavePicture);
    buttons->addWidget(Button_SaveData);
    auto *right = new QVBoxLayout;
    right->addWidget(Chart_Trend, 1);
    right->addLayout(buttons);
    auto *row = new QHBoxLayout(this);
    row->addWidget(List_Channels);
    row->addLayout(right, 1);
    resize(1000, 560);

    connect(List_Channels, &QListWidget::itemChanged, this, [this](QListWidgetItem *item) {
        m_touched.insert(item->data(Qt::UserRole).toInt());
        rebuildSeries();
    });
    connect(Button_WholeDay, &QPushButton::clicked, this, [this] {
        m_following = true;
        rebuildSeries();
    });
    connect(Button_SavePicture, &QPushButton::clicked, this, [this] {
        ErrorGuard::run([this] {
            const QString path = FileChoice::askSaveName(QStringLiteral("Save picture"), QStringLiteral("PNG pictures (*.png)"),
                                                         QStringLiteral("png"));
            if (!path.isEmpty())
                savePicture(path);
        });
    });
    connect(Button_SaveData, &QPushButton::clicked, this, [this] {
        ErrorGuard::run([this] {
            const QString path = FileChoice::askSaveName(QStringLiteral("Save data"), QStringLiteral("CSV text files (*.csv *.CSV)"),
                                                         QStringLiteral("csv"));
            QString error;
            if (!path.isEmpty() && !saveData(path, &error))
                Prompts::current().error(error);
        });
    });
    m_refresh.setInterval(RefreshMs);
    connect(&m_refresh, &QTimer::timeout, this, [this] { refresh(); });
    updateLabels();
}

void TForm_TrendChart::makeAxes()
{
    // New axes with every rebuild: an axis whose series were all removed stops drawing its
    // labels.
    for (QAbstractAxis *axis : m_chart->axes()) {
        m_chart->removeAxis(axis);
        delete axis;
    }
    m_timeAxis = new QDateTimeAxis;
    m_timeAxis->setFormat(QStringLiteral("HH:mm:ss"));
    m_timeAxis->setTitleText(QStringLiteral("Local time"));
    m_valueAxis = new QValueAxis;
    m_valueAxis->setTitleText(QStringLiteral("°C"));
    m_valueAxis->setLabelFormat(QStringLiteral("%.1f"));
    m_chart->addAxis(m_timeAxis, Qt::AlignBottom);
    m_chart->addAxis(m_valueAxis, Qt::AlignLeft);
}

void TForm_TrendChart::updateLabels()
{
    const QSignalBlocker blocker(List_Channels);
    for (int i = 0; i < List_Channels->count(); ++i) {
        QListWidgetItem *item = List_Channels->item(i);
        const int c = item->data(Qt::UserRole).toInt();
        item->setText(channelName(c));
        // Channels that never measured a temperature are listed dimmed.
        item->setForeground(m_history.hasTemperature(c) ? palette().color(QPalette::Text)
                                                        : palette().color(QPalette::Disabled, QPalette::Text));
        if (!m_touched.contains(c) && m_history.hasTemperature(c))
            item->setCheckState(Qt::Checked);
    }
}

void TForm_TrendChart::setChannelShown(int channel, bool shown)
{
    if (channel >= 1 && channel <= List_Channels->count())
        List_Channels->item(channel - 1)->setCheckState(shown ? Qt::Checked : Qt::Unchecked);
}

QList<int> TForm_TrendChart::shownChannels() const
{
    QList<int> channels;
    for (int i = 0; i < List_Channels->count(); ++i)
        if (List_Channels->item(i)->checkState() == Qt::Checked)
            channels.append(List_Channels->item(i)->data(Qt::UserRole).toInt());
    return channels;
}

bool TForm_TrendChart::zoomed() const
{
    return !m_following;
}

void TForm_TrendChart::refresh()
{
    updateLabels();
    rebuildSeries();
}

void TForm_TrendChart::rebuildSeries()
{
    const QDateTime shownFrom = m_timeAxis->min();
    const QDateTime shownTo = m_timeAxis->max();
    m_chart->removeAllSeries();
    makeAxes();
    qint64 first = std::numeric_limits<qint64>::max(), last = std::numeric_limits<qint64>::min();
    double low = std::numeric_limits<double>::max(), high = std::numeric_limits<double>::lowest();
    for (int c : shownChannels()) {
        const QString name = channelName(c);
        const QPen pen = linePen(c);
        bool firstSegment = true;
        // A gap ends a line; the next value starts a new one with the same pen, without a
        // second entry in the legend. Each line gets its points in one go: a day of polling is
        // thousands of points a channel, and one at a time the series re-lays out after each.
        QList<QPointF> line;
        auto flush = [&] {
            if (line.isEmpty())
                return;
            auto *segment = new QLineSeries;
            segment->setName(name);
            segment->append(line);
            m_chart->addSeries(segment);
            segment->attachAxis(m_timeAxis);
            segment->attachAxis(m_valueAxis);
            segment->setPen(pen);
            if (!firstSegment)
                for (QLegendMarker *marker : m_chart->legend()->markers(segment))
                    marker->setVisible(false);
            firstSegment = false;
            line.clear();
        };
        for (const TemperatureHistory::Point &p : m_history.points(c)) {
            first = std::min(first, p.ms);
            last = std::max(last, p.ms);
            if (std::isnan(p.value)) {
                flush();
                continue;
            }
            line.append(QPointF(double(p.ms), p.value));
            low = std::min(low, p.value);
            high = std::max(high, p.value);
        }
        flush();
    }
    if (zoomed() && shownFrom.isValid()) {
        m_timeAxis->setRange(shownFrom, shownTo);
    } else if (first <= last) {
        m_timeAxis->setRange(QDateTime::fromMSecsSinceEpoch(first), QDateTime::fromMSecsSinceEpoch(std::max(last, first + 1000)));
    }
    if (low <= high) {
        const AxisTicks::Scale scale = AxisTicks::of(low - ValueMargin, high + ValueMargin, MaxValueIntervals, MinValueSpan);
        m_valueAxis->setRange(scale.min, scale.max);
        m_valueAxis->setTickCount(scale.intervals + 1);
        m_valueAxis->setMinorTickCount(0);
        m_valueAxis->setLabelFormat(QStringLiteral("%.") + QString::number(scale.decimals) + QLatin1Char('f'));
    }
}

QString TForm_TrendChart::channelName(int channel) const
{
    return m_channelLabel ? m_channelLabel(channel) : QStringLiteral("Ch%1").arg(channel);
}

QString TForm_TrendChart::readoutText(qint64 ms) const
{
    QStringList lines{QDateTime::fromMSecsSinceEpoch(ms).toString(QStringLiteral("HH:mm:ss"))};
    for (int c : shownChannels()) {
        const std::optional<TemperatureHistory::Point> p = m_history.latestAt(c, ms);
        lines.append(channelName(c) + QStringLiteral(": ")
                     + (p && !std::isnan(p->value) ? ChannelText::plainDecimal(p->value, 1) + QStringLiteral(" °C")
                                                   : QStringLiteral("no value")));
    }
    return lines.join(QLatin1Char('\n'));
}

QString TForm_TrendChart::readoutAt(const QPoint &viewPos) const
{
    const QPointF scenePos = Chart_Trend->mapToScene(viewPos);
    const QPointF chartPos = m_chart->mapFromScene(scenePos);
    if (!m_chart->plotArea().contains(chartPos) || m_chart->series().isEmpty())
        return {};
    const QPointF value = m_chart->mapToValue(chartPos, m_chart->series().first());
    return readoutText(qint64(std::llround(value.x())));
}

QPen TForm_TrendChart::linePen(int channel)
{
    // Forty colours picked one by one, each as far as possible (in perceived colour) from all
    // picked before it, none too pale for the white plot area: any two differ clearly, and
    // neighbouring channels most of all. Line 2's channels are dashed as well.
    static constexpr QRgb colours[ChannelMap::ChannelCount] = {
        0x1f77b4, 0x00d900, 0xf20000, 0x0000f2, 0xf230b2, 0x595900, 0x00d9b5, 0xf29d9d,
        0xf2a200, 0x541c8c, 0x731736, 0xa6bf26, 0xd69df2, 0x12594d, 0x008c2f, 0xb500d9,
        0xbf5926, 0xd90048, 0x30d2f2, 0xbfb47c, 0x3071f2, 0x73584b, 0x845b8c, 0x0020bf,
        0x6ca689, 0x00d96c, 0xf279b6, 0x9dbaf2, 0x3a4459, 0xa68a00, 0xa63a94, 0x31408c,
        0x8c0017, 0x12591e, 0xf279f2, 0x7ca653, 0x733617, 0x6c92a6, 0x8955f2, 0x59bf26,
    };
    const int index = qBound(0, channel - 1, ChannelMap::ChannelCount - 1);
    QPen pen(QColor::fromRgb(colours[index]));
    pen.setWidth(2);
    pen.setStyle(ChannelMap::lineOf(index + 1) == 0 ? Qt::SolidLine : Qt::DashLine);
    return pen;
}

void TForm_TrendChart::savePicture(const QString &path)
{
    if (!Chart_Trend->grab().save(path, "PNG"))
        Prompts::current().error(QStringLiteral("Cannot write %1.").arg(path));
}

bool TForm_TrendChart::saveData(const QString &path, QString *error)
{
    const qint64 from = m_timeAxis->min().toMSecsSinceEpoch();
    const qint64 to = m_timeAxis->max().toMSecsSinceEpoch();
    const QList<int> channels = shownChannels();
    // One row per moment any shown channel was read; cells as the data log writes them.
    QMap<qint64, QStringList> rows;
    for (int k = 0; k < channels.size(); ++k)
        for (const TemperatureHistory::Point &p : m_history.points(channels[k], from, to)) {
            QStringList &row = rows[p.ms];
            while (row.size() < channels.size())
                row.append(QString());
            if (!std::isnan(p.value))
                row[k] = ChannelText::plainDecimal(p.value, 1) + QStringLiteral(" °C");
        }
    auto log = TCSVFileRecorder::create(path, error);
    if (!log)
        return false;
    QStringList header{QStringLiteral("time")};
    for (int c : channels)
        header.append(channelName(c) + QStringLiteral(" [°C]"));
    bool ok = log->WriteRow(header);
    for (auto it = rows.cbegin(); ok && it != rows.cend(); ++it) {
        const QDateTime at = QDateTime::fromMSecsSinceEpoch(it.key());
        ok = log->WriteRow(QStringList{LocaleText::date(at.date()) + QLatin1Char(' ') + LocaleText::time(at.time())} + it.value());
    }
    if (!ok && error)
        *error = QStringLiteral("Cannot write %1: %2").arg(path, log->errorString());
    return ok;
}

void TForm_TrendChart::showEvent(QShowEvent *event)
{
    refresh();
    m_refresh.start();
    QDialog::showEvent(event);
}

void TForm_TrendChart::hideEvent(QHideEvent *event)
{
    m_refresh.stop();
    QDialog::hideEvent(event);
}
