// SPDX-License-Identifier: MIT
// src/platform/strings: texts looked up by key in the program's string tables.
#pragma once
// Texts shown to users are looked up by key in the running program's
// id-based Qt Linguist tables; a key without an entry shows as the key itself.
//
// Each table ships as ":/i18n/<table>_<lang>.qm". The language follows the
// locale as Qt reads it (LC_ALL, then LC_MESSAGES, then LANG; LANGUAGE may
// list several languages in order), and English lies beneath every other
// language, so a key the chosen language does not translate yet shows in
// English rather than as the bare key.
#include <QLocale>
#include <QString>
#include <QStringList>

namespace qn {

/// Installs the program's table `tableName` for `locale`'s languages (the
/// locale of the environment by default), English beneath it. Call once per
/// table after the application object exists. Returns false when no table
/// of that name was found in any of those languages or in English.
bool installTranslations(const QString& tableName, const QLocale& locale = QLocale());

/// The text for a key; the key itself when no table has it.
QString localizedString(const char* key);

/// The text for a key from one table only, without installing it in the
/// application (for libraries whose texts must not depend on the program's
/// tables). Same language choice and fallbacks as above.
QString tableString(const QString& tableName, const char* key);

}  // namespace qn
