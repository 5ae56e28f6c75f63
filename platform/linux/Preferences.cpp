// The preference file: one "name=value" a line, in
// $XDG_CONFIG_HOME/Vantrell/com.vantrell.tavro. Backslash, newline and
// carriage return are escaped in names and values ("=" too in names), so any
// skin text survives. Lines that do not parse are ignored on reading and kept
// as they are on writing: a hand-edited file never loses anything to us.

#include "platform/Preferences.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <vector>

#include "linux/PreferenceFile.h"
#include "linux/UserFolders.h"

namespace platform {
namespace {

const char* const kMakerFolder = "Vantrell";
const char* const kFileName = "com.vantrell.tavro";
// Larger files are not ours; reading them would only cost memory.
constexpr off_t kMaxFileSize = 1 << 20;

struct Location {
    std::string folder;  // the XDG config folder + "/Vantrell"
    std::string file;
};

std::optional<Location> preferenceLocation() {
    const std::string base = detail::xdgFolder("XDG_CONFIG_HOME", ".config");
    if (base.empty()) {
        return std::nullopt;
    }
    Location location;
    location.folder = base + "/" + kMakerFolder;
    location.file = location.folder + "/" + kFileName;
    return location;
}

std::string escape(const std::string& text, bool isName) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '=':
                out += isName ? "\\=" : "=";
                break;
            default:
                out += c;
        }
    }
    return out;
}

// False for anything that is not a well-formed "name=value" line.
bool parseLine(const std::string& line, std::string& name, std::string& value) {
    name.clear();
    value.clear();
    std::string* out = &name;
    bool sawSeparator = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '\\') {
            if (++i == line.size()) {
                return false;
            }
            switch (line[i]) {
                case '\\':
                    *out += '\\';
                    break;
                case 'n':
                    *out += '\n';
                    break;
                case 'r':
                    *out += '\r';
                    break;
                case '=':
                    *out += '=';
                    break;
                default:
                    return false;
            }
        } else if (c == '=' && !sawSeparator) {
            sawSeparator = true;
            out = &value;
        } else {
            *out += c;
        }
    }
    return sawSeparator && !name.empty();
}

std::vector<std::string> splitLines(const std::string& content) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < content.size()) {
        std::size_t end = content.find('\n', start);
        if (end == std::string::npos) {
            end = content.size();
        }
        std::string line = content.substr(start, end - start);
        // Tolerate a file edited with Windows line ends.
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines.push_back(std::move(line));
        start = end + 1;
    }
    return lines;
}

std::optional<std::string> readFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return std::nullopt;
    }
    std::optional<std::string> result;
    struct stat info {};
    if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size <= kMaxFileSize) {
        std::string content;
        char buffer[4096];
        for (;;) {
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n < 0) {
                content.clear();
                break;
            }
            if (n == 0) {
                result = std::move(content);
                break;
            }
            content.append(buffer, static_cast<std::size_t>(n));
            if (content.size() > static_cast<std::size_t>(kMaxFileSize)) {
                break;
            }
        }
    }
    ::close(fd);
    return result;
}

// The last line of that name wins, as in most configuration files.
std::optional<std::string> findValue(const char* name) {
    const std::optional<Location> location = preferenceLocation();
    if (!location || name == nullptr) {
        return std::nullopt;
    }
    const std::optional<std::string> content = readFile(location->file);
    if (!content) {
        return std::nullopt;
    }
    std::optional<std::string> found;
    std::string lineName;
    std::string lineValue;
    for (const std::string& line : splitLines(*content)) {
        if (parseLine(line, lineName, lineValue) && lineName == name) {
            found = lineValue;
        }
    }
    return found;
}

bool parseInt(const std::string& text, int& value) {
    if (text.empty()) {
        return false;
    }
    errno = 0;
    char* end = nullptr;
    const long long parsed = std::strtoll(text.c_str(), &end, 10);
    if (end == text.c_str() || end != text.c_str() + text.size() || errno == ERANGE ||
        parsed < INT_MIN || parsed > INT_MAX) {
        return false;
    }
    value = static_cast<int>(parsed);
    return true;
}

// Creates `folder` and whatever parents it lacks.
void makeFolders(const std::string& folder) {
    for (std::size_t slash = folder.find('/', 1); slash != std::string::npos;
         slash = folder.find('/', slash + 1)) {
        mkdir(folder.substr(0, slash).c_str(), 0700);
    }
    mkdir(folder.c_str(), 0700);
}

bool writeAll(int fd, const std::string& content) {
    std::size_t written = 0;
    while (written < content.size()) {
        const ssize_t n = ::write(fd, content.data() + written, content.size() - written);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        written += static_cast<std::size_t>(n);
    }
    return true;
}

// Writes `content` to a temporary file next to `path` and renames it over
// `path`: a reader, or the next run after a crash, sees the old file or the
// new one, never a mixture.
void replaceFile(const Location& location, const std::string& content) {
    std::string temp = location.folder + "/." + kFileName + ".XXXXXX";
    const int fd = mkostemp(&temp[0], O_CLOEXEC);
    if (fd < 0) {
        return;
    }
    const bool ok = writeAll(fd, content) && fsync(fd) == 0;
    if (::close(fd) != 0 || !ok || rename(temp.c_str(), location.file.c_str()) != 0) {
        unlink(temp.c_str());
        return;
    }
    // The rename itself is durable only once the folder is on disk.
    const int folderFd = ::open(location.folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd >= 0) {
        fsync(folderFd);
        ::close(folderFd);
    }
}

class PreferenceFileStore final : public PreferenceStore {
public:
    int readInt(const char* name, int defaultValue) override {
        const std::optional<std::string> text = findValue(name);
        int value = defaultValue;
        if (text && parseInt(*text, value)) {
            return value;
        }
        return defaultValue;
    }

    void writeInt(const char* name, int value) override { writeValue(name, std::to_string(value)); }

    void readSkin(std::string& text) override {
        const std::optional<std::string> value = findValue(kPrefSkin);
        if (!value) {
            return;
        }
        // As text, the value ends at a NUL byte, like the registry's strings.
        std::size_t length = std::strlen(value->c_str());
        if (length > static_cast<std::size_t>(kSkinMaxLength)) {
            length = kSkinMaxLength;
        }
        text.assign(value->c_str(), length);
    }

    void writeSkin(const std::string& text) override {
        writeValue(kPrefSkin, std::string(text.c_str()));
    }

private:
    void writeValue(const char* name, const std::string& value) {
        if (name == nullptr || name[0] == '\0') {
            return;
        }
        const std::optional<Location> location = preferenceLocation();
        if (!location) {
            return;
        }
        // Two writes in this process must not each start from the old file
        // and lose the other's value.
        std::lock_guard<std::mutex> lock(mutex_);
        makeFolders(location->folder);
        const std::string content = readFile(location->file).value_or(std::string());
        const std::string newLine = escape(name, true) + "=" + escape(value, false);

        std::string updated;
        bool replaced = false;
        std::string lineName;
        std::string lineValue;
        for (const std::string& line : splitLines(content)) {
            if (parseLine(line, lineName, lineValue) && lineName == name) {
                if (replaced) {
                    continue;
                }
                updated += newLine;
                replaced = true;
            } else {
                updated += line;
            }
            updated += '\n';
        }
        if (!replaced) {
            updated += newLine + '\n';
        }
        replaceFile(*location, updated);
    }

    std::mutex mutex_;
};

}  // namespace

PreferenceStore& systemPreferenceStore() {
    // Destroyed when the library is unloaded, by which time every instance
    // (and every thread of ours) is gone: a host that loads and unloads the
    // plug-in many times loses nothing.
    static PreferenceFileStore store;
    return store;
}

std::string detail::preferenceFilePath() {
    const std::optional<Location> location = preferenceLocation();
    return location ? location->file : std::string();
}

}  // namespace platform
