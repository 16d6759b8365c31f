#include "quarvelcli.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

struct CliRun
{
    int exitCode = -1;
    QString out;
    QString err;
};

CliRun runCli(const QStringList &arguments)
{
    QProcess process;
    process.start(QStringLiteral(QUARVEL_CLI_PATH), arguments);
    CliRun result;
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
        return result;
    result.exitCode = process.exitCode();
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// A DBC text with `count` one-signal messages, each preceded by a blank line.
QByteArray dbcWithMessages(int count)
{
    QByteArray text = "VERSION \"\"\n\nBU_: ECU\n";
    for (int i = 0; i < count; ++i)
        text += "\nBO_ " + QByteArray::number(i + 1) + " Msg" + QByteArray::number(i)
                + ": 8 ECU\n SG_ Sig" + QByteArray::number(i) + " : 7|8@0+ (1,0) [0|255] \"\" ECU\n";
    return text;
}

const QString successLine = QStringLiteral("NOTE: ") + QString::fromUtf8("文件已生成，请查看！");

} // namespace

class tst_Cli : public QObject
{
    Q_OBJECT

private slots:
    void parseArguments_data();
    void parseArguments();
    void convertsExample();
    void verboseRoutesDebugLines_data();
    void verboseRoutesDebugLines();
    void failures_data();
    void failures();
    void tooManyMessagesKeepsOldHeader();
    void usageErrors_data();
    void usageErrors();
    void helpAndVersion();
};

void tst_Cli::parseArguments_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<bool>("verbose");
    QTest::addColumn<bool>("help");
    QTest::addColumn<QString>("dbcFile");
    QTest::addColumn<QString>("outputDir");

    QTest::newRow("plain") << QStringList{"a.dbc", "out"} << true << false << false << "a.dbc"
                           << "out";
    QTest::newRow("verbose first") << QStringList{"--verbose", "a.dbc", "out"} << true << true
                                   << false << "a.dbc" << "out";
    QTest::newRow("verbose last") << QStringList{"a.dbc", "out", "-v"} << true << true << false
                                  << "a.dbc" << "out";
    QTest::newRow("dash dash") << QStringList{"--", "-odd.dbc", "out"} << true << false << false
                               << "-odd.dbc" << "out";
    QTest::newRow("help wins") << QStringList{"--help", "a.dbc"} << true << false << true << ""
                               << "";
    QTest::newRow("no arguments") << QStringList{} << false << false << false << "" << "";
    QTest::newRow("one argument") << QStringList{"a.dbc"} << false << false << false << "" << "";
    QTest::newRow("three arguments") << QStringList{"a.dbc", "out", "more"} << false << false
                                     << false << "" << "";
    QTest::newRow("unknown option") << QStringList{"--fast", "a.dbc", "out"} << false << false
                                    << false << "" << "";
    QTest::newRow("empty path") << QStringList{"", "out"} << false << false << false << "" << "";
}

void tst_Cli::parseArguments()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, valid);
    QFETCH(bool, verbose);
    QFETCH(bool, help);
    QFETCH(QString, dbcFile);
    QFETCH(QString, outputDir);

    const QuarvelCli::Options options = QuarvelCli::parseArguments(arguments);
    QCOMPARE(options.error.isEmpty(), valid);
    if (!valid)
        return;
    QCOMPARE(options.verbose, verbose);
    QCOMPARE(options.help, help);
    if (!help) {
        QCOMPARE(options.dbcFile, dbcFile);
        QCOMPARE(options.outputDir, outputDir);
    }
}

// The shipped example converts to exactly the reviewed golden header, into a
// directory that does not exist yet.
void tst_Cli::convertsExample()
{
    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    const QString outDir = tmp.filePath("gen/include");
    const CliRun run = runCli({QStringLiteral(QUARVEL_EXAMPLES "/vehicle.dbc"), outDir});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.out, successLine + '\n');
    QCOMPARE(run.err, QString());
    const QByteArray golden = readAll(QStringLiteral(QUARVEL_TEST_DATA "/converter/vehicle.expected.h"));
    QVERIFY(!golden.isEmpty());
    QCOMPARE(readAll(outDir + "/dbc_2_struct.h"), golden);
}

void tst_Cli::verboseRoutesDebugLines_data()
{
    QTest::addColumn<bool>("verbose");
    QTest::newRow("quiet") << false;
    QTest::newRow("verbose") << true;
}

void tst_Cli::verboseRoutesDebugLines()
{
    QFETCH(bool, verbose);
    QTemporaryDir tmp;
    QStringList arguments{QStringLiteral(QUARVEL_EXAMPLES "/vehicle.dbc"), tmp.path()};
    if (verbose)
        arguments.prepend("--verbose");
    const CliRun run = runCli(arguments);
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.out, successLine + '\n');
    QCOMPARE(run.err.contains("Trans dbc success!"), verbose);
    QCOMPARE(run.err.contains("read BOSG success!"), verbose);
    if (!verbose)
        QCOMPARE(run.err, QString());
}

void tst_Cli::failures_data()
{
    QTest::addColumn<QString>("dbcName");    // relative to the temporary directory
    QTest::addColumn<QString>("outputName"); // relative to the temporary directory
    QTest::addColumn<QString>("note");

    QTest::newRow("missing input") << "missing.dbc" << "out"
                                   << QString::fromUtf8("NOTE: 打开文件失败，请检查文件！");
    QTest::newRow("directory as input") << "indir" << "out"
                                        << QString::fromUtf8("NOTE: 打开文件失败，请检查文件！");
    QTest::newRow("output is a file") << "ok.dbc" << "blocker"
                                      << QString::fromUtf8("NOTE: 文件打开失败！");
    QTest::newRow("output below a file") << "ok.dbc" << "blocker/sub"
                                         << QString::fromUtf8("NOTE: 文件打开失败！");
}

void tst_Cli::failures()
{
    QFETCH(QString, dbcName);
    QFETCH(QString, outputName);
    QFETCH(QString, note);

    QTemporaryDir tmp;
    QVERIFY(QDir(tmp.path()).mkdir("indir"));
    QVERIFY(writeFile(tmp.filePath("ok.dbc"), dbcWithMessages(2)));
    QVERIFY(writeFile(tmp.filePath("blocker"), "not a directory"));

    const CliRun run = runCli({tmp.filePath(dbcName), tmp.filePath(outputName)});
    QCOMPARE(run.exitCode, 1);
    QCOMPARE(run.out, QString());
    QVERIFY2(run.err.endsWith(note + '\n'), qPrintable(run.err));
    QVERIFY(!run.err.contains(successLine));
    QCOMPARE(readAll(tmp.filePath("blocker")), QByteArray("not a directory"));
    QVERIFY(!QFile::exists(tmp.filePath("out/dbc_2_struct.h")));
}

// A file the engine refuses leaves the header of an earlier run as it was.
void tst_Cli::tooManyMessagesKeepsOldHeader()
{
    QTemporaryDir tmp;
    QVERIFY(writeFile(tmp.filePath("big.dbc"), dbcWithMessages(301)));
    QVERIFY(writeFile(tmp.filePath("dbc_2_struct.h"), "old header\r\n"));
    const CliRun run = runCli({tmp.filePath("big.dbc"), tmp.path()});
    QCOMPARE(run.exitCode, 1);
    QCOMPARE(run.err, QString::fromUtf8("NOTE: DBC文件报文数量超过300，无法生成！\n"));
    QCOMPARE(readAll(tmp.filePath("dbc_2_struct.h")), QByteArray("old header\r\n"));

    // 300 messages are still converted.
    QVERIFY(writeFile(tmp.filePath("max.dbc"), dbcWithMessages(300)));
    QCOMPARE(runCli({tmp.filePath("max.dbc"), tmp.path()}).exitCode, 0);
    QVERIFY(readAll(tmp.filePath("dbc_2_struct.h")).contains("Msg299_Type;"));
}

void tst_Cli::usageErrors_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("nothing") << QStringList{};
    QTest::newRow("one path") << QStringList{"a.dbc"};
    QTest::newRow("unknown option") << QStringList{"--frobnicate", "a.dbc", "out"};
}

void tst_Cli::usageErrors()
{
    QFETCH(QStringList, arguments);
    const CliRun run = runCli(arguments);
    QCOMPARE(run.exitCode, 2);
    QCOMPARE(run.out, QString());
    QVERIFY(run.err.startsWith("quarvel-cli: "));
    QVERIFY(run.err.contains("Usage: quarvel-cli [--verbose] FILE.dbc OUTDIR"));
}

void tst_Cli::helpAndVersion()
{
    const CliRun help = runCli({"--help"});
    QCOMPARE(help.exitCode, 0);
    QVERIFY(help.out.startsWith("Usage: quarvel-cli [--verbose] FILE.dbc OUTDIR\n"));
    QCOMPARE(help.err, QString());

    const CliRun version = runCli({"--version"});
    QCOMPARE(version.exitCode, 0);
    QCOMPARE(version.out, QuarvelCli::versionText() + '\n');
    QVERIFY(version.out.startsWith("quarvel-cli 1."));
}

QTEST_GUILESS_MAIN(tst_Cli)
#include "tst_cli.moc"
