// SPDX-License-Identifier: MIT
#include "QNTargetDeviceTransformer.h"

#include "strings/LocalizedString.h"

void QNTargetDeviceTransformer::registerTransformer()
{
    qn::ValueTransformer::setValueTransformer(std::make_shared<QNTargetDeviceTransformer>(),
                                              QString::fromLatin1(kQNTargetDeviceTransformerName));
}

QVariant QNTargetDeviceTransformer::transformedValue(const QVariant& value) const
{
    if (value.isValid() && value.toBool())
        return qn::localizedString("TargetDevice");
    return QString(QLatin1String(""));
}
