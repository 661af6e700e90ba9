// SPDX-License-Identifier: MIT
#pragma once
// qneject [-d device] [arguments]
//
// Launches the eject agent (bin/QNTraylift of the same installation). With -d
// the agent gets an eject request for that position in its drive list; without
// it, a plain launch (or a reopen when it already runs). The only positional
// argument that means anything is a leading "?", which prints the usage line.
// Failures to launch are printed with their status; the exit status is 0.
#include <QString>
#include <QStringList>
#include <QVariantMap>
#include <QtGlobal>
#include <optional>

/// Key under which the positional arguments are kept in the option dictionary.
inline constexpr char kDirectParametersKey[] = "kDirectParametersKey";

/// The options as parsed with getopt and "d:": "d" -> its argument text, any
/// other returned character -> a null QVariant; the positional arguments as a
/// QStringList under kDirectParametersKey when there are any. getopt prints
/// its own diagnostics to standard error.
QVariantMap qnEjectParseOptions(int argc, char** argv);

/// The device index of a "-d" text: the decimal integer at its start
/// (optional sign), 0 when it does not start with digits; values beyond the
/// signed 32-bit range are clamped to it.
qint32 qnEjectDeviceIndex(const QString& text);

/// The whole program.
int qnEjectMain(int argc, char** argv);
