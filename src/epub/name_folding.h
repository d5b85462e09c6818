#pragma once

#include <string>

namespace pagelume::epub {

// A name in Unicode normalization form C (composed): the one spelling of an
// accented letter that every reading system and file system compares alike.
// The input is valid UTF-8; anything that cannot be normalized comes back as
// it was.
std::string composedName(const std::string& utf8);

// The form two names share when a case-insensitive, normalizing reader sees
// them as one: NFC of the full case folding. "Ä.png", "ä.png" and "a\u0308.png"
// all give the same key.
std::string foldedName(const std::string& utf8);

}  // namespace pagelume::epub
