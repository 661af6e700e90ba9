// SPDX-License-Identifier: MIT
#include "QNPropertyFile.h"

QNPropertyFile::QNPropertyFile() : QNPropertyFile(QString()) {}

QNPropertyFile::QNPropertyFile(const QString& path) : _filePath(path) {}
