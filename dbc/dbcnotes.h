// SPDX-License-Identifier: MIT
#ifndef DBCNOTES_H
#define DBCNOTES_H

// The texts of the notes the engine shows the user, UTF-8. Front ends that
// route the notes elsewhere (the command-line converter) recognise the
// outcome by them.
namespace DbcNotes
{

constexpr const char *Title = "NOTE";
constexpr const char *HeaderWritten = "文件已生成，请查看！";
constexpr const char *HeaderNotWritten = "文件打开失败！";
constexpr const char *OutputNotOpened = "打开失败！";
constexpr const char *DbcNotRead = "打开文件失败，请检查文件！";
constexpr const char *TooManyMessages = "DBC文件报文数量超过300，无法生成！";

} // namespace DbcNotes

#endif // DBCNOTES_H
