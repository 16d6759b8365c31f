// SPDX-License-Identifier: MIT
// Benchmarks of the DBC reader alone and of the whole conversion (read, clear,
// flip, write the header into a temporary directory, notes silenced).
//
// The engine's debug lines (about eight per signal) are switched off through
// the logging category filter, as quarvel-cli does without --verbose: printing
// them is output work, not engine work, and the reader then skips building
// them. A read that fails (more than 300 messages) is labelled as such.
//
// The conversion of the largest file is timed once more with its debug lines
// on, written to a file by a handler that writes and flushes each message as
// Qt's default handler does: line by line ("unbatched"), and collected by the
// batching handler the window and quarvel-cli --verbose install ("batched").
//
// "bench_dbc --write-inputs DIR" writes the generated files into DIR and
// exits, for timing quarvel-cli on them (bench/time_cli.py).
//
// Inputs:
//   max      300 messages x 64 one-bit signals with a cycle time each (~890 KB),
//            generated here: the largest file the engine accepts.
//   typical  100 messages of 8 to 16 multi-bit signals, Motorola and Intel
//            mixed, with factors, offsets and ranges, generated here.
//   corpus/  the three largest files of the real-world corpus, when present.
#include "debuglog.h"
#include <quarvel/cdbc.h>

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace
{

QTemporaryDir &workDir()
{
    static QTemporaryDir dir;
    return dir;
}

QString writeInput(const QString &name, const QByteArray &text)
{
    const QString path = workDir().filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

QByteArray dbcHeader()
{
    return "VERSION \"\"\n\nNS_ :\n    CM_\n    BA_DEF_\n    BA_\n\nBS_:\n\nBU_: ECU1 ECU2\n";
}

QByteArray maxSizeDbc()
{
    QByteArray text = dbcHeader();
    QByteArray attributes;
    for (int m = 0; m < 300; ++m) {
        const QByteArray id = QByteArray::number(256 + m);
        text += "\nBO_ " + id + " Message_" + QByteArray::number(m) + ": 8 ECU1\n";
        for (int s = 0; s < 64; ++s)
            text += " SG_ Sig_" + QByteArray::number(m) + "_" + QByteArray::number(s) + " : " +
                    QByteArray::number(s) + "|1@1+ (1,0) [0|1] \"\" ECU2\n";
        attributes +=
            "BA_ \"GenMsgCycleTime\" BO_ " + id + " " + QByteArray::number(10 + m % 90) + ";\n";
    }
    return text + "\nBA_DEF_ BO_ \"GenMsgCycleTime\" INT 0 65535;\n" + attributes;
}

QByteArray typicalDbc()
{
    std::mt19937 random(20261206);
    QByteArray text = dbcHeader();
    QByteArray attributes;
    for (int m = 0; m < 100; ++m) {
        const QByteArray id = QByteArray::number(0x100 + 3 * m);
        text += "\nBO_ " + id + " Unit" + QByteArray::number(m) + "_Frame: 8 ECU1\n";
        const int signalCount = 8 + int(random() % 9);
        int bit = 0;
        for (int s = 0; s < signalCount && bit < 64; ++s) {
            const int length = std::min(1 + int(random() % 12), 64 - bit);
            const bool motorola = random() % 2;
            const int start = motorola ? (bit / 8) * 8 + 7 - bit % 8 : bit;
            text += " SG_ Unit" + QByteArray::number(m) + "_Value" + QByteArray::number(s) + " : " +
                    QByteArray::number(start) + "|" + QByteArray::number(length) +
                    (motorola ? "@0" : "@1") + (random() % 3 ? "+" : "-") + " (0.125,-" +
                    QByteArray::number(int(random() % 100)) + ") [-100|" +
                    QByteArray::number(int(random() % 10000)) + ".5] \"unit\" ECU2\n";
            bit += length;
        }
        attributes += "BA_ \"GenMsgCycleTime\" BO_ " + id + " " +
                      QByteArray::number(10 * (1 + m % 10)) + ";\n";
    }
    return text + "\nBA_DEF_ BO_ \"GenMsgCycleTime\" INT 0 65535;\n" + attributes;
}

void readOnly(benchmark::State &state, const QString &path)
{
    int result = 0;
    for (auto _ : state) {
        CDBC engine;
        result = engine.readDbc(&engine.msgTable, &engine.msgCnt, path);
        benchmark::DoNotOptimize(result);
        benchmark::DoNotOptimize(engine.msgCnt);
    }
    if (result != 0)
        state.SetLabel("read fails");
    state.SetBytesProcessed(int64_t(state.iterations()) * QFileInfo(path).size());
}

void wholeConversion(benchmark::State &state, const QString &path)
{
    const QString outDir = workDir().filePath(QStringLiteral("out"));
    CDBC::ReadError error = CDBC::ReadError::None;
    for (auto _ : state) {
        CDBC engine;
        engine.transDbc(path, outDir);
        benchmark::DoNotOptimize(engine.msgCnt);
        error = engine.lastReadError();
    }
    if (error != CDBC::ReadError::None)
        state.SetLabel("read fails");
    state.SetBytesProcessed(int64_t(state.iterations()) * QFileInfo(path).size());
}

// Where the debug lines go in the debug-line benchmarks: a file, written and
// flushed message by message as Qt's default handler writes stderr.
std::FILE *debugFile = nullptr;

void writeToDebugFile(QtMsgType, const QMessageLogContext &, const QString &message)
{
    std::fprintf(debugFile, "%s\n", message.toLocal8Bit().constData());
    std::fflush(debugFile);
}

void conversionWithDebugLines(benchmark::State &state, const QString &path, bool batched)
{
    debugFile = std::fopen(qPrintable(workDir().filePath(QStringLiteral("debug.log"))), "w");
    if (debugFile == nullptr)
        qFatal("cannot open the debug log");
    CDBC::setDebugLines(true);
    const QtMessageHandler previous = qInstallMessageHandler(writeToDebugFile);
    if (batched)
        DebugLog::install();
    wholeConversion(state, path);
    if (batched)
        DebugLog::uninstall();
    qInstallMessageHandler(previous);
    CDBC::setDebugLines(false);
    state.counters["log_bytes_per_conversion"] =
        double(std::ftell(debugFile)) / double(state.iterations());
    std::fclose(debugFile);
}

void registerInput(const std::string &name, const QString &path)
{
    benchmark::RegisterBenchmark(("readDbc/" + name).c_str(), readOnly, path)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("transDbc/" + name).c_str(), wholeConversion, path)
        ->Unit(benchmark::kMillisecond);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc == 3 && qstrcmp(argv[1], "--write-inputs") == 0) {
        const QDir dir(QString::fromLocal8Bit(argv[2]));
        if (!dir.mkpath(QStringLiteral(".")))
            qFatal("cannot create %s", argv[2]);
        for (const auto &input : {qMakePair(QStringLiteral("max.dbc"), maxSizeDbc()),
                                  qMakePair(QStringLiteral("typical.dbc"), typicalDbc())}) {
            QFile file(dir.filePath(input.first));
            if (!file.open(QIODevice::WriteOnly) || file.write(input.second) != input.second.size())
                qFatal("cannot write %s", qPrintable(file.fileName()));
            std::printf("%s\n", qPrintable(file.fileName()));
        }
        return 0;
    }

    // The engine's debug lines are off, as in quarvel-cli without --verbose.
    CDBC::setDebugLines(false);
    CDBC::setNotifier([](const QString &, const QString &) {});
    if (!workDir().isValid())
        qFatal("no temporary directory");

    const QString max = writeInput(QStringLiteral("max.dbc"), maxSizeDbc());
    registerInput("max", max);
    for (const bool batched : {false, true})
        benchmark::RegisterBenchmark(batched ? "transDbc/max/debug-lines-batched"
                                             : "transDbc/max/debug-lines-unbatched",
                                     conversionWithDebugLines, max, batched)
            ->Unit(benchmark::kMillisecond);
    registerInput("typical", writeInput(QStringLiteral("typical.dbc"), typicalDbc()));

    QDir corpus(QStringLiteral(QUARVEL_CORPUS_DIR));
    const QFileInfoList largest =
        corpus.entryInfoList({QStringLiteral("*.dbc")}, QDir::Files, QDir::Size).mid(0, 3);
    if (largest.isEmpty())
        std::fprintf(stderr, "corpus benchmarks skipped: %s not found\n", QUARVEL_CORPUS_DIR);
    for (const QFileInfo &info : largest)
        registerInput("corpus/" + info.fileName().toStdString(), info.absoluteFilePath());

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
