#include "strings/LocalizedString.h"

#include <QCoreApplication>
#include <QLocale>
#include <QTranslator>

namespace qn {

bool installTranslations(const QString& tableName)
{
    auto* translator = new QTranslator(QCoreApplication::instance());
    if (translator->load(QLocale(), tableName, QStringLiteral("_"), QStringLiteral(":/i18n"))
        || translator->load(QLocale(QLocale::English), tableName, QStringLiteral("_"), QStringLiteral(":/i18n"))) {
        QCoreApplication::installTranslator(translator);
        return true;
    }
    delete translator;
    return false;
}

QString localizedString(const char* key)
{
    const QString text = qtTrId(key);
    return text.isEmpty() ? QString::fromUtf8(key) : text;
}

}  // namespace qn
