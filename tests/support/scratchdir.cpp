// SPDX-License-Identifier: MIT
#include "scratchdir.h"

#include <QDir>
#include <QFile>

#ifdef Q_OS_LINUX
#include <sys/fsuid.h>
#include <unistd.h>
#endif

ScratchDir::ScratchDir() : m_previous(QDir::currentPath())
{
    m_valid = m_dir.isValid() && QDir::setCurrent(m_dir.path());
}

ScratchDir::~ScratchDir()
{
    QDir::setCurrent(m_previous);
    // A test may have made the directory read-only; give it back to its owner for removal.
    QFile::setPermissions(m_dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

QByteArray ScratchDir::read(const QString &name) const
{
    QFile file(filePath(name));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

bool ScratchDir::write(const QString &name, const QByteArray &content) const
{
    QFile file(filePath(name));
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(content) == content.size();
}

bool ScratchDir::exists(const QString &name) const
{
    return QFile::exists(filePath(name));
}

UnprivilegedFileAccess::UnprivilegedFileAccess()
{
#ifdef Q_OS_LINUX
    if (::geteuid() != 0) {
        m_active = true;
        return;
    }
    // Leaving fsuid 0 drops the file capabilities (CAP_DAC_OVERRIDE ...) of this thread.
    constexpr uid_t nobody = 65534;
    m_previousFsuid = ::setfsuid(nobody);
    m_active = ::setfsuid(nobody) == int(nobody);
#else
    m_active = true;
#endif
}

UnprivilegedFileAccess::~UnprivilegedFileAccess()
{
#ifdef Q_OS_LINUX
    if (m_previousFsuid >= 0)
        ::setfsuid(uid_t(m_previousFsuid));
#endif
}

bool makeDirectoryReadOnly(const QString &path, bool filesReadOnly)
{
    const QFile::Permissions all = QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther |
                                   QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther;
    const QFile::Permissions readable = QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther;
    const QFile::Permissions writable =
        readable | QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther;
    bool ok = true;
    const QDir dir(path);
    for (const QString &name : dir.entryList(QDir::Files | QDir::NoDotAndDotDot | QDir::Hidden))
        ok = QFile::setPermissions(dir.filePath(name), filesReadOnly ? readable : writable) && ok;
    return QFile::setPermissions(path, all) && ok;
}
