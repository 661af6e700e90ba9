#pragma once
// Texts shown to users are looked up by key in the running program's
// id-based Qt Linguist tables; a key without an entry shows as the key itself.
#include <QString>

namespace qn {

/// Installs the program's translations from ":/i18n/<tableName>_<lang>.qm"
/// for the current locale, falling back to English. Call once after the
/// application object exists. Returns false when no table was found.
bool installTranslations(const QString& tableName);

/// The text for a key; the key itself when no table has it.
QString localizedString(const char* key);

}  // namespace qn
