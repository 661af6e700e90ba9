// SPDX-License-Identifier: MIT
#pragma once
// The QML module "QNTraylift": registers the singleton QNTrayliftControl, so a
// widget written in QML reaches the control after `import QNTraylift`.
#include <QQmlExtensionPlugin>

class QNTrayliftPlugin : public QQmlExtensionPlugin {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QQmlExtensionInterface_iid)
public:
    void registerTypes(const char* uri) override;
};
