#include "storage/PrivateFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

constexpr QFileDevice::Permissions kOthers = QFileDevice::ReadGroup | QFileDevice::WriteGroup |
                                             QFileDevice::ExeGroup | QFileDevice::ReadOther |
                                             QFileDevice::WriteOther | QFileDevice::ExeOther;

bool restrict(const QString &path, QFileDevice::Permissions wanted, bool folder)
{
#ifdef Q_OS_WIN
    Q_UNUSED(path);
    Q_UNUSED(wanted);
    Q_UNUSED(folder);
    return false;
#else
    const QFileInfo info(path);
    if (!info.exists() || info.isDir() != folder)
        return false;
    const bool wasOpen = info.permissions() & kOthers;
    QFile::setPermissions(path, wanted);
    return wasOpen;
#endif
}

} // namespace

namespace PrivateFiles {

bool makePrivateFile(const QString &path)
{
    return restrict(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner, false);
}

void makePrivateFile(QFileDevice &file)
{
#ifdef Q_OS_WIN
    Q_UNUSED(file);
#else
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
#endif
}

bool makePrivateFolder(const QString &path)
{
    return restrict(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner, true);
}

void createPrivateFile(const QString &path)
{
#ifdef Q_OS_WIN
    Q_UNUSED(path);
#else
    if (QFileInfo::exists(path) || !QDir().mkpath(QFileInfo(path).absolutePath()))
        return;
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        makePrivateFile(file);
#endif
}

} // namespace PrivateFiles
