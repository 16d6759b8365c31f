#include "cdbc.h"

#include "dbcnotes.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace
{

const char *const HeaderFileName = "dbc_2_struct.h";

// Line end of the generated header. The file is written as raw bytes, so the
// CR LF pairs are spelled out and come out the same on every platform.
const char *const Eol = "\r\n";

void notifyUser(const char *text)
{
    CDBC::notify(QString::fromUtf8(DbcNotes::Title), QString::fromUtf8(text));
}

QByteArray memberLine(const QByteArray &name, int width)
{
    QByteArray line("    unsigned char ");
    line += name;
    line += ':';
    line += QByteArray::number(width);
    line += ';';
    line += Eol;
    return line;
}

QByteArray reserveLine(int number, int width)
{
    return memberLine("resev_" + QByteArray::number(number), width);
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
    const QByteArray name =
        QString::fromLatin1(sig.signalName, int(qstrnlen(sig.signalName, DbcLimits::NameSize)))
            .toUtf8();
    const int start = sig.bitStart;
    const int length = sig.bitLength;
    const int byteEnd = start / 8 * 8 + 8;

    if (start + length <= byteEnd) {
        out += memberLine(name, length);
        return;
    }
    int part = 0;
    out += memberLine(name + QByteArray::number(part++), byteEnd - start);
    int remaining = length - (byteEnd - start);
    while (remaining > 0) {
        const int width = qMin(remaining, 8);
        out += memberLine(name + QByteArray::number(part++), width);
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
                out += reserveLine(reserve++, gap);
            appendSignal(out, *sig);
            position += sig->bitLength;
            gap = 0;
        } else {
            ++position;
            ++gap;
            if (position % 8 == 0) {
                out += reserveLine(reserve++, gap);
                gap = 0;
            }
        }
    }
}

void appendMessage(QByteArray &out, const CanMsgInfo &msg)
{
    const QByteArray name(msg.msgName, int(qstrnlen(msg.msgName, DbcLimits::NameSize)));

    out += "/*";
    out += Eol;
    out += "Message Name:" + name + Eol;
    // The identifier as its 32-bit pattern, lower-case hex without leading zeros.
    out += "Message ID:0x" + QByteArray::number(quint32(msg.msgId), 16) + Eol;
    out += "*/";
    out += Eol;
    out += "typedef struct";
    out += Eol;
    out += "{";
    out += Eol;
    appendMembers(out, msg);
    // The closing line, a line holding a lone CR, and an empty line.
    out += " }" + name + "_Type;\r\n\r";
    out += "\r\n\r\n";
}

} // namespace

// Makes `dirPath` exist and current, replaces `fileName` there by an empty file,
// and returns to the previous working directory. On a failed open the working
// directory is left at the output directory.
bool CDBC::prepareOutputFile(QString dirPath, QString fileName)
{
    const QString previousDir = QDir::currentPath();

    if (dirPath.isEmpty()) {
        qDebug() << "output directory is empty";
        return false;
    }
    const QFileInfo dirInfo(dirPath);
    if (!dirInfo.exists()) {
        qDebug() << "不存在该路径";
        if (!QDir().mkpath(dirPath)) {
            qDebug() << "cannot create output directory" << dirPath;
            return false;
        }
    } else if (!dirInfo.isDir()) {
        qDebug() << "output path is not a directory" << dirPath;
        return false;
    }

    if (!QDir::setCurrent(dirPath)) {
        qDebug() << "cannot change into output directory" << dirPath;
        return false;
    }
    qDebug() << QDir::currentPath();

    if (QFile::exists(fileName)) {
        qDebug() << "文件存在";
        QFile::remove(fileName);
    }

    QFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        qDebug() << "打开失败" << file.errorString();
        notifyUser(DbcNotes::OutputNotOpened);
        return false;
    }
    file.close();

    QDir::setCurrent(previousDir);
    qDebug() << QDir::currentPath();
    return true;
}

QByteArray CDBC::buildStructHeader(const CanMsgInfo *table, int count)
{
    QByteArray out;
    if (table == nullptr)
        return out;
    for (int i = 0; i < count; ++i)
        appendMessage(out, table[i]);
    return out;
}

// Writes the header in one go, as raw bytes so that the CR LF line ends are
// exactly those of buildStructHeader() on every platform. Success is only
// reported when the open, the write and the close all worked.
void CDBC::writeStructHeader(CanMsgInfo *table, int count, QString outputDir)
{
    const QString fileName = QString::fromLatin1(HeaderFileName);
    if (!prepareOutputFile(outputDir, fileName)) {
        notifyUser(DbcNotes::HeaderNotWritten);
        return;
    }

    const QByteArray bytes = buildStructHeader(table, count);
    QFile file(outputDir + QLatin1Char('/') + fileName);
    bool ok = file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    if (ok) {
        ok = file.write(bytes) == bytes.size() && file.flush();
        file.close();
        ok = ok && file.error() == QFileDevice::NoError;
    }
    if (!ok) {
        qDebug() << "write failed" << file.errorString();
        notifyUser(DbcNotes::HeaderNotWritten);
        return;
    }
    notifyUser(DbcNotes::HeaderWritten);
}
