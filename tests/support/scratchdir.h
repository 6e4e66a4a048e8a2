// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

// A fresh temporary directory made the current working directory for the lifetime of this
// object (one test); the previous working directory is restored and the directory removed
// afterwards. The program's COMPORT file lives here during the test.
class ScratchDir
{
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir &) = delete;
    ScratchDir &operator=(const ScratchDir &) = delete;

    bool isValid() const { return m_valid; }
    QString path() const { return m_dir.path(); }
    QString filePath(const QString &name) const { return m_dir.filePath(name); }

    // Whole content of a file in the directory (empty when missing).
    QByteArray read(const QString &name) const;
    // Creates or replaces a file in the directory.
    bool write(const QString &name, const QByteArray &content) const;
    bool exists(const QString &name) const;

private:
    QTemporaryDir m_dir;
    QString m_previous;
    bool m_valid = false;
};

// While alive, file access of this thread is checked as an unprivileged user would be, so
// that a read-only directory is read-only to the test even when it runs as root (setfsuid on
// Linux; nothing to do for a non-root user). Files the program must reach then need
// world access (ScratchDir's directory is opened up accordingly by makeReadOnly()).
class UnprivilegedFileAccess
{
public:
    UnprivilegedFileAccess();
    ~UnprivilegedFileAccess();
    UnprivilegedFileAccess(const UnprivilegedFileAccess &) = delete;
    UnprivilegedFileAccess &operator=(const UnprivilegedFileAccess &) = delete;

    // False when running as root and the switch was not possible.
    bool isActive() const { return m_active; }

private:
    int m_previousFsuid = -1;
    bool m_active = false;
};

// Makes the directory readable and searchable by everyone but writable by nobody (0555), and
// its existing files world-readable and writable (0666), or read-only too (0444) when
// filesReadOnly.
bool makeDirectoryReadOnly(const QString &path, bool filesReadOnly = false);
