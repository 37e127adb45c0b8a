// The helpers that follow only the platform's path conventions and the C
// runtime; the calls into the operating system are in sim/os/<platform>/.
#include "sim/sim_os.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "sim/os/sim_os_native.h"

namespace qzsim {

static bool isSeparator(char c) { return c == native::kSeparator || c == native::kOtherSeparator; }

bool isAbsolutePath(const std::string& path) {
    if (path.empty()) return false;
    if (isSeparator(path[0])) return true;
    return native::kDriveLetters && path.size() >= 2 && path[1] == ':';
}

std::string directoryOf(const std::string& path) {
    for (size_t i = path.size(); i > 0; --i) {
        if (isSeparator(path[i - 1])) return path.substr(0, i - 1 == 0 ? 1 : i - 1);
    }
    return ".";
}

std::string joinPath(const std::string& directory, const std::string& name) {
    if (isAbsolutePath(name) || directory.empty()) return name;
    if (isSeparator(directory.back())) return directory + name;
    return directory + native::kSeparator + name;
}

ReadStatus readWholeFile(const std::string& path, std::vector<uint8_t>& bytes) {
    bytes.clear();
    FILE* file = fopen(path.c_str(), "rb");
    if (!file) return errno == ENOENT ? ReadStatus::missing : ReadStatus::failed;
    uint8_t chunk[4096];
    size_t got;
    while ((got = fread(chunk, 1, sizeof(chunk), file)) > 0) {
        bytes.insert(bytes.end(), chunk, chunk + got);
        if (bytes.size() > (1u << 20)) break;  // nothing we read is this large
    }
    bool failed = ferror(file) != 0;
    fclose(file);
    return failed ? ReadStatus::failed : ReadStatus::ok;
}

bool replaceFile(const std::string& path, const uint8_t* bytes, size_t size, std::string& error) {
    std::string temporary = path + ".tmp";
    FILE* file = fopen(temporary.c_str(), "wb");
    if (!file) {
        error = "cannot create " + temporary + ": " + strerror(errno);
        return false;
    }
    bool written = fwrite(bytes, 1, size, file) == size;
    written = fflush(file) == 0 && written;
    written = fclose(file) == 0 && written;
    if (!written) {
        error = "cannot write " + temporary;
        remove(temporary.c_str());
        return false;
    }
    return native::moveOver(temporary, path, error);
}

bool overwriteFileRange(const std::string& path, size_t offset, const uint8_t* bytes, size_t size,
                        std::string& error) {
    FILE* file = fopen(path.c_str(), "r+b");
    if (!file) {
        error = "cannot open " + path + ": " + strerror(errno);
        return false;
    }
    bool written = fseek(file, static_cast<long>(offset), SEEK_SET) == 0 && fwrite(bytes, 1, size, file) == size;
    written = fflush(file) == 0 && written;
    written = fclose(file) == 0 && written;
    if (!written) error = "cannot write " + path;
    return written;
}

}  // namespace qzsim
