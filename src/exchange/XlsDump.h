#pragma once

// The helper program that reads an .xls file for the importer, in a process
// of its own: the parsing library may crash on a damaged file, and then only
// the helper ends. It takes the file's path and prints the first worksheet on
// standard output: each row is its cells and a line feed, each cell its length
// in bytes in decimal, a colon and its UTF-8 text, so any text passes as it is.
namespace XlsDump {

constexpr const char *kProgram = "bookkeep-xls";
// Exit codes other than these, a crash included, mean a damaged file.
constexpr int kRowsPrinted = 0;
constexpr int kNotXls = 2;

} // namespace XlsDump
