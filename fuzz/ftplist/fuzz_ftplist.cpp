// SPDX-License-Identifier: MIT
// Feeds arbitrary bytes to the FTP listing parser, line by line as the engine
// does and as a whole. Every consumed count must lie inside the input, and a
// record's size must only appear on regular files.
#include "QNFTPListParser.h"
#include "QNLowNetwork.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    qsizetype offset = 0;
    while (offset < bytes.size()) {
        QNFTPListEntry entry;
        const qsizetype rest = bytes.size() - offset;
        const qsizetype consumed = QNFTPListParser::parseLine(bytes.constData() + offset, rest, true, &entry);
        if (consumed <= 0 || consumed > rest)
            std::abort();
        if (entry.valid && entry.name.isEmpty())
            std::abort();
        QNFTPListEntry partial;
        if (QNFTPListParser::parseLine(bytes.constData() + offset, rest, false, &partial) > rest)
            std::abort();
        offset += consumed;
    }
    const QVariantList records = QNLowNetwork::parseDirectoryListing(bytes);
    for (const QVariant& r : records) {
        const QVariantMap m = r.toMap();
        if (m.contains(kQNLowNetworkDirectoryContentsKeyFileSize)
            && m.value(kQNLowNetworkDirectoryContentsKeyIsDirectory).toBool())
            std::abort();
        QNLowNetwork::isItemName(m.value(kQNLowNetworkDirectoryContentsKeyName).toString(), records);
    }
    return 0;
}
