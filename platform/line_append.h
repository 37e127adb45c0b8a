#pragma once
// Adding whole lines to the end of a file that other programs, on this
// computer or on others sharing the folder, add to at the same moment: the
// change history, and a site's report file that every workstation appends
// to. From the look at the file's end to the last byte written the file's
// append lock is held, so the lines of two programs land whole, one
// program's after the other's, never mixed.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace spelvane::platform {

// How long an append waits for another program to let go of the file (one
// that holds it open without letting others write, a spreadsheet) or of
// its append lock (another workstation appending, a stale session on the
// file server), trying again every kAppendPollMs. Past it the append fails,
// and later appends of this process to that file fail at once while it is
// still held: a start-up script must end whatever holds the file.
constexpr uint32_t kAppendWaitMs = 5000;
constexpr uint32_t kAppendPollMs = 100;

// What goes behind a file that is empty (the header first) or that ends in
// lastByte: a last line that a crash cut short is ended first (CR LF, or
// the LF of a lone CR), so that the first line starts one of its own; then
// the lines, each ending in its one LF.
std::string textToAppend(bool empty, char lastByte, const std::string& header, const std::vector<std::string>& lines);

// Appends lines to the file at path, creating it when missing; they are on
// disk (flushDurably) when it returns true. Never rewrites, reorders or
// truncates. False with a one-line reason ("cannot open PATH: it is in
// use ...", naming who may hold it after kAppendWaitMs) when they may not
// all be there. wholeLines, when given, tells how
// many of the lines, from the first, are whole in the file, failed or not:
// a write that stopped partway leaves those and the beginning of the next
// (which the next append ends); a failed flush leaves them all. Written
// again, they would be in the file twice.
bool appendLines(const std::string& path, const std::string& header, const std::vector<std::string>& lines,
                 std::string& error, size_t* wholeLines = nullptr);

}  // namespace spelvane::platform
