#include "settings/progress_log.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace spelvane {

void ProgressLog::append(const char* format, ...) {
    char piece[kPieceSize];
    std::memset(piece, 0, sizeof piece);
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(piece, kPieceSize, format, arguments);
    va_end(arguments);
    piece[kPieceSize - 1] = '\0';
    appendText(piece);
}

}  // namespace spelvane
