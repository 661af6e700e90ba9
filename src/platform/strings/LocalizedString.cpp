// SPDX-License-Identifier: MIT
#include "strings/LocalizedString.h"

#include <QCoreApplication>
#include <QHash>
#include <QLibraryInfo>
#include <QMutex>
#include <QTranslator>

#include <memory>

namespace qn {

namespace {

const QString kTableFolder = QStringLiteral(":/i18n");

// One table in the user's language with the English table beneath it: a key
// the first does not have is answered by the second.
class LayeredTranslator : public QTranslator {
public:
    bool load(const QString& tableName, const QLocale& locale)
    {
        auto english = std::make_unique<QTranslator>();
        if (!english->load(QLocale(QLocale::English), tableName, QStringLiteral("_"), kTableFolder))
            english.reset();
        auto chosen = std::make_unique<QTranslator>();
        if (!chosen->load(locale, tableName, QStringLiteral("_"), kTableFolder)
            || (english && chosen->filePath() == english->filePath()))
            chosen.reset();
        if (!chosen && !english)
            return false;
        _chosen = std::move(chosen);
        _english = std::move(english);
        return true;
    }

    QString language() const { return (_chosen ? _chosen : _english)->language(); }

    QString translate(const char* context, const char* sourceText, const char* disambiguation,
                      int n) const override
    {
        if (_chosen) {
            const QString text = _chosen->translate(context, sourceText, disambiguation, n);
            if (!text.isEmpty())
                return text;
        }
        return _english ? _english->translate(context, sourceText, disambiguation, n) : QString();
    }

    bool isEmpty() const override { return !_chosen && !_english; }

private:
    std::unique_ptr<QTranslator> _chosen;
    std::unique_ptr<QTranslator> _english;
};

// Qt's own texts (standard buttons, context menus of text fields) in the same
// language, when the system has Qt's translations installed.
void installQtTranslations(const QLocale& locale)
{
    static bool installed = false;
    if (installed || locale.language() == QLocale::English || locale.language() == QLocale::C)
        return;
    installed = true;
    auto* qt = new QTranslator(QCoreApplication::instance());
    if (qt->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                 QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(qt);
    else
        delete qt;
}

}  // namespace

bool installTranslations(const QString& tableName, const QLocale& locale)
{
    auto* translator = new LayeredTranslator;
    translator->setParent(QCoreApplication::instance());
    if (!translator->load(tableName, locale)) {
        delete translator;
        return false;
    }
    QCoreApplication::installTranslator(translator);
    installQtTranslations(locale);
    return true;
}

QString localizedString(const char* key)
{
    const QString text = qtTrId(key);
    return text.isEmpty() ? QString::fromUtf8(key) : text;
}

QString tableString(const QString& tableName, const char* key)
{
    static QMutex mutex;
    static QHash<QString, std::shared_ptr<LayeredTranslator>> tables;
    std::shared_ptr<LayeredTranslator> table;
    {
        const QMutexLocker lock(&mutex);
        auto it = tables.find(tableName);
        if (it == tables.end()) {
            auto loaded = std::make_shared<LayeredTranslator>();
            if (!loaded->load(tableName, QLocale()))
                loaded.reset();
            it = tables.insert(tableName, loaded);
        }
        table = it.value();
    }
    const QString text = table ? table->translate(nullptr, key, nullptr, -1) : QString();
    return text.isEmpty() ? QString::fromUtf8(key) : text;
}

}  // namespace qn
