// SPDX-License-Identifier: MIT
#include "transform/ValueTransformer.h"

#include <QHash>
#include <mutex>

namespace qn {
namespace {

std::mutex g_mutex;
QHash<QString, std::shared_ptr<ValueTransformer>>& registry()
{
    static QHash<QString, std::shared_ptr<ValueTransformer>> map;
    return map;
}

}  // namespace

void ValueTransformer::setValueTransformer(std::shared_ptr<ValueTransformer> transformer, const QString& name)
{
    std::lock_guard g(g_mutex);
    if (transformer)
        registry().insert(name, std::move(transformer));
    else
        registry().remove(name);
}

std::shared_ptr<ValueTransformer> ValueTransformer::valueTransformerForName(const QString& name)
{
    std::lock_guard g(g_mutex);
    return registry().value(name);
}

}  // namespace qn
