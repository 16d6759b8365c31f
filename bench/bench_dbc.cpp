// Benchmarks of the DBC reader alone and of the whole conversion (read, clear,
// flip, write the header into a temporary directory, notes silenced).
//
// Inputs:
//   max      300 messages x 64 one-bit signals with a cycle time each (~830 KB),
//            generated here: the largest file the engine accepts.
//   typical  100 messages of 8 to 16 multi-bit signals, Motorola and Intel
//            mixed, with factors, offsets and ranges, generated here.
//   corpus/  the three largest files of the real-world corpus, when present.
#include "cdbc.h"

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

namespace {

void dropMessage(QtMsgType, const QMessageLogContext &, const QString &) {}

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
            text += " SG_ Sig_" + QByteArray::number(m) + "_" + QByteArray::number(s) + " : "
                    + QByteArray::number(s) + "|1@1+ (1,0) [0|1] \"\" ECU2\n";
        attributes += "BA_ \"GenMsgCycleTime\" BO_ " + id + " " + QByteArray::number(10 + m % 90)
                      + ";\n";
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
            text += " SG_ Unit" + QByteArray::number(m) + "_Value" + QByteArray::number(s) + " : "
                    + QByteArray::number(start) + "|" + QByteArray::number(length)
                    + (motorola ? "@0" : "@1") + (random() % 3 ? "+" : "-") + " (0.125,-"
                    + QByteArray::number(int(random() % 100)) + ") [-100|"
                    + QByteArray::number(int(random() % 10000)) + ".5] \"unit\" ECU2\n";
            bit += length;
        }
        attributes += "BA_ \"GenMsgCycleTime\" BO_ " + id + " " + QByteArray::number(10 * (1 + m % 10))
                      + ";\n";
    }
    return text + "\nBA_DEF_ BO_ \"GenMsgCycleTime\" INT 0 65535;\n" + attributes;
}

void readOnly(benchmark::State &state, const QString &path)
{
    for (auto _ : state) {
        CDBC engine;
        benchmark::DoNotOptimize(engine.readDbc(&engine.msgTable, &engine.msgCnt, path));
        benchmark::DoNotOptimize(engine.msgCnt);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * QFileInfo(path).size());
}

void wholeConversion(benchmark::State &state, const QString &path)
{
    const QString outDir = workDir().filePath(QStringLiteral("out"));
    for (auto _ : state) {
        CDBC engine;
        engine.transDbc(path, outDir);
        benchmark::DoNotOptimize(engine.msgCnt);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * QFileInfo(path).size());
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
    qInstallMessageHandler(dropMessage);
    CDBC::setNotifier([](const QString &, const QString &) {});
    if (!workDir().isValid())
        qFatal("no temporary directory");

    registerInput("max", writeInput(QStringLiteral("max.dbc"), maxSizeDbc()));
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
