#pragma once

#include "TrafficLog.h"

#include <QAbstractTableModel>

// The traffic monitor's rows: a copy of the frame log's entries, taken in batches, optionally
// only the ones with an error.
class TrafficTableModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column { Time, Direction, Bytes, Decoding, Delay, ColumnCount };
    // Of any column: the frame's function code (without the exception bit; -1 for a frame of
    // less than two bytes), its kind of error (LinkFault as int), and its whole text to search
    // in (time, direction, all bytes, meaning).
    enum Role { FunctionRole = Qt::UserRole, FaultRole, SearchTextRole };
    static constexpr int ShownBytes = 24; // of a frame in its row

    explicit TrafficTableModel(QObject *parent = nullptr);

    // Takes what is new in the log (all of it again when entries shown earlier changed).
    void update(const TrafficLog &log);
    void setErrorsOnly(bool on);
    bool errorsOnly() const { return m_errorsOnly; }
    void clear();
    // The rows shown, one line each: time, direction, bytes, decoding, delay; tab-separated.
    QStringList lines() const;
    // Row `row` as a line of lines().
    QString line(int row) const;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    QString cell(const TrafficLog::Entry &e, int column) const;
    void rebuild();

    QList<TrafficLog::Entry> m_all;   // as taken from the log
    QList<int> m_shown;               // indexes into m_all
    quint64 m_last = 0;
    quint64 m_revision = 0;
    bool m_errorsOnly = false;
};
