#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace pagelume::epub {

// Called after each block written and for each file found while packing.
// done/total are bytes of source data; total is 0 while files are still
// being found.
using ArchiveProgress = std::function<void(std::uint64_t done, std::uint64_t total)>;

// Packs the staging directory into outputPath (a finished .epub). True when
// the archive was written whole; false when the writer failed, in which case
// no partial file is left and an existing file at outputPath is untouched.
// The reason of a failure goes to *error when given.
bool archiveRequest(const std::string& stagingDir, const std::string& outputPath,
                    const ArchiveProgress& progress, std::string* error = nullptr);

}  // namespace pagelume::epub
