// SPDX-License-Identifier: MIT
#ifndef QUARVELCLI_H
#define QUARVELCLI_H

#include <quarvel/cdbc.h>

#include <QString>
#include <QStringList>

#include <cstdio>

// The headless converter: the window's one job, DBC file in, "dbc_2_struct.h"
// out, for build scripts and CI jobs, with what the header leaves out reported
// as compiler-style warnings. main() only hands it the arguments.
namespace QuarvelCli
{

enum ExitCode { Converted = 0, ConversionFailed = 1, UsageError = 2 };

struct Options {
    bool verbose = false;
    bool help = false;
    bool version = false;
    bool check = false;   // report the findings only, write nothing
    bool werror = false;  // any finding fails the conversion
    bool compare = false; // report what NEW's header changes for code built against OLD's
    DbcHeaderForm form;   // --frames, --bit-order and --layout-check
    QString dbcFile;      // with --compare: the old DBC file
    QString newDbcFile;   // with --compare: the new DBC file
    QString outputDir;
    QString error; // set when the arguments are not usable
};

// Parses the arguments that follow the program name.
Options parseArguments(const QStringList &arguments);

QString usage();
QString versionText();

// Runs the converter on the arguments that follow the program name. Notes go
// to `out` (the success note, usage on --help, the version) and `err`
// (failure notes and their reasons, the findings or with --compare the layout changes as
// FILE:LINE: warning: TEXT and their count, usage errors, and with --verbose the engine's
// debug lines), one line each, UTF-8.
int run(const QStringList &arguments, std::FILE *out, std::FILE *err);

} // namespace QuarvelCli

#endif // QUARVELCLI_H
