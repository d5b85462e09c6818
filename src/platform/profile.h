#pragma once

#include <string>

// INI files read and written the way the classic private-profile calls do:
// only the one key is touched, every other byte of the file stays as it was,
// and the file, section and key are created when missing.
namespace pagelume::platform {

// Values longer than this arrive cut to this many bytes.
constexpr std::size_t kProfileValueMax = 2047;

// The value of key in section (both matched without regard to case), or
// defaultValue when the file, section or key is missing or unreadable.
std::string readProfileString(const std::string& file, const std::string& section,
                              const std::string& key, const std::string& defaultValue);

// Sets key in section to value. Returns false when the file cannot be read
// back or written; the old file is then left as it was.
bool writeProfileString(const std::string& file, const std::string& section, const std::string& key,
                        const std::string& value);

}  // namespace pagelume::platform
