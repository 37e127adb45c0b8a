#include "platform/library_search.h"

#include <algorithm>
#include <cctype>

namespace spelvane::platform {
namespace {

// MAX_PATH of the ANSI calls, terminator included.
constexpr size_t kLongestPath = 259;

bool isSeparator(char c) { return c == '\\' || c == '/'; }

std::string withoutQuotes(std::string folder) {
    folder.erase(std::remove(folder.begin(), folder.end(), '"'), folder.end());
    return folder;
}

// Folders compare as Windows names do: without case, either separator, a
// trailing separator or not.
std::string comparable(const std::string& folder) {
    std::string key;
    for (char c : folder) key += isSeparator(c) ? '\\' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    while (key.size() > 3 && key.back() == '\\') key.pop_back();
    return key;
}

// LOAD_WITH_ALTERED_SEARCH_PATH is promised to work only on a path with
// backslashes; a PATH entry may be written with either.
std::string withBackslashes(std::string folder) {
    std::replace(folder.begin(), folder.end(), '/', '\\');
    return folder;
}

// The 16-bit system folder, which the system's own search looks in after
// the 32-bit one.
std::string system16Of(const std::string& windows) {
    if (windows.empty()) return {};
    return isSeparator(windows.back()) ? windows + "System" : windows + "\\System";
}

}  // namespace

bool isAbsoluteWindowsFolder(const std::string& folder) {
    if (folder.size() >= 3 && std::isalpha(static_cast<unsigned char>(folder[0])) && folder[1] == ':' &&
        isSeparator(folder[2]))
        return true;
    return folder.size() >= 3 && isSeparator(folder[0]) && isSeparator(folder[1]) && !isSeparator(folder[2]);
}

std::vector<std::string> libraryCandidates(const std::string& fileName, const LibrarySearchFolders& folders) {
    std::vector<std::string> ordered = {folders.program, folders.system, system16Of(folders.windows),
                                        folders.windows};
    size_t start = 0;
    while (start <= folders.pathVariable.size()) {
        size_t end = folders.pathVariable.find(';', start);
        if (end == std::string::npos) end = folders.pathVariable.size();
        const std::string entry = withoutQuotes(folders.pathVariable.substr(start, end - start));
        if (isAbsoluteWindowsFolder(entry)) ordered.push_back(entry);
        start = end + 1;
    }

    std::vector<std::string> candidates;
    std::vector<std::string> seen;
    for (const std::string& given : ordered) {
        if (given.empty()) continue;
        const std::string folder = withBackslashes(given);
        const std::string key = comparable(folder);
        if (std::find(seen.begin(), seen.end(), key) != seen.end()) continue;
        seen.push_back(key);
        const std::string path = isSeparator(folder.back()) ? folder + fileName : folder + "\\" + fileName;
        if (path.size() <= kLongestPath) candidates.push_back(path);
    }
    return candidates;
}

}  // namespace spelvane::platform
