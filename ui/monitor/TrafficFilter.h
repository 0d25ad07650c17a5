#pragma once

#include "LinkFault.h"

#include <QSortFilterProxyModel>

// Which of the traffic table's rows are shown: the frames of one function code, of one kind of
// error, and those whose text (time, direction, whole bytes in hex, meaning) holds a piece of
// text, ignoring case. Each criterion left at its default lets every frame through. Hiding rows
// takes nothing from the frame log.
class TrafficFilter : public QSortFilterProxyModel
{
    Q_OBJECT
public:
    static constexpr int AnyFunction = -1;

    explicit TrafficFilter(QObject *parent = nullptr);

    void setFunction(int function);
    int function() const { return m_function; }
    // LinkFault::None: frames of any kind, with an error or not.
    void setFault(LinkFault fault);
    LinkFault fault() const { return m_fault; }
    void setText(const QString &text);
    QString text() const { return m_text; }
    bool active() const { return m_function != AnyFunction || m_fault != LinkFault::None || !m_text.isEmpty(); }

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const override;

private:
    int m_function = AnyFunction;
    LinkFault m_fault = LinkFault::None;
    QString m_text;
};
