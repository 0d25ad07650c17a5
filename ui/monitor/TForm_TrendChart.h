#pragma once

#include <QDialog>
#include <QPen>
#include <QSet>
#include <QTimer>
#include <functional>

class QChart;
class QChartView;
class QDateTimeAxis;
class QListWidget;
class QPushButton;
class QValueAxis;
class TemperatureHistory;

// The trend chart: the temperature channels over time from the history, one line per ticked
// channel, gaps where a channel had an error. Drag a range to zoom in, the wheel or the arrow
// keys to move, "Whole day" to see everything again. The chart follows the newest samples
// while not zoomed. "Save picture" writes a PNG, "Save data" the shown range as CSV. The value
// axis has round ticks. Resting the pointer on the plot shows the time there and each shown
// channel's reading at that time in a tooltip.
class TForm_TrendChart : public QDialog
{
    Q_OBJECT
public:
    static constexpr int RefreshMs = 5000;
    // The value axis: at most this many steps between ticks, over at least a degree.
    static constexpr int MaxValueIntervals = 8;
    static constexpr double MinValueSpan = 1.0;
    // Kept between the highest and lowest reading and the plot's edges: a reading on a tick is
    // not drawn on the frame.
    static constexpr double ValueMargin = 0.1;

    // The history is not owned; channelLabel gives a channel's name as the boxes show it
    // (its number, and its description when there is one).
    TForm_TrendChart(const TemperatureHistory &history, std::function<QString(int channel)> channelLabel,
                     QWidget *parent = nullptr);

    // Rebuilds the channel list's names and the lines from the history.
    void refresh();
    // Ticks or unticks a channel (1..40), as the user does. Until then, a channel is ticked by
    // itself once it has a temperature.
    void setChannelShown(int channel, bool shown);
    QList<int> shownChannels() const;
    QChart *chart() const { return m_chart; }
    // The pen of channel c's line (1..40), the same at every refresh: each channel has a
    // colour of its own, and line 2's channels are dashed.
    static QPen linePen(int channel);
    // The cursor readout at a time: the time, then each shown channel's last reading at or
    // before it, one a line ("no value" in a gap or before its first reading).
    QString readoutText(qint64 ms) const;
    // The readout for the pointer at a position in the chart view; empty off the plot area.
    QString readoutAt(const QPoint &viewPos) const;
    void savePicture(const QString &path);
    bool saveData(const QString &path, QString *error);

    QListWidget *List_Channels;
    QChartView *Chart_Trend;
    QPushButton *Button_WholeDay;
    QPushButton *Button_SavePicture;
    QPushButton *Button_SaveData;

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void rebuildSeries();
    void makeAxes();
    void updateLabels();
    bool zoomed() const;
    QString channelName(int channel) const;

    const TemperatureHistory &m_history;
    std::function<QString(int)> m_channelLabel;
    QChart *m_chart;
    QDateTimeAxis *m_timeAxis;
    QValueAxis *m_valueAxis;
    QTimer m_refresh;
    bool m_following = true;
    QSet<int> m_touched; // channels the user ticked or unticked: no longer ticked by themselves
};
