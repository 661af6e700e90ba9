// SPDX-License-Identifier: MIT
#include "defaults/UserDefaults.h"

#include "plist/PropertyList.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#include <cstdio>
#include <sys/stat.h>


namespace qn {

UserDefaults::UserDefaults(QString domain) : _domain(std::move(domain)) {}

QString UserDefaults::pathForDomain(const QString& domain)
{
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.config");
    return base + QStringLiteral("/qnlab/") + domain + QStringLiteral(".plist");
}

QVariantMap UserDefaults::persistentDomain() const
{
    // Parsed anew on every read: preference files are small, and no cheap
    // file stamp is safe here (a rename may reuse the old inode number with
    // the same size and, at coarse timestamp granularity, the same time).
    const QString file = path();
    const QByteArray native = QFile::encodeName(file);
    struct stat before {};
    const bool existed = ::stat(native.constData(), &before) == 0;
    QString error;
    const std::optional<QVariant> value = plist::readFile(file, &error);
    if (value && value->metaType().id() == QMetaType::QVariantMap)
        return value->toMap();
    // Only the file that was read is moved: a writer may have replaced it
    // with a good one (atomically, so a new inode) in the meantime.
    struct stat now {};
    if (existed && ::stat(native.constData(), &now) == 0 && now.st_ino == before.st_ino && now.st_dev == before.st_dev)
        moveDamagedFileAside(file, value ? QStringLiteral("its top level is not a dictionary") : error);
    return {};
}

void UserDefaults::moveDamagedFileAside(const QString& file, const QString& why)
{
    // The next write would replace the file: keep what the user had, next to
    // it, where they (or we) can look at it.
    const QString aside = file + QStringLiteral(".damaged");
    QFile::remove(aside);
    const bool moved = QFile::rename(file, aside);
    const QString line = moved
        ? QStringLiteral("%1: cannot read the preferences (%2); moved to %3, starting from the defaults\n")
              .arg(file, why, aside)
        : QStringLiteral("%1: cannot read the preferences (%2), and could not move the file aside\n").arg(file, why);
    const QByteArray bytes = line.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fflush(stderr);
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

bool UserDefaults::setObject(const QVariant& value, const QString& key)
{
    QVariantMap content = persistentDomain();
    if (value.isValid()) {
        // The same value of the same type is already stored: the file would
        // come out identical, so it is left alone (no rewrite, no sync to disk
        // on every eject request).
        const QVariant stored = content.value(key);
        if (stored.metaType() == value.metaType() && stored == value)
            return true;
        content.insert(key, value);
    }
    else if (!content.contains(key) && QFileInfo::exists(path()))
        return true;  // nothing to remove; leave the file as it is
    else
        content.remove(key);
    return setPersistentDomain(content);
}

bool UserDefaults::setPersistentDomain(const QVariantMap& content)
{
    return writeAtomically(path(), content);
}

bool UserDefaults::writeAtomically(const QString& path, const QVariantMap& content)
{
    const QByteArray bytes = plist::write(content, plist::Format::Xml);
    if (bytes.isEmpty())
        return false;
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    // Unbuffered, so a short write (disk full, file-size limit) shows in the
    // write's result: a buffered write fails only at commit, which then still
    // renames the cut-off file into place.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return false;
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

}  // namespace qn
