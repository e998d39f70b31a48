#include "datasource.h"

#include "dataset.h"

namespace qor {

TSourceLink::~TSourceLink()
{
    if (m_dataSource)
        m_dataSource->RemoveLink(this);
}

bool TSourceLink::relink(TDataSource *dataSource)
{
    if (m_dataSource == dataSource)
        return false;
    if (m_dataSource)
        m_dataSource->RemoveLink(this);
    m_dataSource = dataSource;
    if (m_dataSource)
        m_dataSource->AddLink(this);
    return true;
}

TDataSource::TDataSource(QObject *parent)
    : QObject(parent)
{ }

TDataSource::~TDataSource()
{
    if (m_dataSet)
        m_dataSet->m_sources.removeAll(this);
}

void TDataSource::SetDataSet(TDataSet *dataSet)
{
    if (dataSet == m_dataSet)
        return;
    if (m_dataSet)
        m_dataSet->m_sources.removeAll(this);
    m_dataSet = dataSet;
    if (m_dataSet)
        m_dataSet->m_sources.append(this);
    updateState(true);
    if (m_enabled)
        notifyLinks(TDataEvent::DataSetChange, nullptr);
}

void TDataSource::SetEnabled(bool enabled)
{
    if (enabled == m_enabled)
        return;
    m_enabled = enabled;
    updateState(true);
    if (m_enabled)
        notifyLinks(TDataEvent::DataSetChange, nullptr);
}

TDataSetState TDataSource::State() const
{
    return m_enabled && m_dataSet ? m_dataSet->State() : dsInactive;
}

void TDataSource::AddLink(TDataLink *link)
{
    if (link && !m_links.contains(link))
        m_links.append(link);
}

void TDataSource::RemoveLink(TDataLink *link)
{
    m_links.removeAll(link);
}

bool TDataSource::updateState(bool tellLinks)
{
    const TDataSetState state = State();
    if (state == m_lastState)
        return false;
    m_lastState = state;
    if (tellLinks)
        notifyLinks(TDataEvent::UpdateState, nullptr);
    if (OnStateChange)
        OnStateChange(this);
    return true;
}

void TDataSource::notifyLinks(TDataEvent event, TField *field)
{
    const QList<TDataLink *> links = m_links; // a control may go away while told
    for (TDataLink *link : links) {
        if (m_links.contains(link))
            link->dataEvent(event, field);
    }
}

void TDataSource::dataEvent(TDataEvent event, TField *field)
{
    if (event == TDataEvent::UpdateState) {
        updateState(true);
        return;
    }
    if (!m_enabled || !m_dataSet)
        return;
    notifyLinks(event, field);
    switch (event) {
    case TDataEvent::FieldChange:
    case TDataEvent::RecordChange:
    case TDataEvent::DataSetChange:
    case TDataEvent::DataSetScroll:
    case TDataEvent::LayoutChange:
        if (OnDataChange)
            OnDataChange(this, event == TDataEvent::FieldChange ? field : nullptr);
        break;
    default:
        break;
    }
}

void TDataSource::controlsEnabled(bool stateChanged)
{
    if (!m_enabled || !m_dataSet)
        return;
    if (stateChanged)
        notifyLinks(TDataEvent::UpdateState, nullptr);
    notifyLinks(TDataEvent::DataSetChange, nullptr);
    if (OnDataChange)
        OnDataChange(this, nullptr);
}

} // namespace qor
