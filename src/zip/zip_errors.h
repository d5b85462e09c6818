#pragma once

#include "platform/exception.h"

namespace pagelume::zip {

// The archive could not take all the bytes given to it (disk or quota full,
// file-size limit).
PAGELUME_DEFINE_EXCEPTION(ENotEnoughRoom, Exception);
// zlib refused a call while deflating an entry.
PAGELUME_DEFINE_EXCEPTION(EZCompressionError, Exception);

inline constexpr const char* kNotEnoughRoom = "Not enough room to write archive";
inline constexpr const char* kCompressionError = "error";
// A source file ended before the size it had when it was opened.
inline constexpr const char* kFileShrank = "the file became shorter while it was read";
// Flushing the stream before going back to a local header failed.
inline constexpr const char* kSeekError = "\nSeek error";

}  // namespace pagelume::zip
