#include "MonitorWindows.h"

#include "TForm_TrafficMonitor.h"
#include "TForm_TrendChart.h"

namespace {

void bringForward(QWidget *window)
{
    window->show();
    window->raise();
    window->activateWindow();
}

} // namespace

MonitorWindows::MonitorWindows(TrafficLog &traffic, const TemperatureHistory &history,
                               std::function<QString(int channel)> channelLabel)
    : m_traffic(traffic), m_history(history), m_channelLabel(std::move(channelLabel))
{
}

MonitorWindows::~MonitorWindows() = default;

void MonitorWindows::showTrafficMonitor()
{
    if (!m_monitor) {
        m_monitor = std::make_unique<TForm_TrafficMonitor>(m_traffic);
        m_monitor->setErrorSource(m_errors);
    }
    bringForward(m_monitor.get());
}

void MonitorWindows::showTrendChart()
{
    if (!m_trend)
        m_trend = std::make_unique<TForm_TrendChart>(m_history, m_channelLabel);
    bringForward(m_trend.get());
}
