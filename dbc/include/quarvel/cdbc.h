// SPDX-License-Identifier: MIT
#ifndef CDBC_H
#define CDBC_H

#include "canmsginfo.h"
#include "dbcfindings.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <type_traits>

// The order in which the header declares the members that share a byte.
// Compilers for most targets fill a byte from its lowest bit, in declaration
// order (LsbFirst, the default); compilers that fill it from the top (those
// of big-endian PowerPC cores, for instance) need each byte's members in
// reverse order (MsbFirst) to put them in the same bits.
enum class DbcBitOrder { LsbFirst, MsbFirst };

// How the header is written, and whether its layout check is written beside it.
struct DbcHeaderForm {
    DbcBitOrder bitOrder = DbcBitOrder::LsbFirst;
    bool layoutCheck = false; // also write "dbc_2_struct_check.c"
};

// The DBC conversion engine: reads a DBC file into a table of fixed-size
// message records, writes "dbc_2_struct.h" from it, and packs raw signal
// values into a message's eight data bytes.
class CDBC : public QObject
{
    Q_OBJECT

public:
    // Receives every note the engine shows the user: its title, its text and
    // its details. Only the success note of transDbc() has details, and only
    // when the header leaves something out: findingsDetails() of its
    // findings, one line each; every other note has none. The window shows a
    // note as a message box without a parent window; while no notifier is set
    // a note is written as a warning.
    using Notifier =
        std::function<void(const QString &title, const QString &text, const QString &details)>;

    // Why the last readDbc() call failed, so the driver can tell the user.
    enum class ReadError { None, FileNotOpen, TooManyMessages };

    CDBC();
    ~CDBC() override;

    // Conversion driver: read, clear data bytes, flip start bits, write the
    // header. True when the header was written; its success note carries
    // the findings as details.
    bool transDbc(QString dbcPath, QString outputDir);
    // Its first half: read, clear data bytes, flip start bits. True when the
    // file was read; a failure is told to the user.
    bool loadDbc(QString dbcPath);
    // What the header of the loaded table leaves out or gets wrong, in the
    // order of the DBC file's lines; derived from the header's own bit walk.
    QVector<DbcFinding> findings() const;
    // Findings as compilers write their warnings, one line each:
    // "FILE:LINE: warning: TEXT", or "PROGRAM: warning: TEXT in FILE" for the
    // file as a whole; then their total and how many there are of each kind.
    // Empty when there are none.
    static QStringList findingsReport(const QString &program, const QString &dbcFile,
                                      const QVector<DbcFinding> &findings);
    // The same findings as the success note's details give them: first
    // "NAME: " and the totals, NAME the file's name without its folder, then
    // "line LINE: TEXT" for each (TEXT alone for the file as a whole).
    // Empty when there are none.
    static QStringList findingsDetails(const QString &dbcFile, const QVector<DbcFinding> &findings);
    // Mirrors every signal's start bit within its byte (bit k becomes bit 7 - k).
    void flipStartBits(CanMsgInfo *table, int count);

    // DBC reader. Allocates the table through the out-parameters and fills it;
    // returns 0 on success, -1 on failure (see lastReadError()). When `table`
    // is the address of this object's msgTable, the previous table is released.
    int readDbc(CanMsgInfo **table, int *count, QString dbcPath);
    // Runs `pattern` globally over `text`; stores each whole match into
    // results[0..] and the number of matches into *resultCnt. Returns -1 and
    // touches nothing when the pattern is rejected. The caller's array must
    // hold as many slots as there can be matches.
    int regexCaptureAll(QString pattern, QString text, QString *results, int *resultCnt);
    ReadError lastReadError() const { return readError; }
    // Where each record of the last read stands in the DBC file: its BO_ and
    // SG_ lines, one entry per record of msgTable.
    const QVector<DbcSourceMessage> &messageSources() const { return sourceMessages; }

    // Why the last conversion (or read, or preparation) failed: the file or
    // directory concerned and the system's reason. Empty until a failure.
    QString failedPath() const { return failurePath; }
    QString failureReason() const { return failureText; }

    // Makes sure the directory exists, checks that `fileName` can be replaced
    // in it and restores the working directory. False when it cannot.
    bool prepareOutputFile(QString dirPath, QString fileName);
    // Replaces "dbc_2_struct.h" in `outputDir` by the header of the table, in
    // one step, and tells the user. True when the header was written. With
    // form.layoutCheck, "dbc_2_struct_check.c" is written beside it: both are
    // written in full before either replaces its old file, so that a failed
    // write leaves both old files.
    bool writeStructHeader(CanMsgInfo *table, int count, QString outputDir,
                           const DbcHeaderForm &form = DbcHeaderForm());
    // The exact bytes of the header for a table (CR LF line ends included).
    static QByteArray buildStructHeader(const CanMsgInfo *table, int count,
                                        DbcBitOrder order = DbcBitOrder::LsbFirst);
    // The exact bytes of the header's layout check, "dbc_2_struct_check.c":
    // C that proves, on the compiler that builds it, that every member of
    // every struct lies in the bits of the bit walk. The same for both bit
    // orders, since both headers mean the same bits.
    static QByteArray buildLayoutCheck(const CanMsgInfo *table, int count);

    // The one seam through which the engine shows notes. Returns the previous
    // notifier; passing an empty function restores the default.
    static Notifier setNotifier(Notifier notifier);
    // A notifier of title and text alone gets every note without its details.
    template <
        typename TwoArguments,
        std::enable_if_t<std::is_invocable_v<TwoArguments &, const QString &, const QString &>,
                         bool> = true>
    static Notifier setNotifier(TwoArguments notifier)
    {
        return setNotifier(
            Notifier([notifier](const QString &title, const QString &text,
                                const QString &) mutable { notifier(title, text); }));
    }
    static void notify(const QString &title, const QString &text,
                       const QString &details = QString());

    // Switches the engine's own debug lines (every step of a read and of a
    // conversion, on Qt's debug stream in the category "default") on or off
    // for the whole process; on by default. Off, not one of them is built,
    // and the program's own debug lines are not touched.
    static void setDebugLines(bool on);
    static bool debugLines();

    // The message table: msgCnt records in one heap block owned by this object.
    CanMsgInfo *msgTable;
    int msgCnt;

public slots:
    void canInfoTransferData(QString canInfoName, UINT32 value);

private:
    void setFailure(const QString &path, const QString &reason);
    bool writeHeader(const CanMsgInfo *table, int count, const QString &outputDir,
                     const QString &successDetails, const DbcHeaderForm &form = DbcHeaderForm());

    ReadError readError = ReadError::None;
    QVector<DbcSourceMessage> sourceMessages; // one per record of the last read
    QString failurePath;
    QString failureText;
};

#endif // CDBC_H
