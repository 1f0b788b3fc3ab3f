#pragma once
// Files that appear under their name only when complete. A CheckedFile is
// written beside its target under a hidden temporary name; every write is
// checked, and commit() puts the file in place only once every byte is known
// to be on disk (written, flushed, its size checked). Otherwise the target is
// left as it was and the temporary file is removed.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

namespace globaro {

class CheckedFile {
public:
    CheckedFile() = default;
    // Removes the temporary file unless it was committed.
    ~CheckedFile();
    CheckedFile(const CheckedFile&) = delete;
    CheckedFile& operator=(const CheckedFile&) = delete;

    // Creates the temporary sibling of `target` (see partialPathFor).
    // False with a one-line reason naming `target`.
    bool create(const std::string& target, std::string& error);
    bool isOpen() const { return fd_ >= 0; }
    // The temporary file being written.
    const std::filesystem::path& partialPath() const { return partial_; }

    // Writes at `offset`; returns the bytes written. A short or failed write
    // is remembered and makes commit() fail.
    std::size_t writeAt(const void* bytes, std::size_t size, std::int64_t offset);
    // Reads back at `offset` (some writers read what they wrote).
    std::size_t readAt(void* bytes, std::size_t size, std::int64_t offset) const;
    // The size of what has been written so far.
    std::int64_t size() const { return end_; }
    // Whether a write has failed, and then why, in one line naming the target.
    bool failed() const { return failure_ != 0; }
    std::string failureReason() const { return reason(failure_); }

    // Flushes the file to disk, checks its size, and renames it over the
    // target unless `cancel` (when given) has been set by then. False with a
    // one-line reason; the target is then untouched and the temporary file
    // removed.
    bool commit(std::string& error, const std::atomic<bool>* cancel = nullptr);
    // Closes and removes the temporary file.
    void abandon();

private:
    std::string reason(int code) const;

    int fd_ = -1;
    int failure_ = 0;       // errno of the first failed write, or EIO for a short one
    std::int64_t end_ = 0;  // one past the furthest byte written
    std::string target_;
    std::filesystem::path partial_;
};

// The hidden temporary sibling a file is written to before it is renamed
// into place: ".NAME.partial-PID-N.EXT" beside `target`, N counting the
// files this process has begun.
std::filesystem::path partialPathFor(const std::filesystem::path& target);

// Checks, before any work is done, that a file could be created at `target`:
// its folder exists and is writable, and `target` is not a folder. False
// with a one-line reason naming `target`.
bool checkWritableTarget(const std::string& target, std::string& error);

}  // namespace globaro
