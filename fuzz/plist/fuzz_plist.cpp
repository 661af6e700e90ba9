// SPDX-License-Identifier: MIT
// Feeds arbitrary bytes to the property-list reader and the keyed-archive
// reader; anything they accept must serialise again.
#include "plist/KeyedArchive.h"
#include "plist/PropertyList.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    if (auto v = qn::plist::read(bytes)) {
        qn::plist::write(*v, qn::plist::Format::Binary);
        qn::plist::write(*v, qn::plist::Format::Xml);
    }
    qn::plist::KeyedArchive::unarchiveRootDictionary(bytes);
    qn::plist::KeyedArchive::decodeValuesByKey(bytes);
    return 0;
}
