// SPDX-License-Identifier: MIT
// src/QNTrayliftControl: the QML module QNTraylift for desktop widgets, and a sample widget.
#pragma once
// QNTrayliftControl: the object a desktop widget's script uses to list the
// optical drives and to ask the agent to eject one of them.
//
// Script sees exactly five operations, under these names:
//   scanDevices()                  takes a new snapshot of the drives present
//   numberOfDevices()              drives in the snapshot (0 before any scan)
//   productNameAtIndex(i)          product name, undefined when i is out of range
//   vendorNameAtIndex(i)           vendor name, undefined when i is out of range
//   ejectTrayWithDeviceIndex(i)    sends the eject request for position i
// Positions count in the snapshot, which does not follow later arrivals or
// removals; the agent's own scanner lists drives in the same order.
//
// The object never touches a drive: an eject request is launched at the agent
// installed beside this plug-in (bin/QNTraylift of the same installation), and
// silently dropped when no agent is installed there.
#include "QNDevice.h"

#include <QByteArray>
#include <QJSValue>
#include <QObject>
#include <QString>
#include <QStringList>

#include <optional>

class QJSEngine;

class QNTrayliftControl : public QObject {
    Q_OBJECT
public:
    /// A control that sends eject requests to the agent of this plug-in's
    /// installation. The snapshot is empty.
    explicit QNTrayliftControl(QObject* parent = nullptr);
    /// Same, with the agent's program path given (empty: requests are dropped).
    QNTrayliftControl(QString agentPath, QObject* parent = nullptr);

    /// Replaces the snapshot by the drives a fresh scanner reports now.
    Q_INVOKABLE void scanDevices();
    Q_INVOKABLE int numberOfDevices() const;
    /// The product name at `index`; undefined when `index`, read as unsigned,
    /// is not below numberOfDevices().
    Q_INVOKABLE QJSValue productNameAtIndex(int index) const;
    /// The vendor name at `index`, with the same range rule.
    Q_INVOKABLE QJSValue vendorNameAtIndex(int index) const;
    /// Launches the agent with the eject request for `index`, unchanged and
    /// unchecked (the agent decides what an index means). Nothing is reported:
    /// a missing agent or a failed launch drops the request.
    Q_INVOKABLE void ejectTrayWithDeviceIndex(int index) const;

    /// False for exactly the signatures of the five script operations
    /// ("productNameAtIndex(int)", ...), true for every other method.
    static bool isSelectorExcludedFromWebScript(const QByteArray& signature);
    /// The script name of a script operation's signature; nullopt otherwise.
    static std::optional<QString> webScriptNameForSelector(const QByteArray& signature);

    /// A script object for `engine` that carries the operations not excluded
    /// above as functions, and nothing else (frozen). This control keeps
    /// serving it and must outlive the engine's use of it; the engine never
    /// deletes the control. The QML module hands it to scripts as the
    /// singleton QNTrayliftControl.
    QJSValue scriptObject(QJSEngine& engine);

    /// The snapshot of the last scan.
    const QNDeviceList& deviceArray() const { return _deviceArray; }
    /// Where eject requests go.
    const QString& agentPath() const { return _agentPath; }
    /// bin/QNTraylift of the installation that holds this plug-in, or empty
    /// when the plug-in does not lie in an installation layout.
    static QString installedAgentPath();

private:
    QNDevicePtr deviceAtIndex(int index) const;

    QNDeviceList _deviceArray;
    QString _agentPath;
};
