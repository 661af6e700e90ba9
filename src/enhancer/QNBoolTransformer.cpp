// SPDX-License-Identifier: MIT
#include "QNBoolTransformer.h"

#include "strings/LocalizedString.h"

#include <memory>

const char* const kQNYes = "Yes";
const char* const kQNNo = "No";

void QNBoolTransformer::registerTransformer()
{
    qn::ValueTransformer::setValueTransformer(std::make_shared<QNBoolTransformer>(),
                                              QStringLiteral("QNBoolTransformer"));
}

QVariant QNBoolTransformer::transformedValue(const QVariant& value) const
{
    const bool yes = value.isValid() && !value.isNull() && value.toBool();
    return qn::localizedString(yes ? kQNYes : kQNNo);
}
