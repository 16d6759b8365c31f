#include "cdbc.h"

#include "dbcnotes.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cstring>

namespace
{

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

void notifyUser(const char *text)
{
    CDBC::notify(QString::fromUtf8(DbcNotes::Title), QString::fromUtf8(text));
}

// A name as it is written into member lines.
struct MemberName {
    char bytes[2 * DbcLimits::NameSize];
    int length;
};

// A name array's bytes, each taken as a Latin-1 character, in UTF-8: bytes
// below 0x80 stay as they are, the others become two bytes.
MemberName latin1BytesAsUtf8(const char (&name)[DbcLimits::NameSize])
{
    MemberName utf8;
    utf8.length = 0;
    for (int i = 0; i < DbcLimits::NameSize && name[i] != '\0'; ++i) {
        const uchar byte = uchar(name[i]);
        if (byte < 0x80) {
            utf8.bytes[utf8.length++] = char(byte);
        } else {
            utf8.bytes[utf8.length++] = char(0xC0 | (byte >> 6));
            utf8.bytes[utf8.length++] = char(0x80 | (byte & 0x3F));
        }
    }
    return utf8;
}

// Writes `value` in decimal at `at`; returns the position after it.
char *putDecimal(char *at, quint32 value)
{
    char digits[10];
    int count = 0;
    do {
        digits[count++] = char('0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (count > 0)
        *at++ = digits[--count];
    return at;
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

void appendReserve(QByteArray &out, int number, int width)
{
    static const MemberName reserveName = {{'r', 'e', 's', 'e', 'v', '_'}, 6};
    appendMember(out, reserveName, number, width);
}

// First slot that starts at `position` and covers at least one bit. Slots of
// length 0 (such as the nameless one a message line containing "SG_" yields)
// never count: they would keep the walk where it is, and they must not hide
// a real signal that starts at the same bit in a later slot.
const CanSignalInfo *signalStartingAt(const CanMsgInfo &msg, int position)
{
    const int slotsInUse = qMin<int>(msg.signalCnt, DbcLimits::MaxSignals);
    for (int s = 0; s < slotsInUse; ++s) {
        const CanSignalInfo &sig = msg.signalInfo[s];
        if (sig.bitStart == position && sig.bitLength != 0)
            return &sig;
    }
    return nullptr;
}

// The signal's member lines: one whole member when it ends inside the byte of
// its start bit, otherwise numbered parts that never cross a byte boundary.
void appendSignal(QByteArray &out, const CanSignalInfo &sig)
{
    // Names are stored as 8-bit bytes; each byte is taken as a Latin-1
    // character and the line is written in UTF-8.
    const MemberName name = latin1BytesAsUtf8(sig.signalName);
    const int start = sig.bitStart;
    const int length = sig.bitLength;
    const int byteEnd = start / 8 * 8 + 8;

    if (start + length <= byteEnd) {
        appendMember(out, name, -1, length);
        return;
    }
    int part = 0;
    appendMember(out, name, part++, byteEnd - start);
    int remaining = length - (byteEnd - start);
    while (remaining > 0) {
        const int width = qMin(remaining, 8);
        appendMember(out, name, part++, width);
        remaining -= width;
    }
}

// Walks bit positions 0 to 63 of one message. A signal is written where its
// start bit is reached and the walk jumps past it; runs of bits at which no
// signal starts become reserve members, closed at every byte boundary.
// A signal running past bit 63 is written in full and ends the walk.
void appendMembers(QByteArray &out, const CanMsgInfo &msg)
{
    int position = 0;
    int gap = 0;
    int reserve = 0;
    while (position < DbcLimits::PayloadBits) {
        if (const CanSignalInfo *sig = signalStartingAt(msg, position)) {
            if (gap > 0)
                appendReserve(out, reserve++, gap);
            appendSignal(out, *sig);
            position += sig->bitLength;
            gap = 0;
        } else {
            ++position;
            ++gap;
            if (position % 8 == 0) {
                appendReserve(out, reserve++, gap);
                gap = 0;
            }
        }
    }
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
        qDebug() << "output directory is empty";
        setFailure(dirPath, QStringLiteral("no output directory"));
        return false;
    }
    const QFileInfo dirInfo(dirPath);
    if (!dirInfo.exists()) {
        qDebug() << "不存在该路径";
        if (!QDir().mkpath(dirPath)) {
            qDebug() << "cannot create output directory" << dirPath;
            setFailure(dirPath, QStringLiteral("cannot create the directory"));
            return false;
        }
    } else if (!dirInfo.isDir()) {
        qDebug() << "output path is not a directory" << dirPath;
        setFailure(dirPath, QStringLiteral("not a directory"));
        return false;
    }

    if (!QDir::setCurrent(dirPath)) {
        qDebug() << "cannot change into output directory" << dirPath;
        setFailure(dirPath, QStringLiteral("cannot change into the directory"));
        return false;
    }
    qDebug() << QDir::currentPath();

    if (QFile::exists(fileName))
        qDebug() << "文件存在";

    // Opening a save file creates its temporary file beside the header; that
    // is all the writer needs, so the open is cancelled and leaves nothing.
    QSaveFile file(fileName);
    const bool isDir = QFileInfo(fileName).isDir();
    if (isDir || !file.open(QIODevice::WriteOnly)) {
        const QString reason = isDir ? QStringLiteral("is a directory") : file.errorString();
        qDebug() << "打开失败" << reason;
        setFailure(QDir::current().absoluteFilePath(fileName), reason);
        notifyUser(DbcNotes::OutputNotOpened);
        return false;
    }
    file.cancelWriting();

    QDir::setCurrent(previousDir);
    qDebug() << QDir::currentPath();
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
        qDebug() << "write failed" << file.errorString();
        setFailure(file.fileName(), file.errorString());
        notifyUser(DbcNotes::HeaderNotWritten);
        return false;
    }
    notifyUser(DbcNotes::HeaderWritten);
    return true;
}
