#include "sim/trace_record.h"

#include <cstdlib>
#include <sstream>

namespace qzsim {
namespace {

// "-" (not given) reads as -1; numbers may be decimal or 0x-hexadecimal.
int64_t fieldNumber(const std::string& text) {
    if (text.empty() || text == "-") return -1;
    return strtoll(text.c_str(), nullptr, 0);
}

std::vector<uint8_t> hexBytes(const std::string& text) {
    std::vector<uint8_t> bytes;
    if (text == "-") return bytes;
    for (size_t i = 0; i + 1 < text.size(); i += 2) {
        bytes.push_back(static_cast<uint8_t>(strtoul(text.substr(i, 2).c_str(), nullptr, 16)));
    }
    return bytes;
}

}  // namespace

bool parseTraceLine(const std::string& line, TraceRecord& record) {
    record = TraceRecord{};
    record.line = line;
    std::istringstream stream(line);
    std::string token;
    int seen = 0;
    while (stream >> token) {
        const size_t equals = token.find('=');
        if (equals == std::string::npos) return false;
        const std::string key = token.substr(0, equals);
        const std::string value = token.substr(equals + 1);
        if (key == "t") record.microseconds = fieldNumber(value);
        else if (key == "h") record.handle = static_cast<uint32_t>(fieldNumber(value));
        else if (key == "fn") record.functionCode = static_cast<uint32_t>(strtoul(value.c_str(), nullptr, 16));
        else if (key == "cmd") record.command = static_cast<int>(fieldNumber(value));
        else if (key == "value") record.value = static_cast<int>(fieldNumber(value));
        else if (key == "len") record.length = static_cast<int>(fieldNumber(value));
        else if (key == "out") record.delivered = static_cast<int>(fieldNumber(value));
        else if (key == "data") record.data = hexBytes(value);
        else if (key == "result") record.result = static_cast<int32_t>(fieldNumber(value));
        else if (key == "err") record.error = static_cast<uint32_t>(fieldNumber(value));
        else continue;
        ++seen;
    }
    return seen >= 9;  // every field but the optional err
}

}  // namespace qzsim
