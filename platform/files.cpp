#include "platform/files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace Platform {

namespace {

// As many links as the system itself follows before it gives up on a loop.
constexpr int mostLinks = 40;

} // namespace

QString finalPath(const QString &path)
{
    QFileInfo info(path);
    for (int hops = 0; hops < mostLinks && info.isSymLink(); ++hops)
        info.setFile(info.symLinkTarget());
    return info.absoluteFilePath();
}

#ifdef Q_OS_WIN

namespace {

HANDLE openForQuery(const QString &path, DWORD access, DWORD share, DWORD disposition)
{
    return CreateFileW(reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(path).utf16()),
                       access, share, nullptr, disposition,
                       FILE_ATTRIBUTE_NORMAL | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

} // namespace

FileIdentity identityOf(const QString &path)
{
    FileIdentity identity;
    const HANDLE file = openForQuery(
        path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING);
    if (file == INVALID_HANDLE_VALUE)
        return identity;
    BY_HANDLE_FILE_INFORMATION info;
    if (GetFileInformationByHandle(file, &info)) {
        identity.valid = true;
        identity.device = info.dwVolumeSerialNumber;
        identity.file = (quint64(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
        identity.links = quint32(info.nNumberOfLinks);
    }
    CloseHandle(file);
    return identity;
}

QString privateTemporaryFolder(const QString &name)
{
    // %TEMP% is the user's own on Windows.
    return QStandardPaths::writableLocation(QStandardPaths::TempLocation) + QLatin1Char('/') + name;
}

bool makePrivateFolder(const QString &path)
{
    // A folder under the user's profile is the user's alone by inheritance.
    return QDir().mkpath(path) && QFileInfo(path).isDir();
}

HeldFile::~HeldFile()
{
    if (handle)
        CloseHandle(handle);
}

bool HeldFile::hold(const QString &path)
{
    if (handle)
        return true;
    // Opened without sharing: nobody else can open it, nor delete it, while it is held.
    const HANDLE file = openForQuery(path, GENERIC_READ | GENERIC_WRITE, 0, OPEN_ALWAYS);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    handle = file;
    return true;
}

bool HeldFile::isHeldByAnyone(const QString &path)
{
    const HANDLE file = openForQuery(path, GENERIC_READ, 0, OPEN_EXISTING);
    if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
        return false;
    }
    return GetLastError() == ERROR_SHARING_VIOLATION;
}

#else

namespace {

constexpr QFileDevice::Permissions userOnlyFolder =
    QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
    QFileDevice::ReadUser | QFileDevice::WriteUser | QFileDevice::ExeUser;

} // namespace

FileIdentity identityOf(const QString &path)
{
    FileIdentity identity;
    struct stat info = {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return identity;
    identity.valid = true;
    identity.device = quint64(info.st_dev);
    identity.file = quint64(info.st_ino);
    identity.links = quint32(info.st_nlink);
    return identity;
}

QString privateTemporaryFolder(const QString &name)
{
    // The runtime folder is made by the system (or by Qt in the temporary folder) for this
    // user alone, mode 0700.
    QString base = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (base.isEmpty())
        base = QDir::tempPath() + QStringLiteral("/velmora-") + QString::number(::geteuid());
    return base + QLatin1Char('/') + name;
}

bool makePrivateFolder(const QString &path)
{
    QDir().mkpath(path);
    struct stat info = {};
    // A folder of another user (made before us in a shared place) is never used.
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0 || !S_ISDIR(info.st_mode) ||
        info.st_uid != ::geteuid())
        return false;
    return (info.st_mode & 0777) == 0700 || QFile::setPermissions(path, userOnlyFolder);
}

HeldFile::~HeldFile()
{
    if (fd >= 0)
        ::close(fd);
}

bool HeldFile::hold(const QString &path)
{
    if (fd >= 0)
        return true;
    const int file =
        ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (file < 0)
        return false;
    if (::flock(file, LOCK_EX | LOCK_NB) != 0) {
        ::close(file);
        return false;
    }
    fd = file;
    return true;
}

bool HeldFile::isHeldByAnyone(const QString &path)
{
    const int file = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (file < 0)
        return false;
    // A lock of another open file, even of this process, refuses this one.
    const bool held = ::flock(file, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(file);
    return held;
}

#endif

} // namespace Platform
