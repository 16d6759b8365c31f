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
//  - the reader's hand-written matchers give the same table as the compiled
//    patterns: inputs up to 4 KB are read a second time with the compiled
//    patterns only (some of them take time quadratic in a line's length, so
//    larger inputs would only measure that).
#include "cdbc.h"
#include "dbcnotes.h"
#include "readerinternals.h"

#include <QDir>
#include <QFile>
#include <QPair>
#include <QTemporaryDir>
#include <QVector>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

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

void compareMatchersWithPatterns(FuzzEnvironment &env, const QByteArray &input)
{
    if (input.size() > 4096)
        return;
    const QString path = env.dir.filePath(QStringLiteral("same.dbc"));
    CDBC matchers;
    CDBC compiled;
    const int rcMatchers = readInto(matchers, path, input);
    ReaderInternals::setCompiledPatternsOnly(true);
    const int rcCompiled = readInto(compiled, path, input);
    ReaderInternals::setCompiledPatternsOnly(false);
    check(rcMatchers == rcCompiled && matchers.lastReadError() == compiled.lastReadError(),
          "matchers and patterns: read results differ");
    if (rcMatchers != 0)
        return;
    check(matchers.msgCnt == compiled.msgCnt, "matchers and patterns: message counts differ");
    check(matchers.msgCnt == 0 || std::memcmp(matchers.msgTable, compiled.msgTable,
                                              sizeof(CanMsgInfo) * size_t(matchers.msgCnt)) == 0,
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

    compareMatchersWithPatterns(env, input);
    return 0;
}
