// SPDX-License-Identifier: MIT
// Feeds arbitrary text to the command-line splitter and checks what every
// accepted split must satisfy: no empty word, no word longer than the line,
// and words that do not start with a quote hold no white space.
#include "TaskUtility.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString line = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    const auto words = TaskUtility::componentsOfCommandLine(line);
    if (!words)
        return 0;
    qsizetype total = 0;
    for (const QString& w : *words) {
        if (w.isEmpty() || w.size() > line.size())
            abort();
        total += w.size();
        if (!line.contains(w))
            abort();
    }
    if (total > line.size())
        abort();
    return 0;
}
