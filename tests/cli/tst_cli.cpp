#include "quarvelcli.h"
#include "testfiles.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace
{

struct CliRun {
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

// A DBC text with `count` one-signal messages.
QByteArray dbcWithMessages(int count)
{
    QByteArray text = "VERSION \"\"\n\nBU_: ECU\n";
    for (int i = 0; i < count; ++i)
        text += "\nBO_ " + QByteArray::number(i + 1) + " Msg" + QByteArray::number(i) +
                ": 8 ECU\n SG_ Sig" + QByteArray::number(i) + " : 7|8@0+ (1,0) [0|255] \"\" ECU\n";
    return text;
}

const QString Success = QString::fromUtf8("NOTE: 文件已生成，请查看！\n");

} // namespace

class tst_Cli : public QObject
{
    Q_OBJECT

private slots:
    void parseArguments_data();
    void parseArguments();
    void convertsExample_data();
    void convertsExample();
    void exitStatus_data();
    void exitStatus();
};

void tst_Cli::parseArguments_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("parsed"); // "verbose help dbcFile outputDir", or "error"

    QTest::newRow("plain") << QStringList{"a.dbc", "out"} << "0 0 a.dbc out";
    QTest::newRow("short verbose last") << QStringList{"a.dbc", "out", "-v"} << "1 0 a.dbc out";
    QTest::newRow("dash dash") << QStringList{"--", "-odd.dbc", "out"} << "0 0 -odd.dbc out";
    QTest::newRow("help wins") << QStringList{"--help", "a.dbc"} << "0 1  ";
    QTest::newRow("one argument") << QStringList{"a.dbc"} << "error";
    QTest::newRow("three arguments") << QStringList{"a.dbc", "out", "more"} << "error";
    QTest::newRow("unknown option") << QStringList{"--fast", "a.dbc", "out"} << "error";
    QTest::newRow("empty path") << QStringList{"", "out"} << "error";
}

void tst_Cli::parseArguments()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, parsed);
    const QuarvelCli::Options o = QuarvelCli::parseArguments(arguments);
    QCOMPARE(o.error.isEmpty() ? QString("%1 %2 %3 %4")
                                     .arg(int(o.verbose))
                                     .arg(int(o.help))
                                     .arg(o.dbcFile, o.outputDir)
                               : QString("error"),
             parsed);
}

void tst_Cli::convertsExample_data()
{
    QTest::addColumn<bool>("verbose");
    QTest::newRow("quiet") << false;
    QTest::newRow("verbose") << true;
}

// The shipped example converts to exactly the reviewed golden header, into a
// directory that does not exist yet; --verbose sends the engine's lines to stderr.
void tst_Cli::convertsExample()
{
    QFETCH(bool, verbose);
    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    const QString outDir = tmp.filePath("gen/include");
    QStringList arguments{QStringLiteral(QUARVEL_EXAMPLES "/vehicle.dbc"), outDir};
    if (verbose)
        arguments.prepend("--verbose");
    const CliRun run = runCli(arguments);
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.out, Success);
    QCOMPARE(run.err.isEmpty(), !verbose);
    QCOMPARE(run.err.contains("Trans dbc success!\n"), verbose);
    const QByteArray golden =
        readAll(QStringLiteral(QUARVEL_TEST_DATA "/converter/vehicle.expected.h"));
    QVERIFY(!golden.isEmpty());
    QCOMPARE(readAll(outDir + "/dbc_2_struct.h"), golden);
}

void tst_Cli::exitStatus_data()
{
    QTest::addColumn<QStringList>("arguments"); // "%1" stands for the temporary directory
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("err");

    const QString notRead = QString::fromUtf8("NOTE: 打开文件失败，请检查文件！\n");
    QTest::newRow("missing input") << QStringList{"%1/missing.dbc", "%1/out"} << 1 << "" << notRead;
    QTest::newRow("directory as input") << QStringList{"%1/indir", "%1/out"} << 1 << "" << notRead;
    QTest::newRow("output is a file") << QStringList{"%1/max.dbc", "%1/blocker"} << 1 << ""
                                      << QString::fromUtf8("NOTE: 文件打开失败！\n");
    QTest::newRow("301 messages keep the old header")
        << QStringList{"%1/big.dbc", "%1"} << 1 << ""
        << QString::fromUtf8("NOTE: DBC文件报文数量超过300，无法生成！\n");
    QTest::newRow("300 messages") << QStringList{"%1/max.dbc", "%1/new"} << 0 << Success << "";
    QTest::newRow("usage error") << QStringList{"--frobnicate", "a.dbc", "out"} << 2 << ""
                                 << "quarvel-cli: unknown option '--frobnicate'\n" +
                                        QuarvelCli::usage() + '\n';
    QTest::newRow("help") << QStringList{"--help"} << 0 << QuarvelCli::usage() + '\n' << "";
    QTest::newRow("version") << QStringList{"--version"} << 0 << QuarvelCli::versionText() + '\n'
                             << "";
}

// Runs the program on the files of a prepared directory; nothing but the
// expected header may change there.
void tst_Cli::exitStatus()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, out);
    QFETCH(QString, err);
    QTemporaryDir tmp;
    QVERIFY(tmp.isValid() && QDir(tmp.path()).mkdir("indir"));
    QVERIFY(writeFile(tmp.filePath("max.dbc"), dbcWithMessages(300)));
    QVERIFY(writeFile(tmp.filePath("big.dbc"), dbcWithMessages(301)));
    QVERIFY(writeFile(tmp.filePath("blocker"), "not a directory"));
    QVERIFY(writeFile(tmp.filePath("dbc_2_struct.h"), "old header\r\n"));

    const CliRun run = runCli(arguments.replaceInStrings("%1", tmp.path()));
    QCOMPARE(run.exitCode, exitCode);
    QCOMPARE(run.out, out);
    QCOMPARE(run.err, err);
    QCOMPARE(readAll(tmp.filePath("blocker")), QByteArray("not a directory"));
    QCOMPARE(readAll(tmp.filePath("dbc_2_struct.h")), QByteArray("old header\r\n"));
    QVERIFY(!QFileInfo::exists(tmp.filePath("out")));
    QCOMPARE(readAll(tmp.filePath("new/dbc_2_struct.h")).contains("Msg299_Type;"), out == Success);
}

QTEST_GUILESS_MAIN(tst_Cli)
#include "tst_cli.moc"
