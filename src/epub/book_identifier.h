#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace pagelume::epub {

// SHA-1 of bytes (for name-based UUIDs only, not for anything secret).
std::array<std::uint8_t, 20> sha1(std::string_view bytes);

// A name-based UUID, version 5: SHA-1 of the namespace's 16 bytes followed
// by the name, as "xxxxxxxx-xxxx-5xxx-yxxx-xxxxxxxxxxxx" in lower case.
std::string nameBasedUuid(const std::array<std::uint8_t, 16>& nameSpace, std::string_view name);

// The identifier of a strict book: "urn:uuid:" and a name-based UUID of its
// title and author, so that the same book made again keeps its identity.
std::string bookIdentifier(const std::string& title, const std::string& author);

}  // namespace pagelume::epub
