#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// File-system services with the semantics the program was designed around:
// attribute words, sorted directory listings, MS-DOS time stamps, copies that
// never overwrite, and removal of whole trees.
namespace pagelume::platform {

constexpr uint32_t faReadOnly = 0x01;
constexpr uint32_t faHidden = 0x02;
constexpr uint32_t faSysFile = 0x04;
constexpr uint32_t faVolumeID = 0x08;
constexpr uint32_t faDirectory = 0x10;
constexpr uint32_t faArchive = 0x20;

struct DirEntry {
    std::string name;  // as listed, no directory part
    bool isDirectory = false;
    uint32_t attributes = 0;
    // errno of the stat that failed (a dangling link, an entry that vanished
    // or cannot be examined), 0 when the entry could be examined. Such an
    // entry counts as a system file.
    int statError = 0;
};

// 0x20 for a regular file (+0x01 when its owner cannot write it), 0x10 for a
// directory, +0x02 when the name starts with '.'. Symbolic links are followed;
// anything that is neither a file nor a directory counts as a system file.
// Empty when the path does not exist.
std::optional<uint32_t> fileAttributes(const std::string& path);

// The entries of a directory except "." and "..", in case-insensitive order
// (names compared upper-cased, as NTFS orders them), so that archives and
// walks are reproducible. Empty when the directory cannot be read; then
// *error (when given) receives the errno, otherwise it is set to 0.
std::vector<DirEntry> listDirectory(const std::string& dir, int* error = nullptr);

// Orders two names as listDirectory does.
bool nameLessNoCase(const std::string& a, const std::string& b);

// Local time as MS-DOS date (high 16 bits) and time (low 16 bits), two-second
// resolution. 0xFFFFFFFF when the time cannot be expressed (before 1980, after 2107).
uint32_t toDosDateTime(std::time_t t);

std::optional<std::time_t> lastWriteTime(const std::string& path);

bool fileExists(const std::string& path);       // a regular file (links followed)
bool directoryExists(const std::string& path);  // a directory (links followed)
bool pathExists(const std::string& path);

// Creates the directory and any missing parents; true when it exists afterwards.
bool createDirectories(const std::string& path);

// Which side of a copy failed: the source could not be read, or the target
// could not be created or written whole (a full disk, a quota, a read-only
// file system).
enum class CopyFault { None, Reading, Writing };

// Copies a regular file; refuses (false) when the target exists. A source
// that is not a regular file (a pipe, socket, device or directory) is refused
// without being waited on. A failed copy leaves no partial target behind and
// puts the reason into *error and the failing side into *fault (when given).
bool copyFileNoOverwrite(const std::string& source, const std::string& target,
                         std::string* error = nullptr, CopyFault* fault = nullptr);

// The system's message for an errno value.
std::string errorText(int err);

// Writes bytes to path, creating or replacing the file. False when it could
// not be written whole (the reason in *error, when given); then no partial
// file is left.
bool writeWholeFile(const std::string& path, const std::string& bytes,
                    std::string* error = nullptr);

// Replaces the file at path with bytes, whole or not at all: they go into a
// new file beside it first, which then takes its place. An existing file's
// permissions are kept. False, with the reason in *error, when it could not.
bool replaceFile(const std::string& path, const std::string& bytes, std::string* error = nullptr);

// Removes a directory with everything in it, for good. On failure returns
// false and puts the system's reason into *error (when given).
bool removeTree(const std::string& path, std::string* error = nullptr);

// The same, telling progress how far it is: entries of the directory itself
// removed, of how many (a folder among them counts once, when it is gone).
// Called now and then, and once at the end; what it throws leaves the
// removal where it is.
using TreeProgress = std::function<void(std::uint64_t done, std::uint64_t total)>;
bool removeTree(const std::string& path, std::string* error, const TreeProgress& progress);

// The last component of a path ('/' separated).
std::string fileNamePart(const std::string& path);
// Everything up to and including the last '/', or empty.
std::string directoryPart(const std::string& path);

// ASCII-only case folding, as the program's name comparisons use it.
std::string asciiUpper(std::string s);
bool equalsNoCase(const std::string& a, const std::string& b);

// Same file on disk (device and inode), for existing files.
bool sameFile(const std::string& a, const std::string& b);

// The directory that holds the running executable, without a trailing '/'.
std::string exeDir();

}  // namespace pagelume::platform
