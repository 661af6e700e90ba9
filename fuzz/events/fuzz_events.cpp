// SPDX-License-Identifier: MIT
// libFuzzer target for the event message decoder. Whatever decodes must
// encode again to a message that decodes to the same event, and the typed
// accessors must cope with every descriptor.
#include "events/AppleEvent.h"

#include <cstdlib>

using namespace qn::events;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const auto event = AppleEvent::decode(bytes);
    if (!event)
        return 0;
    for (const auto& [key, d] : event->params()) {
        (void)d.toInt32();
        (void)d.toProcessSerialNumber();
        (void)d.toText();
        (void)d.toList();
    }
    const QByteArray again = event->encode();
    if (again != bytes)
        std::abort();  // the encoding is canonical: a decoded message re-encodes byte for byte
    const auto back = AppleEvent::decode(again);
    if (!back || !(*back == *event))
        std::abort();
    return 0;
}
