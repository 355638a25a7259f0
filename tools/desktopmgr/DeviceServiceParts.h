#pragma once

// A client's session and the objects it holds handles to. Internal to the
// device service.

#include "DeviceService.h"

#include "platform/deviceservice/WireFormat.h"

#include <QHash>
#include <QLocalSocket>
#include <QTimer>

class DeviceService::Session : public QObject
{
public:
    explicit Session(QLocalSocket* s) : socket(s), frameTimer(new QTimer(this))
    {
        socket->setParent(this);
        frameTimer->setSingleShot(true);
    }

    QLocalSocket* socket;
    QTimer* frameTimer; // runs while a frame is begun and its rest has not come
    WireFormat::FrameReader reader{WireFormat::kMaxFrameBytes};
    QList<QCborMap> pending;
    bool busy = false;
    QHash<qint64, std::shared_ptr<ServiceObject>> objects;
    qint64 nextHandle = 1;
};

struct DeviceService::ServiceObject
{
    enum class Kind
    {
        Manager,
        Devices,
        Device,
        Properties,
        Property,
        Channel,
    };
    Kind kind = Kind::Manager;
    quint32 pin = 0;
    quint64 generation = 0;
    QList<QPair<quint32, quint64>> devices; // Devices: pin and generation at the time
    QList<ExtraProperty> properties;        // Properties
    ExtraProperty property;                 // Property
    qint64 sinkId = 0;                      // Channel
    bool open = false;
    qint32 written = 0;
};
