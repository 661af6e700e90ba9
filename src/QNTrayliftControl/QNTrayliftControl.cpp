// SPDX-License-Identifier: MIT
#include "QNTrayliftControl.h"

#include "EjectRequest.h"
#include "QNDeviceScanner.h"
#include "layout/Bundle.h"

#include <QDir>
#include <QFileInfo>
#include <QJSEngine>
#include <QMetaMethod>

#include <array>
#include <utility>

namespace {

using namespace qn::events;

struct ScriptOperation {
    const char* signature;
    const char* scriptName;
};

constexpr std::array<ScriptOperation, 5> kScriptOperations{{
    {"scanDevices()", "scanDevices"},
    {"numberOfDevices()", "numberOfDevices"},
    {"productNameAtIndex(int)", "productNameAtIndex"},
    {"vendorNameAtIndex(int)", "vendorNameAtIndex"},
    {"ejectTrayWithDeviceIndex(int)", "ejectTrayWithDeviceIndex"},
}};

// Builds the script object from the control's wrapper: each entry calls the
// wrapper's method of the same name, so the wrapper itself (with QObject's
// own properties and signals) stays out of the script's reach.
constexpr char kScriptObjectFactory[] = R"JS(
(function (control, operations) {
    var object = {};
    operations.forEach(function (operation) {
        object[operation.scriptName] = function () {
            return control[operation.methodName].apply(control, arguments);
        };
    });
    return Object.freeze(object);
})
)JS";

}  // namespace

QNTrayliftControl::QNTrayliftControl(QObject* parent)
    : QNTrayliftControl(installedAgentPath(), parent)
{
}

QNTrayliftControl::QNTrayliftControl(QString agentPath, QObject* parent)
    : QObject(parent), _agentPath(std::move(agentPath))
{
}

void QNTrayliftControl::scanDevices()
{
    // A scanner reports every drive present before registerCallbackHandlers()
    // returns; it is dropped right after, so the snapshot stays as it is.
    QNDeviceScanner scanner;
    scanner.registerCallbackHandlers();
    _deviceArray = scanner.devicesArray();
}

int QNTrayliftControl::numberOfDevices() const
{
    return int(_deviceArray.size());
}

QNDevicePtr QNTrayliftControl::deviceAtIndex(int index) const
{
    // Read as unsigned, so -1 is a very large position and out of range.
    const quint32 position = quint32(index);
    if (position >= quint32(_deviceArray.size()))
        return {};
    return _deviceArray.at(qsizetype(position));
}

QJSValue QNTrayliftControl::productNameAtIndex(int index) const
{
    const QNDevicePtr device = deviceAtIndex(index);
    return device ? QJSValue(device->productName()) : QJSValue(QJSValue::UndefinedValue);
}

QJSValue QNTrayliftControl::vendorNameAtIndex(int index) const
{
    const QNDevicePtr device = deviceAtIndex(index);
    return device ? QJSValue(device->vendorName()) : QJSValue(QJSValue::UndefinedValue);
}

void QNTrayliftControl::ejectTrayWithDeviceIndex(int index) const
{
    if (_agentPath.isEmpty() || !QFileInfo(_agentPath).isFile())
        return;  // the agent is not installed: the request is dropped
    // Starts the agent with the request as its first event, or hands the
    // request to the running agent. The outcome is not reported to script.
    qn::contracts::sendEjectRequest(index, _agentPath);
}

bool QNTrayliftControl::isSelectorExcludedFromWebScript(const QByteArray& signature)
{
    return !webScriptNameForSelector(signature).has_value();
}

std::optional<QString> QNTrayliftControl::webScriptNameForSelector(const QByteArray& signature)
{
    for (const ScriptOperation& operation : kScriptOperations) {
        if (signature == operation.signature)
            return QString::fromLatin1(operation.scriptName);
    }
    return std::nullopt;
}

QJSValue QNTrayliftControl::scriptObject(QJSEngine& engine)
{
    // The engine must never collect the control: it belongs to its parent
    // (or to whoever created it).
    QJSEngine::setObjectOwnership(this, QJSEngine::CppOwnership);
    const QJSValue wrapper = engine.newQObject(this);

    QJSValue operations = engine.newArray();
    quint32 count = 0;
    const QMetaObject* meta = metaObject();
    for (int i = 0; i < meta->methodCount(); ++i) {
        const QMetaMethod method = meta->method(i);
        if (isSelectorExcludedFromWebScript(method.methodSignature()))
            continue;
        QJSValue operation = engine.newObject();
        operation.setProperty(QStringLiteral("scriptName"), *webScriptNameForSelector(method.methodSignature()));
        operation.setProperty(QStringLiteral("methodName"), QString::fromLatin1(method.name()));
        operations.setProperty(count++, operation);
    }

    QJSValue factory = engine.evaluate(QString::fromLatin1(kScriptObjectFactory));
    return factory.call({wrapper, operations});
}

QString QNTrayliftControl::installedAgentPath()
{
    const QString binary =
        qn::Bundle::pathOfBinaryContaining(reinterpret_cast<const void*>(&QNTrayliftControl::installedAgentPath));
    const QString prefix = qn::Bundle::prefixForBinary(binary);
    if (prefix.isEmpty())
        return {};
    return qn::Bundle::programPath(QStringLiteral("QNTraylift"), prefix);
}
