// SPDX-License-Identifier: MIT
#pragma once
// Reads the lines of an FTP LIST reply: Unix "ls -l" lines and DOS/IIS lines.
// Lines of any other form (a "total" summary, a banner) are consumed without
// giving an entry, so one odd line does not hide the lines after it.
#include <QString>

struct QNFTPListEntry {
    // Item types, numbered as in the dirent d_type values.
    enum Type { Unknown = -1, Fifo = 1, CharDevice = 2, Directory = 4, BlockDevice = 6, RegularFile = 8,
                Link = 10, Socket = 12 };
    bool valid = false;  // the line described an item
    QString name;        // without a link's " -> target"
    int type = Unknown;
    bool hasSize = false;
    quint64 size = 0;
};

namespace QNFTPListParser {

/// Parses the line at the start of data. Returns the bytes consumed (the line
/// and its line end), or 0 when the bytes hold no complete line: an
/// unterminated last line counts as complete only when atEnd is true.
qsizetype parseLine(const char* data, qsizetype length, bool atEnd, QNFTPListEntry* entry);

}  // namespace QNFTPListParser
