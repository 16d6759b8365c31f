// SPDX-License-Identifier: MIT
// libFuzzer target: arbitrary bytes as a DBC file, through the whole engine.
//
// Each input is converted as the window converts a file: read, clear and flip,
// then the header is written into a temporary directory, with the notes
// recorded instead of shown. A few raw values are then packed into signals
// named in the table. Besides crashes, sanitizer reports, slow inputs and
// growing memory, the target stops on a broken promise of the engine:
//  - a successful read leaves a table within its limits, every name ended by
//    its NUL;
//  - a conversion shows exactly one note; after a successful read the header
//    holds exactly the bytes the table gives, after a failed one the header of
//    the previous conversion is left as it was;
//  - the reader's hand-written matchers give the same table as a literal
//    reading, pattern by pattern through regexCaptureAll: inputs up to 4 KB
//    are read that way too (some patterns take time quadratic in a line's
//    length, so larger inputs would only measure that). This comparison is
//    the guard that the matchers equal the fixed patterns. The literal
//    reading decodes the input with a text stream, so it also guards the
//    reader's own decoding.
#include "dbcnotes.h"
#include "qtcompat.h"
#include <quarvel/cdbc.h>

#include <QDir>
#include <QFile>
#include <QPair>
#include <QTemporaryDir>
#include <QTextStream>
#include <QVector>

#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace
{

void dropMessage(QtMsgType, const QMessageLogContext &, const QString &) {}

[[noreturn]] void fail(const char *what)
{
    std::fprintf(stderr, "fuzz_dbc: %s\n", what);
    std::abort();
}

void check(bool ok, const char *what)
{
    if (!ok)
        fail(what);
}

struct FuzzEnvironment {
    FuzzEnvironment()
    {
        qInstallMessageHandler(dropMessage);
        CDBC::setNotifier([this](const QString &title, const QString &text) {
            notes.append({title, text});
        });
        check(dir.isValid(), "cannot create the temporary directory");
        outDir = dir.filePath(QStringLiteral("out"));
        check(QDir().mkpath(outDir), "cannot create the output directory");
        header = outDir + QStringLiteral("/dbc_2_struct.h");
    }
    QTemporaryDir dir;
    QString outDir;
    QString header;
    QVector<QPair<QString, QString>> notes;
};

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    check(file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
              file.write(bytes) == bytes.size(),
          "cannot write a file in the temporary directory");
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    check(file.open(QIODevice::ReadOnly), "cannot read back a file");
    return file.readAll();
}

bool nameEnded(const char (&name)[DbcLimits::NameSize])
{
    return std::memchr(name, 0, sizeof name) != nullptr;
}

void checkTable(const CDBC &engine)
{
    check(engine.msgCnt >= 0 && engine.msgCnt <= DbcLimits::MaxMessages, "message count");
    check(engine.msgCnt == 0 || engine.msgTable != nullptr, "table missing");
    for (int m = 0; m < engine.msgCnt; ++m) {
        const CanMsgInfo &msg = engine.msgTable[m];
        check(nameEnded(msg.msgName), "message name without its NUL");
        check(msg.signalCnt <= DbcLimits::MaxSignals, "signal count");
        for (int s = 0; s < msg.signalCnt; ++s)
            check(nameEnded(msg.signalInfo[s].signalName), "signal name without its NUL");
    }
}

// Reads `bytes` as a DBC file into `engine`; returns readDbc's result.
int readInto(CDBC &engine, const QString &path, const QByteArray &bytes)
{
    writeFile(path, bytes);
    return engine.readDbc(&engine.msgTable, &engine.msgCnt, path);
}

// The literal reading: each fixed pattern run through regexCaptureAll, with
// the reader's limits and conversions. Returns the read's result code and
// fills `table` on success.
QStringList captureAll(const QString &pattern, const QString &text)
{
    static CDBC engine;
    std::vector<QString> results(size_t(text.size()) + 2);
    int count = -1;
    check(engine.regexCaptureAll(pattern, text, results.data(), &count) == 0, "pattern rejected");
    return QStringList(results.begin(), results.begin() + count);
}

QString firstMatch(const QString &pattern, const QString &text)
{
    const QStringList all = captureAll(pattern, text);
    return all.isEmpty() ? QString() : all.first();
}

qint32 literalIdentifier(const QString &text)
{
    bool ok = false;
    const qulonglong value = text.toULongLong(&ok, 10);
    if (!ok || value > 0xFFFFFFFFull)
        return 0;
    return value <= 0x7FFFFFFFull ? qint32(value) : qint32(value & 0x1FFFFFFFull);
}

void literalName(const QString &name, char (&dest)[DbcLimits::NameSize])
{
    const QByteArray bytes = name.toLocal8Bit().left(DbcLimits::MaxNameLength);
    std::memcpy(dest, bytes.constData(), size_t(bytes.size()) + 1);
}

quint8 literalLow8(const QString &text)
{
    return quint8(text.toInt() & 0xFF);
}

// A start bit or a length: digits, so a text beyond the 32-bit range is large.
// What the record cannot hold is kept out of the walk: start bit 255, length 0.
int literalBitNumber(const QString &digits)
{
    bool ok = false;
    const int value = digits.toInt(&ok);
    return ok || digits.isEmpty() ? value : INT_MAX;
}

void literalSignals(const QString &block, CanMsgInfo &msg)
{
    const QStringList lines = captureAll("SG_.*", block.mid(block.indexOf('\n') + 1));
    msg.signalCnt = quint8(qMin(lines.size(), DbcLimits::MaxSignals));
    for (int j = 0; j < msg.signalCnt; ++j) {
        const QString &line = lines.at(j);
        CanSignalInfo &sig = msg.signalInfo[j];
        literalName(firstMatch("(?<=SG_\\s)\\w+(?=\\s)", line), sig.signalName);
        const int startBit = literalBitNumber(firstMatch("(?<=\\s:\\s)\\d+(?=\\|)", line));
        const int bitLength = literalBitNumber(firstMatch("(?<=\\|)\\d+(?=@)", line));
        sig.bitStart = quint8(startBit > 255 ? 255 : startBit);
        sig.bitLength = quint8(bitLength > 255 ? 0 : bitLength);
        sig.factor = firstMatch("(?<= \\()[^,\\n]*(?=,)", line).toFloat();
        sig.offset = firstMatch("(?<=,).*(?=\\))", line).toFloat();
        const QString range = firstMatch("(?<=\\[).*(?=\\])", line);
        sig.minimum = firstMatch("^.*(?=\\|)", range).toFloat();
        sig.maximum = firstMatch("(?<=\\|).*", range).toFloat();
    }
}

int literalRead(const QString &text, std::vector<CanMsgInfo> *table)
{
    const QStringList blocks = captureAll("(?<![^\\n])BO_ .*\\n(?:[ \\t]+SG_.*\\n)*", text);
    if (blocks.size() > DbcLimits::MaxMessages)
        return -1;
    table->assign(size_t(blocks.size()), CanMsgInfo());
    for (int i = 0; i < blocks.size(); ++i) {
        const QString &block = blocks.at(i);
        CanMsgInfo &msg = (*table)[size_t(i)];
        literalName(firstMatch("(?<=\\s)\\w+(?=:)", block), msg.msgName);
        msg.msgId = literalIdentifier(firstMatch("(?<=BO_\\s)\\d+(?=\\s)", block));
        msg.msgDlc = literalLow8(firstMatch("(?<=:\\s)\\d+(?=\\s)", block));
        literalSignals(block, msg);
    }
    for (const QString &attribute : captureAll("(?<=BA_ \"GenMsgCycleTime\" ).*", text)) {
        const qint32 id = literalIdentifier(firstMatch("(?<=BO_\\s)\\d+(?=\\s)", attribute));
        for (CanMsgInfo &msg : *table) {
            if (msg.msgId == id)
                msg.cycleTime = firstMatch("(?<=\\s)\\d+(?=;)", attribute).toInt();
        }
    }
    return 0;
}

void compareWithLiteralReading(FuzzEnvironment &env, const QByteArray &input)
{
    if (input.size() > 4096)
        return;
    QByteArray bytes = input;
    QTextStream stream(&bytes, QIODevice::ReadOnly);
    QtCompat::decodeLocal8BitUnlessMarked(stream);
    std::vector<CanMsgInfo> expected;
    const int expectedRc = literalRead(stream.readAll(), &expected);
    CDBC engine;
    const int rc = readInto(engine, env.dir.filePath(QStringLiteral("same.dbc")), input);
    check(rc == expectedRc, "matchers and patterns: read results differ");
    if (rc != 0)
        return;
    check(engine.msgCnt == int(expected.size()), "matchers and patterns: message counts differ");
    check(engine.msgCnt == 0 || std::memcmp(engine.msgTable, expected.data(),
                                            sizeof(CanMsgInfo) * expected.size()) == 0,
          "matchers and patterns: records differ");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static FuzzEnvironment env;
    static const QByteArray previousHeader("/* previous conversion */\r\n");
    const QByteArray input(reinterpret_cast<const char *>(data), int(size));
    const QString dbcPath = env.dir.filePath(QStringLiteral("input.dbc"));

    writeFile(dbcPath, input);
    writeFile(env.header, previousHeader);
    env.notes.clear();
    CDBC engine;
    engine.transDbc(dbcPath, env.outDir);

    check(env.notes.size() == 1, "a conversion shows exactly one note");
    const QString note = env.notes.constFirst().second;
    const QByteArray written = readFile(env.header);
    if (engine.lastReadError() == CDBC::ReadError::None) {
        checkTable(engine);
        check(note == QString::fromUtf8(DbcNotes::HeaderWritten), "success note");
        check(written == CDBC::buildStructHeader(engine.msgTable, engine.msgCnt),
              "header differs from its table");
        // Both bit orders of the frame form hold the same members, byte by
        // byte in reverse; each struct is 8 bytes of members. The findings and
        // the frame check come from the same walks.
        DbcHeaderForm frames;
        frames.frames = true;
        const QByteArray lsbFirst =
            CDBC::buildStructHeader(engine.msgTable, engine.msgCnt, frames, engine.byteOrders());
        frames.bitOrder = DbcBitOrder::MsbFirst;
        const QByteArray msbFirst =
            CDBC::buildStructHeader(engine.msgTable, engine.msgCnt, frames, engine.byteOrders());
        check(lsbFirst.count('\n') == msbFirst.count('\n') &&
                  lsbFirst.count(':') == msbFirst.count(':'),
              "the frame form's bit orders differ in their members");
        check(lsbFirst.count(':') >= 8 * engine.msgCnt, "a frame struct lost a byte");
        engine.findings(frames);
        check(CDBC::buildLayoutCheck(engine.msgTable, engine.msgCnt, frames, engine.byteOrders())
                  .startsWith("/*"),
              "frame check not written");
        check(CDBC::buildLayoutCheck(engine.msgTable, engine.msgCnt).startsWith("/*"),
              "layout check not written");
    } else {
        check(engine.lastReadError() == CDBC::ReadError::TooManyMessages,
              "an existing file failed to read");
        check(note == QString::fromUtf8(DbcNotes::TooManyMessages), "failure note");
        check(written == previousHeader, "a failed read touched the old header");
    }

    // Pack into the first signals of the first messages, with values derived
    // from the input so the packing sees wide and narrow values alike.
    std::uint32_t value = 0;
    std::memcpy(&value, data, size < sizeof value ? size : sizeof value);
    int packed = 0;
    for (int m = 0; m < engine.msgCnt && packed < 4; ++m) {
        const CanMsgInfo &msg = engine.msgTable[m];
        for (int s = 0; s < msg.signalCnt && packed < 4; ++s, ++packed)
            engine.canInfoTransferData(QString::fromLocal8Bit(msg.signalInfo[s].signalName),
                                       value ^ std::uint32_t(packed * 0x9E3779B9u));
    }
    engine.canInfoTransferData(QStringLiteral("no such signal"), value);

    compareWithLiteralReading(env, input);
    return 0;
}
