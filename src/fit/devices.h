#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

// The screens pages can be fitted to, and the parsing of the choices the
// command line and the window offer.
namespace pagelume::fit {

struct DeviceProfile {
    const char* id;    // what --fit takes: lower case, no spaces
    const char* name;  // what the window shows
    int width;         // portrait pixels
    int height;
    const char* source;  // where the figures come from
};

// Readers first (Kindle, Kobo, PocketBook, reMarkable), then tablets.
std::span<const DeviceProfile> deviceProfiles();
// The profile with this id, in any case; nullptr when there is none.
const DeviceProfile* findDevice(std::string_view id);

// A box to fit pages in, from a profile id or WIDTHxHEIGHT (16 to 16384
// each, 'x' or 'X'). std::nullopt and a message in error otherwise.
struct FitBox {
    int width = 0;
    int height = 0;
    const DeviceProfile* device = nullptr;  // when named by a profile
};
std::optional<FitBox> parseFitBox(std::string_view text, std::string* error = nullptr);

inline constexpr int kDefaultQuality = 85;
// A JPEG quality, a whole number from 1 to 100.
std::optional<int> parseQuality(std::string_view text, std::string* error = nullptr);

// The list --list-devices prints: one line per profile, id, size and name.
std::string deviceListText();

}  // namespace pagelume::fit
