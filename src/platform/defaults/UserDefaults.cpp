#include "defaults/UserDefaults.h"

#include "plist/PropertyList.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#include <sys/stat.h>

namespace qn {
namespace {

QString g_standardDomain;

// Identifies one version of a file without reading it: a rename gives a new
// inode, an in-place rewrite a new modification time or size.
QString fileStamp(const QString& path)
{
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return QStringLiteral("missing");
    return QStringLiteral("%1:%2:%3.%4:%5")
        .arg(st.st_ino)
        .arg(st.st_size)
        .arg(st.st_mtim.tv_sec)
        .arg(st.st_mtim.tv_nsec)
        .arg(st.st_dev);
}

}  // namespace

UserDefaults::UserDefaults(QString domain) : _domain(std::move(domain)) {}

UserDefaults& UserDefaults::standard()
{
    static UserDefaults instance(g_standardDomain.isEmpty()
            ? QStringLiteral("com.qnlab.") + QCoreApplication::applicationName()
            : g_standardDomain);
    return instance;
}

void UserDefaults::setStandardDomain(const QString& domain)
{
    g_standardDomain = domain;
}

QString UserDefaults::pathForDomain(const QString& domain)
{
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.config");
    return base + QStringLiteral("/qnlab/") + domain + QStringLiteral(".plist");
}

QVariantMap UserDefaults::persistentDomain() const
{
    const QString p = path();
    const QString stamp = fileStamp(p);
    if (stamp == _cacheStamp)
        return _cache;
    QVariantMap content;
    if (auto value = plist::readFile(p); value && value->metaType().id() == QMetaType::QVariantMap)
        content = value->toMap();
    // Re-check the stamp: if the file changed while being read, do not cache
    // what may be a mix of two versions.
    if (fileStamp(p) == stamp) {
        _cache = content;
        _cacheStamp = stamp;
    }
    return content;
}

void UserDefaults::registerDefaults(const QVariantMap& fallbacks)
{
    for (auto it = fallbacks.cbegin(); it != fallbacks.cend(); ++it)
        _registered.insert(it.key(), it.value());
}

QVariant UserDefaults::objectForKey(const QString& key) const
{
    const QVariantMap stored = persistentDomain();
    auto it = stored.constFind(key);
    if (it != stored.cend())
        return it.value();
    return _registered.value(key);
}

bool UserDefaults::boolForKey(const QString& key) const
{
    const QVariant v = objectForKey(key);
    if (v.metaType().id() == QMetaType::QString) {
        const QString s = v.toString().trimmed().toLower();
        return s == QLatin1String("yes") || s == QLatin1String("true") || s.toLongLong() != 0;
    }
    return v.isValid() && v.toBool();
}

qint64 UserDefaults::integerForKey(const QString& key) const
{
    const QVariant v = objectForKey(key);
    if (v.metaType().id() == QMetaType::Double)
        return qint64(v.toDouble());
    if (v.metaType().id() == QMetaType::QString)
        return qint64(v.toString().trimmed().toDouble());
    return v.isValid() ? v.toLongLong() : 0;
}

float UserDefaults::floatForKey(const QString& key) const
{
    return float(doubleForKey(key));
}

double UserDefaults::doubleForKey(const QString& key) const
{
    const QVariant v = objectForKey(key);
    return v.isValid() ? v.toDouble() : 0.0;
}

QString UserDefaults::stringForKey(const QString& key) const
{
    const QVariant v = objectForKey(key);
    switch (v.metaType().id()) {
    case QMetaType::QString:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Int:
    case QMetaType::Double:
    case QMetaType::Bool:
        return v.toString();
    default:
        return {};
    }
}

QVariantList UserDefaults::arrayForKey(const QString& key) const
{
    const QVariant v = objectForKey(key);
    return v.metaType().id() == QMetaType::QVariantList ? v.toList() : QVariantList();
}

QVariantMap UserDefaults::dictionaryForKey(const QString& key) const
{
    const QVariant v = objectForKey(key);
    return v.metaType().id() == QMetaType::QVariantMap ? v.toMap() : QVariantMap();
}

bool UserDefaults::setObject(const QVariant& value, const QString& key)
{
    QVariantMap content = persistentDomain();
    if (value.isValid())
        content.insert(key, value);
    else if (!content.contains(key) && QFileInfo::exists(path()))
        return true;  // nothing to remove; leave the file as it is
    else
        content.remove(key);
    return setPersistentDomain(content);
}

bool UserDefaults::setPersistentDomain(const QVariantMap& content)
{
    if (!writeAtomically(path(), content))
        return false;
    _cache = content;
    _cacheStamp = fileStamp(path());
    return true;
}

bool UserDefaults::writeAtomically(const QString& path, const QVariantMap& content)
{
    const QByteArray bytes = plist::write(content, plist::Format::Xml);
    if (bytes.isEmpty())
        return false;
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

}  // namespace qn
