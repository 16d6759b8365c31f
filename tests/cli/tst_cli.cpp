// SPDX-License-Identifier: MIT
// Whole conversions through quarvel-cli, the real process: arguments, notes,
// exit statuses, and the old header kept whenever a conversion fails.
#include "testsupport.h"

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
    // "%1" stands for a temporary directory; "%2" for the system's reason
    // when a file is missing, in its own words.
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("out"); // the whole of stdout, or its start when it ends in "…"
    QTest::addColumn<QString>("err"); // the same for stderr
    // The golden file %1/out/dbc_2_struct.h is then, or empty where the old one stays.
    QTest::addColumn<QString>("header");

    const QString example = QStringLiteral(QUARVEL_EXAMPLES "/vehicle.dbc");
    const QString findings = testData("cli/findings.dbc");
    const QString success = "NOTE: 文件已生成，请查看！\n",
                  notRead = "NOTE: 打开文件失败，请检查文件！\n";
    // What the example's header leaves out, reported before any note.
    const QString warned =
        QString::fromUtf8(readAll(testData("cli/vehicle.findings"))).replace("FILE", example);
    const QString notWritten = warned + "NOTE: 文件打开失败！\nquarvel-cli: %1/";
    const QString golden = testData("converter/vehicle.expected");
    const auto row = [](const char *tag, const QStringList &arguments, int exitCode,
                        const QString &out, const QString &err, const QString &header = {}) {
        QTest::newRow(tag) << arguments << exitCode << out << err << header;
    };
    row("example", {example, "%1/out"}, 0, success, warned, golden);
    row("new nested directory", {example, "%1/new/a"}, 0, success, warned);
    row("verbose", {"-v", example, "%1/out"}, 0, success, "file open success\n…", golden);
    row("no message found", {"%1/file", "%1/new"}, 0, success,
        "quarvel-cli: warning: no message found in %1/file\n"
        "%1/file: 1 warning: 1 file without messages\n");
    row("check: every kind of finding", {"--check", findings}, 1, "",
        QString::fromUtf8(readAll(testData("cli/findings.expected"))).replace("FILE", findings));
    row("check: every kind of finding in the frame form", {"--check", "--frames", findings}, 1, "",
        QString::fromUtf8(readAll(testData("cli/findings.frames.expected")))
            .replace("FILE", findings));
    row("check: nothing to report", {"--check", testData("converter/body_status.dbc")}, 0, "", "");
    row("check: nothing to report in the frame form",
        {"--check", "--frames", testData("reader/worked_example.dbc")}, 0, "", "");
    row("werror keeps the old header", {"--werror", example, "%1/out"}, 1, "",
        warned + "quarvel-cli: 10 warnings treated as errors: the header is not written\n");
    row("werror keeps the old header and check", {"--werror", "--layout-check", example, "%1/out"},
        1, "", warned + "quarvel-cli: 10 warnings treated as errors: the header is not written\n");
    row("layout check", {"--layout-check", example, "%1/out"}, 0, success, warned, golden);
    // The frame form, for either bit order, with its own findings.
    const QString framesWarned = QString::fromUtf8(readAll(testData("cli/vehicle.frames.findings")))
                                     .replace("FILE", example);
    for (const char *order : {"lsb-first", "msb-first"})
        row(qPrintable(QString("frames, %1").arg(order)),
            {"--frames", "--bit-order", order, "--layout-check", example, "%1/out"}, 0, success,
            framesWarned, "frames " + QString(order));
    row("unknown bit order", {"--frames", "--bit-order", "msb", example, "%1/out"}, 2, "",
        "quarvel-cli: --bit-order takes lsb-first or msb-first, not 'msb'\nUsage: …");
    row("bit order without frames", {"--bit-order", "lsb-first", example, "%1/out"}, 2, "",
        "quarvel-cli: --bit-order goes with --frames: the default form has one order, its "
        "bytes\nUsage: …");
    row("check writes no layout check", {"--check", "--layout-check", example}, 2, "",
        "quarvel-cli: --check writes nothing, --layout-check a file\nUsage: …");
    row("werror: one warning", {"--werror", "%1/file", "%1/out"}, 1, "",
        "quarvel-cli: warning: no message found in %1/file\n%1/file: 1 warning: 1 file without "
        "messages\nquarvel-cli: 1 warning treated as an error: the header is not written\n");
    row("missing input", {"%1/missing.dbc", "%1/out"}, 1, "",
        notRead + "quarvel-cli: %1/missing.dbc: %2\n");
    row("lone dash is a file name", {"-", "%1/out"}, 1, "", notRead + "quarvel-cli: -: …");
    row("directory as input", {"%1/out", "%1/out"}, 1, "",
        notRead + "quarvel-cli: %1/out: not a regular file\n");
    row("301 messages", {"%1/big.dbc", "%1/out"}, 1, "",
        "NOTE: DBC文件报文数量超过300，无法生成！\nquarvel-cli: %1/big.dbc: 301 messages, more "
        "than 300\n");
    row("output path is a file", {example, "%1/file"}, 1, "",
        notWritten + "file: not a directory\n");
    row("parent is a file", {example, "%1/file/sub"}, 1, "", notWritten + "file/sub: …");
    row("header name is a directory", {example, "%1/taken"}, 1, "",
        warned +
            "NOTE: 打开失败！\nNOTE: 文件打开失败！\nquarvel-cli: %1/taken/dbc_2_struct.h: is a "
            "directory\n");
    row("unknown option", {"--fast", example, "%1/out"}, 2, "",
        "quarvel-cli: Unknown option 'fast'.\nUsage: quarvel-cli [options] FILE.dbc [OUTDIR]\n"
        "Try 'quarvel-cli --help' for more information.\n");
    row("options end at --", {"--", "-x.dbc", "%1/out"}, 1, "", notRead + "quarvel-cli: -x.dbc: …");
    row("empty file name", {"", "%1/out"}, 2, "",
        "quarvel-cli: the DBC file and the output directory must not be empty\nUsage: …");
    row("check takes no OUTDIR", {"--check", example, "%1/out"}, 2, "",
        "quarvel-cli: too many arguments\nUsage: …");
    // Layout changes: what is gone at the old file's line, the rest at the new file's.
    const QString oldDbc = testData("compare/old.dbc"), newDbc = testData("compare/new.dbc");
    // What is gone and what changes identifier is the same in both forms.
    const auto report = [&](const QString &moved) {
        return QString(moved +
                       "OLD:8: warning: member Engine_Type.Load is gone\n"
                       "NEW:10: warning: identifier of Brake_Type changed from 0xc8 to 0xc9\n"
                       "OLD:13: warning: struct type Gear_Type is gone\n"
                       "NEW:13: warning: identifier of Body_Type changed from 0x160 to 0x161\n"
                       "NEW: 8 changes from OLD: 2 members moved, 2 members resized, 1 member "
                       "gone, 1 struct type gone, 2 identifiers changed; it adds 1 struct type "
                       "and 3 members\n")
            .replace("NEW", newDbc)
            .replace("OLD", oldDbc);
    };
    const QString changes =
        report("NEW:4: warning: member Engine_Type.Speed0 moved from bit 0 to bit 4\n"
               "NEW:4: warning: member Engine_Type.Speed0 resized from 8 to 4 bits\n"
               "NEW:5: warning: member Engine_Type.Temp resized from 8 to 6 bits\n"
               "NEW:7: warning: member Engine_Type.Flag moved from bit 36 to bit 38\n");
    row("compare: every kind", {"--compare", oldDbc, newDbc}, 0, "", changes);
    row("compare: werror", {"--werror", "--compare", oldDbc, newDbc}, 1, "", changes);
    // In the frame form a member lies at its lowest frame bit, whatever the bit order.
    const QString frameChanges =
        report("NEW:4: warning: member Engine_Type.Speed0 resized from 8 to 4 bits\n"
               "NEW:5: warning: member Engine_Type.Temp moved from bit 24 to bit 26\n"
               "NEW:5: warning: member Engine_Type.Temp resized from 8 to 6 bits\n"
               "NEW:7: warning: member Engine_Type.Flag moved from bit 35 to bit 33\n");
    for (const char *order : {"lsb-first", "msb-first"})
        row(qPrintable(QString("compare: frames, %1").arg(order)),
            {"--frames", "--bit-order", order, "--compare", oldDbc, newDbc}, 0, "", frameChanges);
    row("compare: comments, cycle times, order",
        {"--werror", "--compare", oldDbc, testData("compare/reordered.dbc")}, 0, "", "");
    row("compare: additions only", {"--werror", "--compare", oldDbc, testData("compare/added.dbc")},
        0, "",
        testData("compare/added.dbc") + ": 0 changes from " + oldDbc +
            "; it adds 1 struct type and 2 members\n");
    row("compare: old unreadable", {"--compare", "%1/missing.dbc", newDbc}, 1, "",
        notRead + "quarvel-cli: %1/missing.dbc: %2\n");
    row("compare: new unreadable", {"--compare", oldDbc, "%1/out"}, 1, "",
        notRead + "quarvel-cli: %1/out: not a regular file\n");
    row("compare: one file", {"--compare", oldDbc}, 2, "",
        "quarvel-cli: expected the old and the new DBC file\nUsage: …");
    row("compare: not with check", {"--check", "--compare", oldDbc, newDbc}, 2, "",
        "quarvel-cli: --check and --compare do not go together\nUsage: …");
    row("compare: writes no check", {"--layout-check", "--compare", oldDbc, newDbc}, 2, "",
        "quarvel-cli: --compare writes nothing, --layout-check a file\nUsage: …");
    row("help", {"--help", "x"}, 0, "Usage: quarvel-cli …", "");
    row("version", {"--version"}, 0, "quarvel-cli 1.…", "");
    // Windows hands the program its command line as UTF-16.
    row("Chinese directory name", {example, "%1/输出"}, 0, success, warned);
#ifdef Q_OS_UNIX
    // A FIFO would block a reader for ever; the file size limit stands in for
    // a full disk (SIGXFSZ ignored, writes fail with EFBIG).
    row("FIFO as input", {"%1/fifo", "%1/out"}, 1, "",
        notRead + "quarvel-cli: %1/fifo: not a regular file\n");
    row("disk full", {"ulimit", example, "%1/out"}, 1, "",
        warned + "NOTE: 文件打开失败！\nquarvel-cli: %1/out/dbc_2_struct.h: File too large\n");
    row("disk full: neither file replaced", {"ulimit", "--layout-check", example, "%1/out"}, 1, "",
        warned +
            "NOTE: 文件打开失败！\nquarvel-cli: %1/out/dbc_2_struct_check.c: File too large\n");
#endif
}

void tst_Cli::run()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, out);
    QFETCH(QString, err);
    QFETCH(QString, header);
    QTemporaryDir tmp;
    QVERIFY(QDir().mkpath(tmp.filePath("out")) &&
            QDir().mkpath(tmp.filePath("taken/dbc_2_struct.h")));
    QVERIFY(writeFile(tmp.filePath("out/dbc_2_struct.h"), "old") &&
            writeFile(tmp.filePath("out/dbc_2_struct_check.c"), "old") &&
            writeFile(tmp.filePath("file"), "x"));
    QVERIFY(writeFile(tmp.filePath("big.dbc"), manyMessages(301)));
    QFile missing(tmp.filePath("missing.dbc"));
    QVERIFY(!missing.open(QIODevice::ReadOnly));
    for (QString *text : {&out, &err}) {
        // The program names the file a failure concerns in the system's own
        // form (backslashes on Windows).
        QStringList lines = text->split('\n');
        for (QString &line : lines) {
            if (line.startsWith("quarvel-cli: %1")) {
                const int end = line.indexOf(": ", 13);
                line.replace(13, end - 13,
                             QDir::toNativeSeparators(line.mid(13, end - 13).arg(tmp.path())));
            }
        }
        *text = lines.join('\n').replace("%1", tmp.path()).replace("%2", missing.errorString());
    }
    for (QString &argument : arguments)
        argument.replace("%1", tmp.path());

    QProcess process;
    QString program = QStringLiteral(QUARVEL_CLI_PATH);
    if (arguments.first() == "ulimit") {
        arguments = QStringList{"-c", "trap '' XFSZ; ulimit -f 1; exec \"$@\"", "sh", program} +
                    arguments.mid(1);
        program = "/bin/sh";
    } else if (arguments.first().endsWith("fifo")) {
        QCOMPARE(QProcess::execute("mkfifo", {arguments.first()}), 0);
    }
    process.start(program, arguments);
    QVERIFY(process.waitForFinished(20000) && process.exitStatus() == QProcess::NormalExit);
    QString stdOut = QString::fromUtf8(process.readAllStandardOutput());
    QString stdErr = QString::fromUtf8(process.readAllStandardError());
    QCOMPARE(process.exitCode(), exitCode);
#ifdef Q_OS_WIN
    // Redirected, every line ends in CR LF, as Windows programs write them.
    for (QString *text : {&stdOut, &stdErr}) {
        QCOMPARE(text->count("\r\n"), text->count('\n'));
        text->replace("\r\n", "\n");
    }
#endif
    for (const auto &[got, want] : {std::pair(stdOut, out), std::pair(stdErr, err)}) {
        if (want.endsWith("…"))
            QVERIFY2(got.startsWith(want.chopped(1)), qPrintable(got));
        else
            QCOMPARE(got, want);
    }
    // The frame form as the library writes it from the same file.
    const bool written = !header.isEmpty();
    QByteArray expected = "old";
    if (header.startsWith("frames ")) {
        CDBC engine;
        NoteRecorder recorder;
        QVERIFY(engine.loadDbc(arguments.at(arguments.size() - 2)));
        DbcHeaderForm form;
        form.frames = true;
        form.bitOrder =
            header.endsWith("msb-first") ? DbcBitOrder::MsbFirst : DbcBitOrder::LsbFirst;
        expected =
            CDBC::buildStructHeader(engine.msgTable, engine.msgCnt, form, engine.byteOrders());
        QVERIFY(expected.startsWith("/*\r\n * dbc_2_struct.h in the frame form"));
        QVERIFY(expected.contains(header.endsWith("msb-first") ? "bit order msb-first"
                                                               : "bit order lsb-first"));
    } else if (written) {
        expected = readAll(header);
    }
    QCOMPARE(readAll(tmp.filePath("out/dbc_2_struct.h")), expected);
    // The layout check is replaced only with the header, and only when asked for.
    const QByteArray check = readAll(tmp.filePath("out/dbc_2_struct_check.c"));
    QVERIFY2(written && arguments.contains("--layout-check") ? check.startsWith("/*")
                                                             : check == "old",
             check.left(40));
    QCOMPARE(QDir(tmp.filePath("out")).entryList(QDir::Files),
             (QStringList{"dbc_2_struct.h", "dbc_2_struct_check.c"}));
    QCOMPARE(readAll(tmp.filePath("file")), QByteArray("x"));
}

QTEST_GUILESS_MAIN(tst_Cli)
#include "tst_cli.moc"
