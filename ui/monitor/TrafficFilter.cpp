#include "TrafficFilter.h"

#include "TrafficTableModel.h"

TrafficFilter::TrafficFilter(QObject *parent) : QSortFilterProxyModel(parent) {}

void TrafficFilter::setFunction(int function)
{
    if (function == m_function)
        return;
    m_function = function;
    invalidateRowsFilter();
}

void TrafficFilter::setFault(LinkFault fault)
{
    if (fault == m_fault)
        return;
    m_fault = fault;
    invalidateRowsFilter();
}

void TrafficFilter::setText(const QString &text)
{
    const QString trimmed = text.trimmed();
    if (trimmed == m_text)
        return;
    m_text = trimmed;
    invalidateRowsFilter();
}

bool TrafficFilter::filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const
{
    const QModelIndex index = sourceModel()->index(sourceRow, 0, sourceParent);
    if (m_function != AnyFunction && index.data(TrafficTableModel::FunctionRole).toInt() != m_function)
        return false;
    if (m_fault != LinkFault::None && index.data(TrafficTableModel::FaultRole).toInt() != int(m_fault))
        return false;
    return m_text.isEmpty() || index.data(TrafficTableModel::SearchTextRole).toString().contains(m_text, Qt::CaseInsensitive);
}
