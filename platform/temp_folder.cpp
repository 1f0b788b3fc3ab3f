#include "platform/temp_folder.h"

#include "platform/checked_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace globaro {

namespace {

bool isSeparator(char c) {
#ifdef _WIN32
    return c == '/' || c == '\\' || c == ':';
#else
    return c == '/';
#endif
}

}  // namespace

std::string tempFolder() {
#ifdef _WIN32
    char buffer[MAX_PATH + 1] = {};
    DWORD n = GetTempPathA(static_cast<DWORD>(sizeof buffer), buffer);
    if (n == 0 || n > MAX_PATH) return "C:\\Windows\\Temp\\";
    std::string folder(buffer, n);
    if (!isSeparator(folder.back())) folder.push_back('\\');
    return folder;
#else
    const char* env = std::getenv("TMPDIR");
    if (env != nullptr && env[0] != '\0') {
        struct stat info {};
        if (::stat(env, &info) == 0 && S_ISDIR(info.st_mode) && ::access(env, W_OK | X_OK) == 0) {
            std::string folder(env);
            if (folder.back() != '/') folder.push_back('/');
            return folder;
        }
    }
    return "/tmp/";
#endif
}

int readWholeFile(const std::string& path, std::size_t maxBytes, std::vector<std::uint8_t>& bytes, bool* clipped) {
    bytes.clear();
    if (clipped != nullptr) *clipped = false;
    // Only plain files: a pipe or a device would block or never end.
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (ec || !std::filesystem::exists(status)) return kFileNotFound;
    if (!std::filesystem::is_regular_file(status)) return kFileReadFailed;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return kFileNotFound;
    std::uint8_t chunk[16384];
    int result = kFileOk;
    for (;;) {
        std::size_t room = maxBytes - bytes.size();
        std::size_t want = room < sizeof chunk ? room : sizeof chunk;
        if (want == 0) {
            // At the cap: find out whether anything follows.
            if (std::fgetc(file) != EOF && clipped != nullptr) *clipped = true;
            break;
        }
        std::size_t got = std::fread(chunk, 1, want, file);
        bytes.insert(bytes.end(), chunk, chunk + got);
        if (got < want) {
            if (std::ferror(file)) result = kFileReadFailed;
            break;
        }
    }
    std::fclose(file);
    if (result != kFileOk) bytes.clear();
    return result;
}

#ifndef _WIN32
namespace {

// True when `path` is a regular file that holds exactly `bytes`, now on
// disk: a run that leaves its state as it found it (every frame of a batch
// with the same settings) then neither replaces the file nor waits for a
// new copy to reach the disk. Anything unusual answers false, and the file
// is written as usual.
bool holdsBytes(const std::string& path, std::span<const std::uint8_t> bytes) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return false;
    struct stat info {};
    bool same =
        ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && static_cast<std::uint64_t>(info.st_size) == bytes.size();
    std::vector<std::uint8_t> held(same ? bytes.size() : 0);
    std::size_t got = 0;
    while (same && got < held.size()) {
        const ssize_t n = ::read(fd, held.data() + got, held.size() - got);
        if (n <= 0) {
            same = false;
            break;
        }
        got += static_cast<std::size_t>(n);
    }
    same = same && std::equal(held.begin(), held.end(), bytes.begin());
    // What an earlier writer left unflushed goes to the disk now; a clean
    // file returns at once.
    same = same && ::fsync(fd) == 0;
    ::close(fd);
    return same;
}

}  // namespace
#endif

int writeWholeFile(const std::string& path, std::span<const std::uint8_t> bytes) {
#ifdef _WIN32
    std::string temp = path + ".partial";
    std::FILE* file = std::fopen(temp.c_str(), "wb");
    if (file == nullptr) return kFileNotFound;
    bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    ok = (std::fflush(file) == 0) && ok;
    ok = (std::fclose(file) == 0) && ok;
    if (ok) ok = MoveFileExA(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
    if (!ok) {
        std::remove(temp.c_str());
        return kFileWriteFailed;
    }
    return kFileOk;
#else
    if (holdsBytes(path, bytes)) return kFileOk;
    CheckedFile file;
    std::string error;
    if (!file.create(path, error)) return kFileNotFound;
    if (!bytes.empty() && file.writeAt(bytes.data(), bytes.size(), 0) != bytes.size()) return kFileWriteFailed;
    return file.commit(error) ? kFileOk : kFileWriteFailed;
#endif
}

std::vector<FolderEntry> listFolder(const std::string& folder) {
    std::vector<FolderEntry> entries;
    std::error_code error;
    std::filesystem::directory_iterator it(folder.empty() ? std::string(".") : folder, error);
    if (error) return entries;
    for (const std::filesystem::directory_iterator end; it != end; it.increment(error)) {
        if (error) break;
        FolderEntry entry;
        entry.name = it->path().filename().string();
        std::error_code statusError;
        entry.isDirectory = it->is_directory(statusError);
#ifdef _WIN32
        DWORD attributes = GetFileAttributesA(it->path().string().c_str());
        entry.readOnly = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
#else
        // Read-only like the file attribute: no write permission for anyone,
        // or none for us (root may write anything, but not such a file).
        struct stat info {};
        entry.readOnly = ::stat(it->path().c_str(), &info) != 0 || (info.st_mode & 0222) == 0 ||
                         ::access(it->path().c_str(), W_OK) != 0;
#endif
        entries.push_back(std::move(entry));
    }
    std::sort(entries.begin(), entries.end(),
              [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
    return entries;
}

bool moveFile(const std::string& from, const std::string& to) {
#ifdef _WIN32
    return MoveFileA(from.c_str(), to.c_str()) != 0;
#else
    // link + unlink moves without ever replacing an existing target.
    if (::link(from.c_str(), to.c_str()) != 0) return false;
    ::unlink(from.c_str());
    return true;
#endif
}

std::string fileNameOf(const std::string& path) {
    std::size_t i = path.size();
    while (i > 0 && !isSeparator(path[i - 1])) --i;
    return path.substr(i);
}

std::string folderOf(const std::string& path) {
    std::size_t i = path.size();
    while (i > 0 && !isSeparator(path[i - 1])) --i;
    return path.substr(0, i);
}

std::string withoutLastExtension(const std::string& name) {
    std::size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0) return name;
    for (std::size_t i = dot; i < name.size(); ++i)
        if (isSeparator(name[i])) return name;
    return name.substr(0, dot);
}

}  // namespace globaro
