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
#include <memory>
#include <vector>

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

using BitWalk::appendLiteral;
using BitWalk::MemberName;
using BitWalk::putDecimal;

const char *const HeaderFileName = "dbc_2_struct.h";
const char *const CheckFileName = "dbc_2_struct_check.c";

// The header is built as raw bytes, so its CR LF line ends are spelled out
// and come out the same on every platform.

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

void appendMessage(QByteArray &out, const CanMsgInfo &msg, const BitWalk::Form &form)
{
    const QByteArray name = BitWalk::messageName(msg.msgName);

    appendLiteral(out, "/*\r\nMessage Name:");
    out.append(name);
    // The identifier as its 32-bit pattern, lower-case hex without leading zeros.
    appendLiteral(out, "\r\nMessage ID:0x");
    out.append(QByteArray::number(quint32(msg.msgId), 16));
    appendLiteral(out, "\r\n*/\r\ntypedef struct\r\n{\r\n");
    BitWalk::walk(msg, form,
                  [&out](const MemberName &name, int part, int width, const CanSignalInfo *, int) {
                      appendMember(out, name, part, width);
                  });
    // The closing line, a line holding a lone CR, and an empty line.
    appendLiteral(out, " }");
    out.append(name);
    appendLiteral(out, "_Type;\r\n\r\r\n\r\n");
}

// The frame form says so at its top; the default form begins with its first
// message, as it always has.
void appendFormComment(QByteArray &out, const DbcHeaderForm &form)
{
    if (!form.frames)
        return;
    appendLiteral(
        out, "/*\r\n * dbc_2_struct.h in the frame form, for compilers that fill each byte\r\n");
    if (form.bitOrder == DbcBitOrder::MsbFirst)
        appendLiteral(out, " * from bit 7 down (bit order msb-first).\r\n");
    else
        appendLiteral(out, " * from bit 0 up (bit order lsb-first).\r\n");
    appendLiteral(out,
                  " * Each signal lies at the bits of the frame the DBC file gives it, in its\r\n"
                  " * own byte order; part k of a signal lies in the k-th byte it touches.\r\n"
                  " */\r\n"
                  "\r\n");
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

QByteArray CDBC::buildStructHeader(const CanMsgInfo *table, int count, const DbcHeaderForm &form,
                                   const DbcByteOrders &byteOrders)
{
    QByteArray out;
    if (table == nullptr)
        return out;
    appendFormComment(out, form);
    // About 40 bytes per member line and 120 per message around them.
    int members = 0;
    for (int i = 0; i < count; ++i)
        members += qMin<int>(table[i].signalCnt, DbcLimits::MaxSignals) + 8;
    out.reserve(count * 120 + members * 40);
    for (int i = 0; i < count; ++i)
        appendMessage(out, table[i], BitWalk::formOf(form, byteOrders, i));
    return out;
}

// Writes the header as raw bytes, so that the CR LF line ends are exactly
// those of buildStructHeader() on every platform. The bytes go to a temporary
// file beside the header, which replaces the old header only once every byte
// is written, flushed and closed: whatever fails, or kills the process, the
// header is either the old one or the complete new one.
bool CDBC::writeStructHeader(CanMsgInfo *table, int count, QString outputDir,
                             const DbcHeaderForm &form, const DbcByteOrders &byteOrders)
{
    return writeHeader(table, count, outputDir, QString(), form, byteOrders);
}

bool CDBC::writeHeader(const CanMsgInfo *table, int count, const QString &outputDir,
                       const QString &successDetails, const DbcHeaderForm &form,
                       const DbcByteOrders &givenOrders)
{
    const DbcByteOrders orders =
        givenOrders.isEmpty() && table == msgTable ? byteOrders() : givenOrders;
    const DebugLog::Batch batch;
    // The header, and with it its layout check: each goes to a temporary file
    // of its own, and only when both are complete does either replace the
    // old file, the check first and the header last.
    struct Output {
        QString name;
        QByteArray bytes;
    };
    QVector<Output> outputs;
    if (form.layoutCheck)
        outputs.append(
            {QString::fromLatin1(CheckFileName), buildLayoutCheck(table, count, form, orders)});
    outputs.append(
        {QString::fromLatin1(HeaderFileName), buildStructHeader(table, count, form, orders)});
    for (const Output &output : outputs) {
        if (!prepareOutputFile(outputDir, output.name)) {
            notifyUser(DbcNotes::HeaderNotWritten);
            return false;
        }
    }

    std::vector<std::unique_ptr<QSaveFile>> files;
    QSaveFile *failed = nullptr;
    for (const Output &output : outputs) {
        files.push_back(std::make_unique<QSaveFile>(QDir(outputDir).absoluteFilePath(output.name)));
        QSaveFile &file = *files.back();
        // Unbuffered, so that a failing write (a full disk) is seen by the write
        // itself: a buffered save file would lose that error on its way to commit().
        if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) ||
            !writeAll(file, output.bytes)) {
            failed = &file;
            break;
        }
    }
    for (size_t i = 0; !failed && i < files.size(); ++i) {
        if (!files[i]->commit())
            failed = files[i].get();
    }
    if (failed) {
        QString reason = failed->errorString();
#ifdef Q_OS_WIN
        if (heldOpenElsewhere(failed->fileName()))
            reason = QStringLiteral("held open by another program, which does not let it be "
                                    "replaced (%1)")
                         .arg(reason);
#endif
        DBC_DEBUG() << "write failed" << reason;
        setFailure(failed->fileName(), reason);
        notifyUser(DbcNotes::HeaderNotWritten);
        return false;
    }
    notifyUser(DbcNotes::HeaderWritten, successDetails);
    return true;
}
