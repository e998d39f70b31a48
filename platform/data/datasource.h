#pragma once

#include "fieldtypes.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <functional>

namespace qor {

class TDataSet;
class TField;

// What a data-aware control implements to hear from its data source.
class TDataLink
{
public:
    virtual ~TDataLink() = default;
    virtual void dataEvent(TDataEvent event, TField *field) = 0;
};

class TDataSource;

// A link registered with one data source at a time, which it leaves when it goes.
class TSourceLink : public TDataLink
{
public:
    ~TSourceLink() override;
    TDataSource *DataSource() const { return m_dataSource; }

protected:
    // Moves the registration to dataSource (or none); false when it was already there.
    bool relink(TDataSource *dataSource);

private:
    QPointer<TDataSource> m_dataSource;
};

class TDataSource : public QObject
{
    Q_OBJECT
public:
    explicit TDataSource(QObject *parent = nullptr);
    ~TDataSource() override;

    TDataSet *DataSet() const { return m_dataSet; }
    void SetDataSet(TDataSet *dataSet);
    bool Enabled() const { return m_enabled; }
    void SetEnabled(bool enabled);
    // The dataset's state; inactive while the source is disabled or has no dataset.
    TDataSetState State() const;

    // Fires whenever State() changes (also on open and close), after the links heard
    // UpdateState; still fires while the dataset's controls are disabled.
    std::function<void(QObject *sender)> OnStateChange;
    // After field, record, dataset, scroll and layout events; field only for FieldChange.
    std::function<void(QObject *sender, TField *field)> OnDataChange;

    void AddLink(TDataLink *link);
    void RemoveLink(TDataLink *link);

private:
    friend class TDataSet;
    void dataEvent(TDataEvent event, TField *field);
    // Follows the dataset's state; true when it changed (links told when asked).
    bool updateState(bool tellLinks);
    void notifyLinks(TDataEvent event, TField *field);
    void controlsEnabled(bool stateChanged);

    TDataSet *m_dataSet = nullptr;
    bool m_enabled = true;
    TDataSetState m_lastState = dsInactive;
    QList<TDataLink *> m_links;
};

} // namespace qor
