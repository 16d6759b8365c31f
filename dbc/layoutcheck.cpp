// SPDX-License-Identifier: MIT
// The frame check written beside the header, "dbc_2_struct_check.c".
// Firmware copies a frame's 8 data bytes into a message's struct and reads
// each signal from its members; the C standard leaves the order of
// bit-fields within a byte to the compiler. The check lets the compiler that
// builds the firmware prove that every signal the header writes then reads
// what the DBC file puts at its bits of the frame. The frame is the truth:
// the check computes each signal's frame bits from its start bit, length and
// byte order, never from the walk that wrote the header, and reads the
// signal from its members as the header's form joins its parts.
//
// The C it writes is plain C89 that also compiles as C++: one function per
// struct reads a signal by its number, and a table gives each signal's
// struct, frame bits and name, one line per signal.
#include <quarvel/cdbc.h>

#include "bitwalk.h"

#include <algorithm>
#include <vector>

namespace
{

using BitWalk::appendLiteral;
using BitWalk::MemberName;

const char Preamble[] =
    "/*\r\n"
    " * Frame check of dbc_2_struct.h, written with it.\r\n"
    " *\r\n"
    " * Firmware copies a received frame's 8 data bytes into a message's struct\r\n"
    " * (memcpy) and reads each signal from its members. This file proves, on the\r\n"
    " * compiler that builds it, that every signal the header writes then reads\r\n"
    " * the value the DBC file puts at its bits of the frame: its start bit, its\r\n"
    " * length and its byte order. Bits are numbered byte * 8 + bit, bit 0 the\r\n"
    " * least significant of its byte.\r\n"
    " *\r\n"
    " * For each bit of a signal alone, that bit is put into a zeroed frame and\r\n"
    " * must read as exactly that bit of the signal; with every other bit of the\r\n"
    " * frame set, the signal must read 0. A signal's parts are joined by the\r\n"
    " * header's rule: in the default form part 0 holds the most significant\r\n"
    " * bits; in the frame form part k lies in the k-th byte the signal touches,\r\n"
    " * so part 0 is the most significant of a big-endian signal (@0) and the\r\n"
    " * least significant of a little-endian one (@1). Signals whose members or\r\n"
    " * bits lie past the 8 data bytes, and signals without a name, are left out.\r\n"
    " *\r\n"
    " * dbc_2_struct_check() returns 0 when every signal reads right, otherwise\r\n"
    " * the number (from 1, in the order of the DBC file) of the first that does\r\n"
    " * not, or whose struct has another size; dbc_2_struct_check_type() and\r\n"
    " * dbc_2_struct_check_signal() give its struct's type name and its name.\r\n"
    " *\r\n"
    " * Built with -DDBC_2_STRUCT_CHECK_MAIN it is a program: it prints each\r\n"
    " * signal that reads wrong as TYPE.signal with the frame bits it should read\r\n"
    " * and those it reads, its most significant bit first, then their count, and\r\n"
    " * exits with status 1; or it prints how many signals it checked and exits\r\n"
    " * with status 0.\r\n"
    " */\r\n"
    "#include \"dbc_2_struct.h\"\r\n"
    "\r\n"
    "#include <string.h>\r\n"
    "\r\n"
    "int dbc_2_struct_check(void);\r\n"
    "const char *dbc_2_struct_check_type(int number);\r\n"
    "const char *dbc_2_struct_check_signal(int number);\r\n"
    "const char *dbc_2_struct_check_member(int number);\r\n"
    "\r\n";

const char PutCode[] =
    "/* Where a member reading more than its width marks it, after a signal's bits. */\r\n"
    "#define DBC_CHECK_WIDER 64\r\n"
    "\r\n"
    "/* Puts the `width` low bits of a member's `value` into bits[*at] on, the\r\n"
    " * most significant first, and moves *at past them. */\r\n"
    "static void dbc_check_put(unsigned char *bits, int *at, unsigned value, int width)\r\n"
    "{\r\n"
    "    int k;\r\n"
    "\r\n"
    "    if ((value >> width) != 0)\r\n"
    "        bits[DBC_CHECK_WIDER] = 1;\r\n"
    "    for (k = width - 1; k >= 0; --k)\r\n"
    "        bits[(*at)++] = (unsigned char)((value >> k) & 1u);\r\n"
    "}\r\n"
    "\r\n"
    "/* For each struct, a function that copies `frame` into a zeroed struct,\r\n"
    " * reads signal `number` from its members into `bits` and returns the\r\n"
    " * struct's size. */\r\n";

const char TablesStart[] =
    "/* Each struct: its type name, its size in bytes, and its reader. */\r\n"
    "static const struct dbc_check_struct {\r\n"
    "    const char *name;\r\n"
    "    size_t bytes;\r\n"
    "    size_t (*read)(const unsigned char *frame, int number, unsigned char *bits);\r\n"
    "} dbc_check_structs[] = {\r\n";

const char TablesMiddle[] =
    "};\r\n"
    "\r\n"
    "/* Each signal, in the order of its number: its struct, its start bit,\r\n"
    " * length and byte order as the DBC file gives them, and its name. */\r\n"
    "static const struct dbc_check_signal {\r\n"
    "    unsigned short type;\r\n"
    "    unsigned char start;\r\n"
    "    unsigned char length;\r\n"
    "    unsigned char little_endian;\r\n"
    "    const char *name;\r\n"
    "} dbc_check_signals[] = {\r\n";

// The part of the check that is the same for every header, after the tables:
// the check of one signal, the public functions and the program.
const char CheckCode[] =
    "};\r\n"
    "\r\n"
    "/* The frame bit of a signal's bit `i`, counted from its most significant\r\n"
    " * (0) down. A little-endian signal runs up from its start bit, its least\r\n"
    " * significant; a big-endian one runs down from its start bit, its most\r\n"
    " * significant, within its byte and on from bit 7 of the next byte. */\r\n"
    "static int dbc_check_frame_bit(const struct dbc_check_signal *sig, int i)\r\n"
    "{\r\n"
    "    int bit = sig->start;\r\n"
    "\r\n"
    "    if (sig->little_endian)\r\n"
    "        return bit + sig->length - 1 - i;\r\n"
    "    for (; i > 0; --i)\r\n"
    "        bit = bit % 8 == 0 ? bit + 15 : bit - 1;\r\n"
    "    return bit;\r\n"
    "}\r\n"
    "\r\n"
    "/* Reads signal `number` from `frame` into bits[0] to bits[length - 1], the\r\n"
    " * most significant first; returns its struct's size. */\r\n"
    "static size_t dbc_check_read(int number, const unsigned char *frame, unsigned char *bits)\r\n"
    "{\r\n"
    "    memset(bits, 0, DBC_CHECK_WIDER + 1);\r\n"
    "    return dbc_check_structs[dbc_check_signals[number - 1].type].read(frame, number, "
    "bits);\r\n"
    "}\r\n"
    "\r\n"
    "/* Whether every bit of signal `number`, alone in a zeroed frame, reads as\r\n"
    " * exactly that bit, and every other bit of the frame set reads as 0. */\r\n"
    "static int dbc_check_reads_right(int number)\r\n"
    "{\r\n"
    "    const struct dbc_check_signal *sig = &dbc_check_signals[number - 1];\r\n"
    "    unsigned char frame[8];\r\n"
    "    unsigned char bits[DBC_CHECK_WIDER + 1];\r\n"
    "    int i;\r\n"
    "    int k;\r\n"
    "    int bit;\r\n"
    "\r\n"
    "    for (i = 0; i < sig->length; ++i) {\r\n"
    "        bit = dbc_check_frame_bit(sig, i);\r\n"
    "        memset(frame, 0, sizeof frame);\r\n"
    "        frame[bit / 8] = (unsigned char)(1u << (bit % 8));\r\n"
    "        dbc_check_read(number, frame, bits);\r\n"
    "        for (k = 0; k <= DBC_CHECK_WIDER; ++k) {\r\n"
    "            if (bits[k] != (k == i))\r\n"
    "                return 0;\r\n"
    "        }\r\n"
    "    }\r\n"
    "    memset(frame, 0xFF, sizeof frame);\r\n"
    "    for (i = 0; i < sig->length; ++i) {\r\n"
    "        bit = dbc_check_frame_bit(sig, i);\r\n"
    "        frame[bit / 8] &= (unsigned char)~(1u << (bit % 8));\r\n"
    "    }\r\n"
    "    dbc_check_read(number, frame, bits);\r\n"
    "    for (k = 0; k <= DBC_CHECK_WIDER; ++k) {\r\n"
    "        if (bits[k] != 0)\r\n"
    "            return 0;\r\n"
    "    }\r\n"
    "    return 1;\r\n"
    "}\r\n"
    "\r\n"
    "/* Whether signal `number`'s struct has the size the header gives it. */\r\n"
    "static int dbc_check_right_size(int number)\r\n"
    "{\r\n"
    "    unsigned char frame[8];\r\n"
    "    unsigned char bits[DBC_CHECK_WIDER + 1];\r\n"
    "\r\n"
    "    memset(frame, 0, sizeof frame);\r\n"
    "    return dbc_check_read(number, frame, bits) ==\r\n"
    "           dbc_check_structs[dbc_check_signals[number - 1].type].bytes;\r\n"
    "}\r\n"
    "\r\n"
    "int dbc_2_struct_check(void)\r\n"
    "{\r\n"
    "    int number;\r\n"
    "\r\n"
    "    for (number = 1; number <= DBC_2_STRUCT_CHECK_SIGNALS; ++number) {\r\n"
    "        if (!dbc_check_right_size(number) || !dbc_check_reads_right(number))\r\n"
    "            return number;\r\n"
    "    }\r\n"
    "    return 0;\r\n"
    "}\r\n"
    "\r\n"
    "const char *dbc_2_struct_check_type(int number)\r\n"
    "{\r\n"
    "    if (number < 1 || number > DBC_2_STRUCT_CHECK_SIGNALS)\r\n"
    "        return \"\";\r\n"
    "    return dbc_check_structs[dbc_check_signals[number - 1].type].name;\r\n"
    "}\r\n"
    "\r\n"
    "const char *dbc_2_struct_check_signal(int number)\r\n"
    "{\r\n"
    "    if (number < 1 || number > DBC_2_STRUCT_CHECK_SIGNALS)\r\n"
    "        return \"\";\r\n"
    "    return dbc_check_signals[number - 1].name;\r\n"
    "}\r\n"
    "\r\n"
    "/* The name of earlier checks, which checked members: the signal's name. */\r\n"
    "const char *dbc_2_struct_check_member(int number)\r\n"
    "{\r\n"
    "    return dbc_2_struct_check_signal(number);\r\n"
    "}\r\n"
    "\r\n"
    "#ifdef DBC_2_STRUCT_CHECK_MAIN\r\n"
    "#include <stdio.h>\r\n"
    "\r\n"
    "/* Prints frame bits, one per bit of a signal, as runs such as \"7 to 0, 15\r\n"
    " * to 8\"; a bit no frame bit reaches as \"none\", one several reach as\r\n"
    " * \"several\". */\r\n"
    "static void dbc_check_print_bits(const int *bits, int count)\r\n"
    "{\r\n"
    "    int i;\r\n"
    "    int last;\r\n"
    "    int step;\r\n"
    "\r\n"
    "    for (i = 0; i < count; i = last + 1) {\r\n"
    "        last = i;\r\n"
    "        step = 0;\r\n"
    "        if (bits[i] >= 0 && i + 1 < count &&\r\n"
    "            (bits[i + 1] == bits[i] + 1 || bits[i + 1] == bits[i] - 1))\r\n"
    "            step = bits[i + 1] - bits[i];\r\n"
    "        while (step != 0 && last + 1 < count && bits[last + 1] == bits[last] + step)\r\n"
    "            ++last;\r\n"
    "        if (i > 0)\r\n"
    "            fputs(\", \", stdout);\r\n"
    "        if (bits[i] == -1)\r\n"
    "            fputs(\"none\", stdout);\r\n"
    "        else if (bits[i] == -2)\r\n"
    "            fputs(\"several\", stdout);\r\n"
    "        else if (last > i)\r\n"
    "            printf(\"%d to %d\", bits[i], bits[last]);\r\n"
    "        else\r\n"
    "            printf(\"%d\", bits[i]);\r\n"
    "    }\r\n"
    "}\r\n"
    "\r\n"
    "/* Prints what signal `number` reads: for each of its bits the frame bit\r\n"
    " * that sets it, and the frame bits that set a member beyond its width. */\r\n"
    "static void dbc_check_print_wrong(int number)\r\n"
    "{\r\n"
    "    const struct dbc_check_signal *sig = &dbc_check_signals[number - 1];\r\n"
    "    int should[64];\r\n"
    "    int reads[64];\r\n"
    "    int beyond[64];\r\n"
    "    int beyonds = 0;\r\n"
    "    unsigned char frame[8];\r\n"
    "    unsigned char bits[DBC_CHECK_WIDER + 1];\r\n"
    "    int i;\r\n"
    "    int bit;\r\n"
    "\r\n"
    "    for (i = 0; i < sig->length; ++i) {\r\n"
    "        should[i] = dbc_check_frame_bit(sig, i);\r\n"
    "        reads[i] = -1;\r\n"
    "    }\r\n"
    "    for (bit = 0; bit < 64; ++bit) {\r\n"
    "        memset(frame, 0, sizeof frame);\r\n"
    "        frame[bit / 8] = (unsigned char)(1u << (bit % 8));\r\n"
    "        dbc_check_read(number, frame, bits);\r\n"
    "        for (i = 0; i < sig->length; ++i) {\r\n"
    "            if (bits[i] != 0)\r\n"
    "                reads[i] = reads[i] == -1 ? bit : -2;\r\n"
    "        }\r\n"
    "        if (bits[DBC_CHECK_WIDER] != 0)\r\n"
    "            beyond[beyonds++] = bit;\r\n"
    "    }\r\n"
    "    printf(\"%s.%s: should read frame bit%s \", dbc_2_struct_check_type(number), "
    "sig->name,\r\n"
    "           sig->length == 1 ? \"\" : \"s\");\r\n"
    "    dbc_check_print_bits(should, sig->length);\r\n"
    "    fputs(\", reads \", stdout);\r\n"
    "    dbc_check_print_bits(reads, sig->length);\r\n"
    "    if (beyonds > 0) {\r\n"
    "        fputs(\", and beyond its width \", stdout);\r\n"
    "        dbc_check_print_bits(beyond, beyonds);\r\n"
    "    }\r\n"
    "    fputs(\"\\n\", stdout);\r\n"
    "}\r\n"
    "\r\n"
    "/* Prints every struct of another size and every signal that reads wrong,\r\n"
    " * then their count, exit status 1; or how many signals were checked, exit\r\n"
    " * status 0. */\r\n"
    "int main(void)\r\n"
    "{\r\n"
    "    int number;\r\n"
    "    int wrong = 0;\r\n"
    "    int wrong_size = 0;\r\n"
    "\r\n"
    "    for (number = 1; number <= DBC_2_STRUCT_CHECK_SIGNALS; ++number) {\r\n"
    "        const struct dbc_check_signal *sig = &dbc_check_signals[number - 1];\r\n"
    "        const struct dbc_check_struct *type = &dbc_check_structs[sig->type];\r\n"
    "\r\n"
    "        if ((number == 1 || dbc_check_signals[number - 2].type != sig->type) &&\r\n"
    "            !dbc_check_right_size(number)) {\r\n"
    "            unsigned char frame[8];\r\n"
    "            unsigned char bits[DBC_CHECK_WIDER + 1];\r\n"
    "\r\n"
    "            memset(frame, 0, sizeof frame);\r\n"
    "            printf(\"%s: a struct of %lu bytes, should be %lu\\n\", type->name,\r\n"
    "                   (unsigned long)dbc_check_read(number, frame, bits), (unsigned "
    "long)type->bytes);\r\n"
    "            ++wrong_size;\r\n"
    "        }\r\n"
    "        if (dbc_check_reads_right(number))\r\n"
    "            continue;\r\n"
    "        ++wrong;\r\n"
    "        dbc_check_print_wrong(number);\r\n"
    "    }\r\n"
    "    if (wrong > 0 || wrong_size > 0) {\r\n"
    "        printf(\"%d of %d signals read wrong\", wrong, DBC_2_STRUCT_CHECK_SIGNALS);\r\n"
    "        if (wrong_size > 0)\r\n"
    "            printf(\", %d of %d structs of another size\", wrong_size, DBC_CHECK_STRUCTS);\r\n"
    "        fputs(DBC_CHECK_LEFT_OUT_TEXT \"\\n\", stdout);\r\n"
    "        return 1;\r\n"
    "    }\r\n"
    "    printf(\"%d signals checked, all read right\" DBC_CHECK_LEFT_OUT_TEXT \"\\n\",\r\n"
    "           DBC_2_STRUCT_CHECK_SIGNALS);\r\n"
    "    return 0;\r\n"
    "}\r\n"
    "#endif\r\n";

// For a header without a signal to check.
const char EmptyCheckCode[] =
    "int dbc_2_struct_check(void)\r\n"
    "{\r\n"
    "    return 0;\r\n"
    "}\r\n"
    "\r\n"
    "const char *dbc_2_struct_check_type(int number)\r\n"
    "{\r\n"
    "    (void)number;\r\n"
    "    return \"\";\r\n"
    "}\r\n"
    "\r\n"
    "const char *dbc_2_struct_check_signal(int number)\r\n"
    "{\r\n"
    "    (void)number;\r\n"
    "    return \"\";\r\n"
    "}\r\n"
    "\r\n"
    "const char *dbc_2_struct_check_member(int number)\r\n"
    "{\r\n"
    "    (void)number;\r\n"
    "    return \"\";\r\n"
    "}\r\n"
    "\r\n"
    "#ifdef DBC_2_STRUCT_CHECK_MAIN\r\n"
    "#include <stdio.h>\r\n"
    "\r\n"
    "int main(void)\r\n"
    "{\r\n"
    "    printf(\"0 signals checked, all read right\" DBC_CHECK_LEFT_OUT_TEXT \"\\n\");\r\n"
    "    return 0;\r\n"
    "}\r\n"
    "#endif\r\n";

// One member of a signal: its full name (part number appended) and width.
struct Part {
    MemberName name;
    int width;
};

// The closing lines' words on the signals left out, as a C string literal
// after them (empty when none is).
QByteArray leftOutText(int leftOut)
{
    if (leftOut == 0)
        return "\"\"";
    return "\"; " + QByteArray::number(leftOut) +
           " left out (past the 8 data bytes, or without a name)\"";
}

} // namespace

// Each struct with a signal to check gets a reader, dbc_check_read_<index>,
// whose switch reads each of its signals from its members, joined most
// significant first; the table of signals gives each one's frame bits.
QByteArray CDBC::buildLayoutCheck(const CanMsgInfo *table, int count, const DbcHeaderForm &form,
                                  const DbcByteOrders &byteOrders)
{
    QByteArray readers;
    QByteArray structRows;
    QByteArray signalRows;
    int checked = 0;
    int leftOut = 0;
    int types = 0;
    for (int i = 0; table != nullptr && i < count; ++i) {
        const CanMsgInfo &msg = table[i];
        const BitWalk::Form walkForm = BitWalk::formOf(form, byteOrders, i);
        // Each written signal's members, by slot, in the order of their part
        // numbers (both walks visit a signal's parts in that order); and the
        // struct's size.
        std::vector<Part> parts[DbcLimits::MaxSignals];
        int bits = 0;
        BitWalk::walk(
            msg, walkForm,
            [&](const MemberName &name, int part, int width, const CanSignalInfo *sig,
                int firstBit) {
                bits = qMax(bits, firstBit + width);
                if (sig)
                    parts[sig - msg.signalInfo].push_back({BitWalk::withPart(name, part), width});
            });
        const int bytes = walkForm.frames ? DbcLimits::DataBytes : (bits + 7) / 8;
        const QByteArray index = QByteArray::number(types);
        QByteArray cases;
        for (int slot = 0; slot < DbcLimits::MaxSignals; ++slot) {
            std::vector<Part> &members = parts[slot];
            if (members.empty())
                continue;
            const CanSignalInfo &sig = msg.signalInfo[slot];
            const bool littleEndian = BitWalk::isLittleEndian(walkForm.littleEndianSlots, slot);
            const BitWalk::FrameBits frame(sig, littleEndian);
            // The default form writes a signal past bit 63 in full, its
            // struct wider than the 8 data bytes a frame fills.
            const bool pastBit63 = sig.bitStart + sig.bitLength > DbcLimits::PayloadBits;
            if (frame.beyondByte7 || (!walkForm.frames && pastBit63) || sig.signalName[0] == '\0') {
                ++leftOut;
                continue;
            }
            // Most significant part first: part 0 but for a little-endian
            // signal in the frame form.
            if (walkForm.frames && littleEndian)
                std::reverse(members.begin(), members.end());
            const QByteArray number = QByteArray::number(++checked);
            cases += "    case " + number + ":\r\n";
            for (const Part &member : members) {
                cases += "        dbc_check_put(bits, &at, s.";
                cases.append(member.name.bytes, member.name.length);
                cases += ", " + QByteArray::number(member.width) + ");\r\n";
            }
            cases += "        break;\r\n";
            const MemberName name = BitWalk::latin1BytesAsUtf8(sig.signalName);
            signalRows += "    {" + index + ", " + QByteArray::number(frame.start) + ", " +
                          QByteArray::number(frame.length) + ", " +
                          QByteArray::number(int(littleEndian)) + ", \"";
            signalRows.append(name.bytes, name.length);
            signalRows += "\"},\r\n";
        }
        if (cases.isEmpty())
            continue;
        const QByteArray typeName = BitWalk::messageName(msg.msgName) + "_Type";
        readers += "static size_t dbc_check_read_" + index +
                   "(const unsigned char *frame, int number, unsigned char *bits)\r\n"
                   "{\r\n    " +
                   typeName +
                   " s;\r\n"
                   "    int at = 0;\r\n"
                   "\r\n"
                   "    memset(&s, 0, sizeof s);\r\n"
                   "    memcpy(&s, frame, sizeof s < 8u ? sizeof s : 8u);\r\n"
                   "    switch (number) {\r\n" +
                   cases +
                   "    default:\r\n"
                   "        break;\r\n"
                   "    }\r\n"
                   "    return sizeof s;\r\n"
                   "}\r\n\r\n";
        structRows += "    {\"" + typeName + "\", " + QByteArray::number(bytes) +
                      ", dbc_check_read_" + index + "},\r\n";
        ++types;
    }

    QByteArray out = Preamble;
    out += "#define DBC_2_STRUCT_CHECK_SIGNALS " + QByteArray::number(checked) + "\r\n";
    out += "#define DBC_CHECK_LEFT_OUT_TEXT " + leftOutText(leftOut) + "\r\n\r\n";
    if (checked == 0)
        return out + EmptyCheckCode;

    out.reserve(out.size() + readers.size() + structRows.size() + signalRows.size() +
                int(sizeof PutCode + sizeof CheckCode + 512));
    appendLiteral(out, "/* The structs checked. */\r\n#define DBC_CHECK_STRUCTS ");
    out += QByteArray::number(types) + "\r\n\r\n";
    appendLiteral(out, PutCode);
    out += readers;
    appendLiteral(out, TablesStart);
    out += structRows;
    appendLiteral(out, TablesMiddle);
    out += signalRows;
    appendLiteral(out, CheckCode);
    return out;
}
