#include "platform/checked_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>

namespace globaro {

namespace {

// The system's text for an error number, starting in lower case so that it
// reads on after a colon.
std::string systemReason(int code) {
    std::string text = std::generic_category().message(code);
    if (!text.empty()) text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
    return text;
}

std::string cannotWrite(const std::string& target, const std::string& why) {
    return "cannot write \"" + target + "\": " + why;
}

// Flushes the folder's entry of a renamed file, so that the new name
// survives a crash as well as the data. Some file systems cannot; that is
// not a failure of the write.
void flushFolder(const std::filesystem::path& file) {
    std::filesystem::path folder = file.parent_path();
    if (folder.empty()) folder = ".";
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

// A device, a pipe or a socket under the target's name would be replaced by
// the rename, not written: such a target is refused.
bool isSpecialFile(const std::string& target) {
    std::error_code ec;
    const auto status = std::filesystem::status(target, ec);
    return !ec && std::filesystem::exists(status) && !std::filesystem::is_regular_file(status) &&
           !std::filesystem::is_directory(status);
}

}  // namespace

std::filesystem::path partialPathFor(const std::filesystem::path& target) {
    // The process id and a count keep the names of simultaneous writers apart.
    static std::atomic<unsigned> count{0};
    std::string name = ".";
    name += target.stem().string();
    name += ".partial-";
    name += std::to_string(::getpid());
    name += "-";
    name += std::to_string(count.fetch_add(1));
    name += target.extension().string();
    std::filesystem::path partial = target;
    partial.replace_filename(name);
    return partial;
}

bool checkWritableTarget(const std::string& target, std::string& error) {
    const std::filesystem::path path(target);
    if (path.filename().empty()) {
        error = cannotWrite(target, "it names a folder, not a file");
        return false;
    }
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
        error = cannotWrite(target, "it is a folder");
        return false;
    }
    if (isSpecialFile(target)) {
        error = cannotWrite(target, "it is not a regular file");
        return false;
    }
    std::filesystem::path folder = path.parent_path();
    const bool here = folder.empty();
    if (here) folder = ".";
    if (!std::filesystem::is_directory(folder, ec)) {
        error = cannotWrite(target, std::filesystem::exists(folder, ec)
                                        ? "\"" + folder.string() + "\" is not a folder"
                                        : "the folder \"" + folder.string() + "\" does not exist");
        return false;
    }
    if (::access(folder.c_str(), W_OK | X_OK) != 0) {
        error = cannotWrite(target, here ? "the current folder is not writable"
                                         : "the folder \"" + folder.string() + "\" is not writable");
        return false;
    }
    return true;
}

CheckedFile::~CheckedFile() { abandon(); }

bool CheckedFile::create(const std::string& target, std::string& error) {
    abandon();
    target_ = target;
    partial_ = partialPathFor(target);
    failure_ = 0;
    end_ = 0;
    if (isSpecialFile(target)) {
        error = cannotWrite(target, "it is not a regular file");
        return false;
    }
    fd_ = ::open(partial_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd_ < 0) {
        error = cannotWrite(target, systemReason(errno));
        return false;
    }
    return true;
}

std::size_t CheckedFile::writeAt(const void* bytes, std::size_t size, std::int64_t offset) {
    if (fd_ < 0 || failure_ != 0) return 0;
    const auto* p = static_cast<const std::uint8_t*>(bytes);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::pwrite(fd_, p + done, size - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            failure_ = n < 0 ? errno : EIO;
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    if (done > 0) end_ = std::max<std::int64_t>(end_, offset + static_cast<std::int64_t>(done));
    return done;
}

std::size_t CheckedFile::readAt(void* bytes, std::size_t size, std::int64_t offset) const {
    if (fd_ < 0) return 0;
    auto* p = static_cast<std::uint8_t*>(bytes);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::pread(fd_, p + done, size - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    return done;
}

std::string CheckedFile::reason(int code) const { return cannotWrite(target_, systemReason(code)); }

bool CheckedFile::commit(std::string& error, const std::atomic<bool>* cancel) {
    if (fd_ < 0) {
        error = cannotWrite(target_, "the file is not open");
        return false;
    }
    if (failure_ != 0) {
        error = reason(failure_);
        abandon();
        return false;
    }
    if (::fsync(fd_) != 0) {
        error = reason(errno);
        abandon();
        return false;
    }
    struct stat st {};
    if (::fstat(fd_, &st) != 0 || st.st_size != end_) {
        error = cannotWrite(target_, "the file on disk is not the size written");
        abandon();
        return false;
    }
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) {
        error = reason(errno);
        std::remove(partial_.c_str());
        return false;
    }
    if (cancel != nullptr && cancel->load()) {
        error = cannotWrite(target_, "stopped");
        std::remove(partial_.c_str());
        return false;
    }
    if (::rename(partial_.c_str(), target_.c_str()) != 0) {
        error = reason(errno);
        std::remove(partial_.c_str());
        return false;
    }
    flushFolder(std::filesystem::path(target_));
    partial_.clear();
    return true;
}

void CheckedFile::abandon() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!partial_.empty()) {
        std::remove(partial_.c_str());
        partial_.clear();
    }
}

}  // namespace globaro
