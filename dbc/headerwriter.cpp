// SPDX-License-Identifier: MIT
#include <quarvel/cdbc.h>

#include "bitwalk.h"
#include "dbcnotes.h"
#include "debuglog.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cstring>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace
{

#ifdef Q_OS_WIN
// Whether another program holds `path` open without letting it be deleted,
// as editors and IDEs on Windows do: the header cannot be replaced then, and
// opening it for deletion fails with a sharing violation.
bool heldOpenElsewhere(const QString &path)
{
    const HANDLE file =
        CreateFileW(reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(path).utf16()),
                    DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
        return false;
    }
    return GetLastError() == ERROR_SHARING_VIOLATION;
}
#endif

using BitWalk::MemberName;
using BitWalk::putDecimal;

const char *const HeaderFileName = "dbc_2_struct.h";

// The header is built as raw bytes, so its CR LF line ends are spelled out
// and come out the same on every platform.

// Appends a string literal without its NUL.
template <int N> void appendLiteral(QByteArray &out, const char (&literal)[N])
{
    out.append(literal, N - 1);
}

// Writes every byte. A short write is retried, so that the failure behind it
// (a full disk, a size limit) is reported with the system's reason.
bool writeAll(QSaveFile &file, const QByteArray &bytes)
{
    qint64 done = 0;
    while (done < bytes.size()) {
        const qint64 written = file.write(bytes.constData() + done, bytes.size() - done);
        if (written <= 0)
            return false;
        done += written;
    }
    return true;
}

void notifyUser(const char *text, const QString &details = QString())
{
    CDBC::notify(QString::fromUtf8(DbcNotes::Title), QString::fromUtf8(text), details);
}

// One member line: "    unsigned char NAME[PART]:WIDTH;" and the line end,
// put together on the stack and appended at once. A negative part means the
// member is not numbered.
void appendMember(QByteArray &out, const MemberName &name, int part, int width)
{
    static const char prefix[] = "    unsigned char ";
    char line[sizeof prefix + sizeof name.bytes + 32];
    char *at = line;
    std::memcpy(at, prefix, sizeof prefix - 1);
    at += sizeof prefix - 1;
    std::memcpy(at, name.bytes, size_t(name.length));
    at += name.length;
    if (part >= 0)
        at = putDecimal(at, quint32(part));
    *at++ = ':';
    at = putDecimal(at, quint32(width));
    *at++ = ';';
    *at++ = '\r';
    *at++ = '\n';
    out.append(line, int(at - line));
}

// The member lines of one message, in the order of the bit walk.
void appendMembers(QByteArray &out, const CanMsgInfo &msg)
{
    BitWalk::walk(msg, [&out](const MemberName &name, int part, int width, const CanSignalInfo *) {
        appendMember(out, name, part, width);
    });
}

void appendMessage(QByteArray &out, const CanMsgInfo &msg)
{
    const QByteArray name(msg.msgName, int(qstrnlen(msg.msgName, DbcLimits::NameSize)));

    appendLiteral(out, "/*\r\nMessage Name:");
    out.append(name);
    // The identifier as its 32-bit pattern, lower-case hex without leading zeros.
    appendLiteral(out, "\r\nMessage ID:0x");
    out.append(QByteArray::number(quint32(msg.msgId), 16));
    appendLiteral(out, "\r\n*/\r\ntypedef struct\r\n{\r\n");
    appendMembers(out, msg);
    // The closing line, a line holding a lone CR, and an empty line.
    appendLiteral(out, " }");
    out.append(name);
    appendLiteral(out, "_Type;\r\n\r\r\n\r\n");
}

} // namespace

// Makes `dirPath` exist and current, checks that `fileName` can be replaced
// there, and returns to the previous working directory. The file itself is not
// touched: the writer replaces it in one step. On a failed check the working
// directory is left at the output directory.
bool CDBC::prepareOutputFile(QString dirPath, QString fileName)
{
    const QString previousDir = QDir::currentPath();

    if (dirPath.isEmpty()) {
        DBC_DEBUG() << "output directory is empty";
        setFailure(dirPath, QStringLiteral("no output directory"));
        return false;
    }
    const QFileInfo dirInfo(dirPath);
    if (!dirInfo.exists()) {
        DBC_DEBUG() << "不存在该路径";
        if (!QDir().mkpath(dirPath)) {
            DBC_DEBUG() << "cannot create output directory" << dirPath;
            setFailure(dirPath, QStringLiteral("cannot create the directory"));
            return false;
        }
    } else if (!dirInfo.isDir()) {
        DBC_DEBUG() << "output path is not a directory" << dirPath;
        setFailure(dirPath, QStringLiteral("not a directory"));
        return false;
    }

    if (!QDir::setCurrent(dirPath)) {
        DBC_DEBUG() << "cannot change into output directory" << dirPath;
        setFailure(dirPath, QStringLiteral("cannot change into the directory"));
        return false;
    }
    DBC_DEBUG() << QDir::currentPath();

    if (QFile::exists(fileName))
        DBC_DEBUG() << "文件存在";

    // Opening a save file creates its temporary file beside the header; that
    // is all the writer needs, so the open is cancelled and leaves nothing.
    QSaveFile file(fileName);
    const bool isDir = QFileInfo(fileName).isDir();
    if (isDir || !file.open(QIODevice::WriteOnly)) {
        const QString reason = isDir ? QStringLiteral("is a directory") : file.errorString();
        DBC_DEBUG() << "打开失败" << reason;
        setFailure(QDir::current().absoluteFilePath(fileName), reason);
        notifyUser(DbcNotes::OutputNotOpened);
        return false;
    }
    file.cancelWriting();

    QDir::setCurrent(previousDir);
    DBC_DEBUG() << QDir::currentPath();
    return true;
}

QByteArray CDBC::buildStructHeader(const CanMsgInfo *table, int count)
{
    QByteArray out;
    if (table == nullptr)
        return out;
    // About 40 bytes per member line and 120 per message around them.
    int members = 0;
    for (int i = 0; i < count; ++i)
        members += qMin<int>(table[i].signalCnt, DbcLimits::MaxSignals) + 8;
    out.reserve(count * 120 + members * 40);
    for (int i = 0; i < count; ++i)
        appendMessage(out, table[i]);
    return out;
}

// Writes the header as raw bytes, so that the CR LF line ends are exactly
// those of buildStructHeader() on every platform. The bytes go to a temporary
// file beside the header, which replaces the old header only once every byte
// is written, flushed and closed: whatever fails, or kills the process, the
// header is either the old one or the complete new one.
bool CDBC::writeStructHeader(CanMsgInfo *table, int count, QString outputDir)
{
    return writeHeader(table, count, outputDir, QString());
}

bool CDBC::writeHeader(const CanMsgInfo *table, int count, const QString &outputDir,
                       const QString &successDetails)
{
    const DebugLog::Batch batch;
    const QString fileName = QString::fromLatin1(HeaderFileName);
    if (!prepareOutputFile(outputDir, fileName)) {
        notifyUser(DbcNotes::HeaderNotWritten);
        return false;
    }

    const QByteArray bytes = buildStructHeader(table, count);
    QSaveFile file(QDir(outputDir).absoluteFilePath(fileName));
    // Unbuffered, so that a failing write (a full disk) is seen by the write
    // itself: a buffered save file would lose that error on its way to commit().
    const bool ok = file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) &&
                    writeAll(file, bytes) && file.commit();
    if (!ok) {
        QString reason = file.errorString();
#ifdef Q_OS_WIN
        if (heldOpenElsewhere(file.fileName()))
            reason = QStringLiteral("held open by another program, which does not let it be "
                                    "replaced (%1)")
                         .arg(reason);
#endif
        DBC_DEBUG() << "write failed" << reason;
        setFailure(file.fileName(), reason);
        notifyUser(DbcNotes::HeaderNotWritten);
        return false;
    }
    notifyUser(DbcNotes::HeaderWritten, successDetails);
    return true;
}
