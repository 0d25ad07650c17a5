#include "TrafficTableModel.h"

#include <QBrush>
#include <QColor>

TrafficTableModel::TrafficTableModel(QObject *parent) : QAbstractTableModel(parent) {}

void TrafficTableModel::update(const TrafficLog &log)
{
    if (log.revision() != m_revision) {
        m_revision = log.revision();
        m_all = log.since(0);
        m_last = log.lastNumber();
        rebuild();
        return;
    }
    const QList<TrafficLog::Entry> fresh = log.since(m_last);
    if (fresh.isEmpty())
        return;
    m_last = fresh.last().number;
    // Entries beyond the log's capacity leave the view as they left the log: one reset then.
    if (m_all.size() + fresh.size() > TrafficLog::Capacity) {
        m_all = log.since(0);
        rebuild();
        return;
    }
    QList<int> added;
    for (const TrafficLog::Entry &e : fresh) {
        m_all.append(e);
        if (!m_errorsOnly || e.error)
            added.append(int(m_all.size()) - 1);
    }
    if (added.isEmpty())
        return;
    // One insertion for the whole batch: one repaint, however many frames came.
    beginInsertRows(QModelIndex(), int(m_shown.size()), int(m_shown.size() + added.size()) - 1);
    m_shown.append(added);
    endInsertRows();
}

void TrafficTableModel::rebuild()
{
    beginResetModel();
    m_shown.clear();
    for (int i = 0; i < m_all.size(); ++i)
        if (!m_errorsOnly || m_all[i].error)
            m_shown.append(i);
    endResetModel();
}

void TrafficTableModel::setErrorsOnly(bool on)
{
    if (on == m_errorsOnly)
        return;
    m_errorsOnly = on;
    rebuild();
}

void TrafficTableModel::clear()
{
    m_all.clear();
    rebuild();
}

int TrafficTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_shown.size());
}

int TrafficTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QString TrafficTableModel::cell(const TrafficLog::Entry &e, int column) const
{
    switch (column) {
    case Time:
        return e.time.toLocalTime().toString(QStringLiteral("HH:mm:ss.zzz"));
    case Direction:
        return e.sent ? QStringLiteral("Tx") : QStringLiteral("Rx");
    case Bytes:
        // A long answer shows its head: laying out 600 characters a row on every repaint costs
        // more than the whole poll. The whole frame is in the tooltip and in the saved text.
        return e.bytes.size() <= ShownBytes ? TrafficLog::hex(e.bytes)
                                            : TrafficLog::hex(e.bytes.left(ShownBytes)) + QStringLiteral(" …");
    case Decoding:
        return e.decoding;
    case Delay:
        return e.delayMs >= 0 ? QStringLiteral("%1 ms").arg(e.delayMs) : QString();
    default:
        return {};
    }
}

QVariant TrafficTableModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_shown.size())
        return {};
    const TrafficLog::Entry &e = m_all[m_shown[index.row()]];
    if (role == Qt::DisplayRole)
        return cell(e, index.column());
    if (role == Qt::ForegroundRole && e.error)
        return QBrush(QColor(200, 0, 0));
    if (role == Qt::ToolTipRole && index.column() == Bytes)
        return QStringLiteral("%1 bytes: %2").arg(e.bytes.size()).arg(TrafficLog::hex(e.bytes));
    // The whole meaning, for a column too narrow for it (the delegate elides it).
    if (role == Qt::ToolTipRole && index.column() == Decoding)
        return e.decoding;
    if (role == FunctionRole)
        return e.bytes.size() >= 2 ? int(uint8_t(e.bytes[1]) & 0x7F) : -1;
    if (role == FaultRole)
        return int(e.fault);
    if (role == SearchTextRole)
        return line(index.row());
    return {};
}

QVariant TrafficTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    static const char *titles[] = {"Time", "Dir", "Bytes", "Meaning", "Delay"};
    return section >= 0 && section < ColumnCount ? QString::fromLatin1(titles[section]) : QString();
}

QString TrafficTableModel::line(int row) const
{
    if (row < 0 || row >= m_shown.size())
        return {};
    const TrafficLog::Entry &e = m_all[m_shown[row]];
    QStringList cells;
    for (int c = 0; c < ColumnCount; ++c)
        cells.append(c == Bytes ? TrafficLog::hex(e.bytes) : cell(e, c));
    return cells.join(QLatin1Char('\t'));
}

QStringList TrafficTableModel::lines() const
{
    QStringList out;
    for (int row = 0; row < m_shown.size(); ++row)
        out.append(line(row));
    return out;
}
