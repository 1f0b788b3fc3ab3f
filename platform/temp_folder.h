#pragma once
// The system's temporary folder and the few whole-file operations the
// settings files need.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace globaro {

// Result codes of the file helpers (0 is success).
inline constexpr int kFileOk = 0;
inline constexpr int kFileReadFailed = -19;   // the file could not be read to its end
inline constexpr int kFileWriteFailed = -20;  // a write, flush or final rename failed
inline constexpr int kFileNotFound = -43;     // the file (or its folder) could not be opened

// The temporary folder with a trailing separator. On Linux: TMPDIR when it
// is set and names a writable folder, else "/tmp/". On Windows: the system
// temporary path, or "C:\\Windows\\Temp\\" when the system gives none.
// Looked up on every call, never cached.
std::string tempFolder();

// Reads at most `maxBytes` bytes of a file into `bytes`. When the file is
// longer, `bytes` holds its first `maxBytes` bytes and `*clipped` (when
// given) is set. Returns kFileOk, kFileNotFound or kFileReadFailed; on
// failure `bytes` is empty.
int readWholeFile(const std::string& path, std::size_t maxBytes, std::vector<std::uint8_t>& bytes,
                  bool* clipped = nullptr);

// Writes `bytes` as the whole new content of `path`: the data go to a
// temporary sibling first, which then replaces the file, so a failed write
// never leaves a half-written file where a good one was. Returns kFileOk,
// kFileNotFound (the sibling could not be created) or kFileWriteFailed. A
// file that already holds exactly `bytes` is left as it is.
int writeWholeFile(const std::string& path, std::span<const std::uint8_t> bytes);

// An entry of a folder listing.
struct FolderEntry {
    std::string name;  // the entry's name, without its folder
    bool isDirectory = false;
    bool readOnly = false;  // the file cannot be written by us
};

// The entries of a folder (not "." and ".."), sorted by name; empty when
// the folder cannot be read.
std::vector<FolderEntry> listFolder(const std::string& folder);

// Moves a file to a new name. Fails (false) when the target exists already.
bool moveFile(const std::string& from, const std::string& to);

// Last path component ("a/b/c.q2q" gives "c.q2q") and the folder part with
// its trailing separator ("a/b/"; empty when there is none).
std::string fileNameOf(const std::string& path);
std::string folderOf(const std::string& path);

// The name without its last extension ("x.y.q2q" gives "x.y"; a name
// without a dot, or whose only dot starts it, is returned as it is).
std::string withoutLastExtension(const std::string& name);

}  // namespace globaro
