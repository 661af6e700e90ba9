// SPDX-License-Identifier: MIT
#include "QNTrayliftPlugin.h"

#include "QNTrayliftControl.h"

#include <QQmlEngine>

void QNTrayliftPlugin::registerTypes(const char* uri)
{
    // One control per engine, owned by the engine's QObject tree; scripts get
    // its script object, which shows the five operations and nothing else.
    qmlRegisterSingletonType(uri, 1, 0, "QNTrayliftControl", [](QQmlEngine* qmlEngine, QJSEngine* jsEngine) {
        auto* control = new QNTrayliftControl(qmlEngine);
        return control->scriptObject(*jsEngine);
    });
}
