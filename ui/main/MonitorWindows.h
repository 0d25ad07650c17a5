#pragma once

#include "TErrorSplit.h"

#include <QString>
#include <functional>
#include <memory>

class TemperatureHistory;
class TForm_TrafficMonitor;
class TForm_TrendChart;
class TrafficLog;

// The traffic monitor and the trend chart: windows of their own, made on first use (most
// sessions never open them) and brought forward when asked for again. The main window collects
// their data all the time; the data must outlive this object.
class MonitorWindows
{
public:
    // channelLabel names a channel (1-40) in the chart's legend.
    MonitorWindows(TrafficLog &traffic, const TemperatureHistory &history, std::function<QString(int channel)> channelLabel);
    ~MonitorWindows();

    // The error counter's split for the traffic monitor's summary line.
    void setErrorSource(std::function<TErrorSplit()> source) { m_errors = std::move(source); }
    void showTrafficMonitor();
    void showTrendChart();
    TForm_TrafficMonitor *trafficMonitor() const { return m_monitor.get(); }
    TForm_TrendChart *trendChart() const { return m_trend.get(); }

private:
    TrafficLog &m_traffic;
    const TemperatureHistory &m_history;
    std::function<QString(int)> m_channelLabel;
    std::function<TErrorSplit()> m_errors;
    std::unique_ptr<TForm_TrafficMonitor> m_monitor;
    std::unique_ptr<TForm_TrendChart> m_trend;
};
