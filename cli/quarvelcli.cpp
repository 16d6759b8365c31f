// SPDX-License-Identifier: MIT
#include "quarvelcli.h"

#include "dbcnotes.h"
#include "debuglog.h"
#include <quarvel/cdbc.h>
#include <quarvel/layoutcompare.h>

#include <QByteArray>
#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>

#ifdef Q_OS_WIN
#include <io.h>
#include <windows.h>
#endif

namespace QuarvelCli
{

namespace
{

// Writes one line (or several, ended by one line end). Redirected to a file
// or a pipe the text is UTF-8; on Windows the C runtime's text mode ends each
// line in CR LF there, as Windows programs do. A Windows console is given the
// text as UTF-16, so that the Chinese notes show whatever its code page.
void writeLine(std::FILE *stream, const QString &text)
{
    std::fflush(stream);
#ifdef Q_OS_WIN
    const HANDLE console = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    DWORD mode = 0;
    if (console != INVALID_HANDLE_VALUE && GetConsoleMode(console, &mode)) {
        const QString line = text + QLatin1Char('\n');
        DWORD written = 0;
        WriteConsoleW(console, line.utf16(), DWORD(line.size()), &written, nullptr);
        return;
    }
#endif
    const QByteArray bytes = text.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

// Where the engine's debug lines go while a conversion runs: the error stream
// with --verbose, nowhere otherwise. Warnings and worse always reach it.
std::FILE *debugStream = nullptr;
std::FILE *warningStream = stderr;

void routeMessage(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    std::FILE *stream = (type == QtDebugMsg || type == QtInfoMsg) ? debugStream : warningStream;
    if (stream)
        writeLine(stream, message);
}

// Why the engine failed, in the system's words.
void writeFailure(const CDBC &engine, std::FILE *err)
{
    writeLine(err, QStringLiteral("quarvel-cli: %1: %2")
                       .arg(QDir::toNativeSeparators(engine.failedPath()), engine.failureReason()));
}

// Reads the file, reports the findings and, unless only checking or a
// warning is an error, writes the header. True when the run succeeded: the
// header was written, or with --check, nothing was found.
bool convert(const Options &options, std::FILE *err)
{
    CDBC engine;
    bool done = engine.loadDbc(options.dbcFile);
    if (done) {
        const QVector<DbcFinding> findings = engine.findings(options.form);
        // Written at once: a file may have thousands.
        const QStringList lines =
            CDBC::findingsReport(QStringLiteral("quarvel-cli"), options.dbcFile, findings);
        if (!lines.isEmpty())
            writeLine(err, lines.join(QLatin1Char('\n')));
        if (options.check)
            return findings.isEmpty();
        if (options.werror && !findings.isEmpty()) {
            writeLine(err, findings.size() == 1
                               ? QStringLiteral("quarvel-cli: 1 warning treated as an error: the "
                                                "header is not written")
                               : QStringLiteral("quarvel-cli: %1 warnings treated as errors: the "
                                                "header is not written")
                                     .arg(findings.size()));
            return false;
        }
        done = engine.writeStructHeader(engine.msgTable, engine.msgCnt, options.outputDir,
                                        options.form);
    }
    if (!done)
        writeFailure(engine, err);
    return done;
}

// Reads both files as a conversion does and reports what the new header
// changes for code built against the old one. True when the run succeeded:
// both files were read and, with --werror, nothing changed.
bool compare(const Options &options, std::FILE *err)
{
    CDBC before;
    CDBC after;
    for (const auto &[engine, path] :
         {std::pair(&before, options.dbcFile), std::pair(&after, options.newDbcFile)}) {
        if (!engine->loadDbc(path)) {
            writeFailure(*engine, err);
            return false;
        }
    }
    const LayoutComparison comparison = compareLayouts(before, after, options.form);
    const QStringList lines = layoutChangesReport(QStringLiteral("quarvel-cli"), options.dbcFile,
                                                  options.newDbcFile, comparison);
    if (!lines.isEmpty())
        writeLine(err, lines.join(QLatin1Char('\n')));
    return !options.werror || comparison.changes.isEmpty();
}

// The program's options and arguments, as --help shows them.
struct Parser {
    Parser();

    QCommandLineParser parser;
    const QCommandLineOption check{QStringLiteral("check"),
                                   QStringLiteral("Only read FILE.dbc and report; write nothing.")};
    const QCommandLineOption werror{
        QStringLiteral("werror"),
        QStringLiteral("Fail the conversion on any warning, leaving the old header.")};
    const QCommandLineOption compare{
        QStringLiteral("compare"),
        QStringLiteral("Compare FILE.dbc, the old version, with NEW.dbc given in place of "
                       "OUTDIR: report what NEW.dbc's header changes for code built against "
                       "FILE.dbc's. Write nothing.")};
    const QCommandLineOption frames{
        QStringLiteral("frames"),
        QStringLiteral("Write the frame form of the header (and with --compare, compare in "
                       "it).")};
    const QCommandLineOption layoutCheck{
        QStringLiteral("layout-check"),
        QStringLiteral("Also write OUTDIR/dbc_2_struct_check.c, which proves on the compiler "
                       "that builds it that every signal the header writes reads from a "
                       "frame copied into its struct the bits the DBC file gives it.")};
    const QCommandLineOption bitOrder{
        QStringLiteral("bit-order"),
        QStringLiteral("With --frames, the compiler the header is for: lsb-first (the default) "
                       "for compilers that fill a byte from bit 0 (gcc, clang, MinGW and MSVC "
                       "on x86 and ARM, most microcontroller compilers), msb-first for those "
                       "that fill it from bit 7 (such as big-endian PowerPC)."),
        QStringLiteral("ORDER")};
    const QCommandLineOption verbose{
        {QStringLiteral("v"), QStringLiteral("verbose")},
        QStringLiteral("Print the engine's progress lines on stderr.")};
    const QCommandLineOption help{{QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help and exit.")};
    const QCommandLineOption version{QStringLiteral("version"),
                                     QStringLiteral("Show the version and exit.")};
};

Parser::Parser()
{
    parser.setApplicationDescription(QStringLiteral(
        "Converts the DBC file FILE.dbc into OUTDIR/dbc_2_struct.h, creating OUTDIR if needed.\n"
        "What the header leaves out or gets wrong (signals it does not write, names cut\n"
        "short or no C identifiers, members twice in a struct, ...) is reported on stderr,\n"
        "one line each: FILE:LINE: warning: TEXT.\n"
        "\n"
        "The header has two forms; firmware copies a frame's 8 data bytes into a struct\n"
        "and reads each signal from its members. The default form lays every signal out\n"
        "big-endian, part 0 the most significant: it reads right only for big-endian\n"
        "signals, on compilers that fill each byte from bit 7 (such as PowerPC). The\n"
        "frame form (--frames) puts each signal at the bits the DBC file gives it, in its\n"
        "own byte order, one member per byte it touches, each struct exactly the 8 data\n"
        "bytes: part k lies in the k-th byte the signal touches, so part 0 is the most\n"
        "significant of a big-endian signal and the least significant of a little-endian\n"
        "one. It reads right on the compilers --bit-order names; use it for new firmware.\n"
        "\n"
        "quarvel-cli --compare OLD.dbc NEW.dbc reports in the same form every member of\n"
        "OLD.dbc's header that NEW.dbc's header moves, resizes or drops, every struct type\n"
        "it drops and every identifier it changes, then what NEW.dbc adds.\n"
        "\n"
        "Exit status: 0 the header was written (--check: nothing to report; --compare:\n"
        "both files were read), 1 the conversion failed (--check: something to report;\n"
        "--werror: any warning, or with --compare any change), 2 usage error."));
    parser.addOptions(
        {check, werror, compare, frames, layoutCheck, bitOrder, verbose, help, version});
    parser.addPositionalArgument(QStringLiteral("FILE.dbc"),
                                 QStringLiteral("The DBC file to read."));
    parser.addPositionalArgument(
        QStringLiteral("OUTDIR"),
        QStringLiteral("The directory to write dbc_2_struct.h into (not with --check); with "
                       "--compare, the new DBC file."),
        QStringLiteral("[OUTDIR]"));
}

} // namespace

Options parseArguments(const QStringList &arguments)
{
    Options options;
    Parser cli;
    QCommandLineParser &parser = cli.parser;
    // The parser takes the program name first; "--" ends the options, so a
    // DBC file named "-x.dbc" can still be converted.
    if (!parser.parse(QStringList{QStringLiteral("quarvel-cli")} + arguments)) {
        options.error = parser.errorText();
        return options;
    }
    options.help = parser.isSet(cli.help);
    options.version = parser.isSet(cli.version);
    options.verbose = parser.isSet(cli.verbose);
    options.check = parser.isSet(cli.check);
    options.werror = parser.isSet(cli.werror);
    options.compare = parser.isSet(cli.compare);
    options.form.layoutCheck = parser.isSet(cli.layoutCheck);
    options.form.frames = parser.isSet(cli.frames);
    if (parser.isSet(cli.bitOrder)) {
        const QString order = parser.value(cli.bitOrder);
        if (order == QLatin1String("msb-first")) {
            options.form.bitOrder = DbcBitOrder::MsbFirst;
        } else if (order != QLatin1String("lsb-first")) {
            options.error =
                QStringLiteral("--bit-order takes lsb-first or msb-first, not '%1'").arg(order);
            return options;
        }
        if (!options.form.frames) {
            options.error = QStringLiteral("--bit-order goes with --frames: the default form "
                                           "has one order, its bytes");
            return options;
        }
    }
    if (options.help || options.version)
        return options;
    if (options.check && options.compare) {
        options.error = QStringLiteral("--check and --compare do not go together");
        return options;
    }
    if ((options.check || options.compare) && options.form.layoutCheck) {
        options.error = QStringLiteral("--%1 writes nothing, --layout-check a file")
                            .arg(options.check ? QLatin1String("check") : QLatin1String("compare"));
        return options;
    }
    const QStringList positional = parser.positionalArguments();
    const int wanted = options.check ? 1 : 2;
    if (positional.size() != wanted) {
        options.error = positional.size() > wanted ? QStringLiteral("too many arguments")
                        : options.compare ? QStringLiteral("expected the old and the new DBC file")
                        : options.check
                            ? QStringLiteral("expected a DBC file")
                            : QStringLiteral("expected a DBC file and an output directory");
        return options;
    }
    options.dbcFile = positional.at(0);
    if (options.compare) {
        options.newDbcFile = positional.at(1);
        if (options.dbcFile.isEmpty() || options.newDbcFile.isEmpty())
            options.error = QStringLiteral("the DBC files must not be empty");
        return options;
    }
    options.outputDir = options.check ? QString() : positional.at(1);
    if (options.dbcFile.isEmpty() || (!options.check && options.outputDir.isEmpty()))
        options.error = QStringLiteral("the DBC file and the output directory must not be empty");
    return options;
}

QString usage()
{
    // The parser names the program by the path it was started with; the help
    // (and the manual page made from it) names it as users type it.
    QString text = Parser().parser.helpText();
    const QLatin1String prefix("Usage: ");
    const QString program = QCoreApplication::arguments().value(0);
    if (text.startsWith(prefix + program))
        text.replace(prefix.size(), program.size(), QStringLiteral("quarvel-cli"));
    return text.trimmed();
}

QString versionText()
{
    return QStringLiteral("quarvel-cli " QUARVEL_VERSION);
}

int run(const QStringList &arguments, std::FILE *out, std::FILE *err)
{
    const Options options = parseArguments(arguments);
    if (!options.error.isEmpty()) {
        writeLine(err, QStringLiteral("quarvel-cli: ") + options.error);
        writeLine(err, usage().section(QLatin1Char('\n'), 0, 0));
        writeLine(err, QStringLiteral("Try 'quarvel-cli --help' for more information."));
        return UsageError;
    }
    if (options.help) {
        writeLine(out, usage());
        return Converted;
    }
    if (options.version) {
        writeLine(out, versionText());
        return Converted;
    }

    // The engine's notes are printed as they come, the success note on
    // stdout and the others on stderr; whether the header was written is the
    // engine's answer, not read from the notes.
    const CDBC::Notifier previousNotifier =
        CDBC::setNotifier([&](const QString &title, const QString &text) {
            const bool success = text == QString::fromUtf8(DbcNotes::HeaderWritten);
            writeLine(success ? out : err, title + QStringLiteral(": ") + text);
        });
    debugStream = options.verbose ? err : nullptr;
    warningStream = err;
    const QtMessageHandler previousHandler = qInstallMessageHandler(routeMessage);
    // Without --verbose the engine's many progress lines are not even built;
    // with it they are written in large pieces.
    const bool debugWasOn = CDBC::debugLines();
    CDBC::setDebugLines(options.verbose);
    if (options.verbose)
        DebugLog::install();

    const bool written = options.compare ? compare(options, err) : convert(options, err);

    if (options.verbose)
        DebugLog::uninstall();
    CDBC::setDebugLines(debugWasOn);
    qInstallMessageHandler(previousHandler);
    CDBC::setNotifier(previousNotifier);
    return written ? Converted : ConversionFailed;
}

} // namespace QuarvelCli
