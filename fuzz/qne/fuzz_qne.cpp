// SPDX-License-Identifier: MIT
// Feeds arbitrary bytes to .qne decryption and the archive reader. The input
// is taken both as an encrypted file (decrypt, then read the archive) and as
// a decrypted archive; whatever decrypts must encrypt back to the same bytes.
#include "QNCrypto.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {
const QString kKey = QStringLiteral("C7E2A19D-5F3B-4E80-A64C-2D91F0B7E358");
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    if (const auto plain = QNCrypto::decryptData(bytes, kKey)) {
        if (plain->size() > bytes.size() - 8)
            std::abort();
        QNCrypto::readArchive(*plain);
        const auto again = QNCrypto::encryptData(*plain, kKey);
        if (!again || again->size() != 8 + ((plain->size() + 7) / 8) * 8)
            std::abort();
        if (QNCrypto::decryptData(*again, kKey) != *plain)
            std::abort();
    }
    if (const auto archived = QNCrypto::readArchive(bytes)) {
        if (archived->sourcePath.isNull())
            std::abort();
    }
    return 0;
}
