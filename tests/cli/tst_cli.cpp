// Tests of quarvel-cli through the real process: arguments, streams and
// exit statuses.
#include "testsupport.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

class tst_Cli : public QObject
{
    Q_OBJECT

private slots:
    void run_data();
    void run();
};

void tst_Cli::run_data()
{
    QTest::addColumn<QStringList>("arguments"); // "%1" stands for a temporary directory
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("out");  // the start of stdout
    QTest::addColumn<QString>("err");  // the start of stderr
    QTest::addColumn<bool>("written"); // %1/out/dbc_2_struct.h is the example's golden

    const QString example = QStringLiteral(QUARVEL_EXAMPLES "/vehicle.dbc");
    const QString success = "NOTE: 文件已生成，请查看！\n";
    const QString notRead = "NOTE: 打开文件失败，请检查文件！\n";
    QTest::newRow("example") << QStringList{example, "%1/out"} << 0 << success << "" << true;
    QTest::newRow("verbose") << QStringList{"-v", example, "%1/out"} << 0 << success
                             << "file open success\n"
                             << true;
    QTest::newRow("missing input")
        << QStringList{"%1/missing.dbc", "%1/out"} << 1 << "" << notRead << false;
    QTest::newRow("lone dash is a file name")
        << QStringList{"-", "%1/out"} << 1 << "" << notRead << false;
    QTest::newRow("unknown option") << QStringList{"--fast", example, "%1/out"} << 2 << ""
                                    << "quarvel-cli: unknown option '--fast'\nUsage:" << false;
    QTest::newRow("one argument") << QStringList{example} << 2 << ""
                                  << "quarvel-cli: expected a DBC file and an output directory\n"
                                  << false;
    QTest::newRow("help") << QStringList{"--help", "x"} << 0 << "Usage: quarvel-cli"
                          << "" << false;
    QTest::newRow("version") << QStringList{"--version"} << 0 << "quarvel-cli 1."
                             << "" << false;
}

void tst_Cli::run()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, out);
    QFETCH(QString, err);
    QFETCH(bool, written);
    QTemporaryDir tmp;
    QVERIFY(writeFile(tmp.filePath("file"), "not a directory"));
    QVERIFY(QDir().mkpath(tmp.filePath("out")));
    QVERIFY(writeFile(tmp.filePath("out/dbc_2_struct.h"), "old"));
    for (QString &argument : arguments)
        argument.replace("%1", tmp.path());

    QProcess process;
    process.start(QStringLiteral(QUARVEL_CLI_PATH), arguments);
    QVERIFY(process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit);
    const QString stdOut = QString::fromUtf8(process.readAllStandardOutput());
    const QString stdErr = QString::fromUtf8(process.readAllStandardError());
    QCOMPARE(process.exitCode(), exitCode);
    QVERIFY2(out.isEmpty() ? stdOut.isEmpty() : stdOut.startsWith(out), qPrintable(stdOut));
    QVERIFY2(err.isEmpty() ? stdErr.isEmpty() : stdErr.startsWith(err), qPrintable(stdErr));
    QCOMPARE(readAll(tmp.filePath("out/dbc_2_struct.h")),
             written ? readAll(testData("converter/vehicle.expected")) : QByteArray("old"));
    QCOMPARE(readAll(tmp.filePath("file")), QByteArray("not a directory"));
}

QTEST_GUILESS_MAIN(tst_Cli)
#include "tst_cli.moc"
