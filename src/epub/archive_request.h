#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace pagelume::zip {
class DeflateCache;
}

namespace pagelume::epub {

// Called once before packing starts, for each file found and after each
// block written: the window feeds its progress bar and lets its events
// through here. done/total are bytes of source data; total is 0 while files
// are still being found.
using ArchiveProgress = std::function<void(std::uint64_t done, std::uint64_t total)>;

// Packs the staging directory into outputPath (a finished .epub): mimetype
// first and stored, then every file below META-INF/ and OEBPS/ deflated under
// its relative path; nothing else in the directory. True when the archive was
// written whole; false when the writer failed (an exception thrown by progress
// counts as a failure too, except ERunInterrupted, which leaves after the same
// clean-up), in which case no partial file is left and an existing file at
// outputPath is untouched. The reason of a failure goes to *error when given.
// Files whose entry data the cache (when given) made ahead are copied from it.
bool archiveRequest(const std::string& stagingDir, const std::string& outputPath,
                    const ArchiveProgress& progress, std::string* error = nullptr,
                    zip::DeflateCache* cache = nullptr);

}  // namespace pagelume::epub
