#include "fit/devices.h"

#include <array>
#include <cctype>
#include <cstdio>

namespace pagelume::fit {

namespace {

// Screen sizes from the makers' published specifications of each device.
constexpr std::array kProfiles = {
    DeviceProfile{"kindle", "Kindle (2022)", 1072, 1448,
                  "Amazon, Kindle (11th generation) technical details"},
    DeviceProfile{"kindle-paperwhite-5", "Kindle Paperwhite (2021)", 1236, 1648,
                  "Amazon, Kindle Paperwhite (11th generation) technical details"},
    DeviceProfile{"kindle-paperwhite-6", "Kindle Paperwhite (2024)", 1264, 1680,
                  "Amazon, Kindle Paperwhite (12th generation) technical details"},
    DeviceProfile{"kindle-colorsoft", "Kindle Colorsoft", 1264, 1680,
                  "Amazon, Kindle Colorsoft technical details"},
    DeviceProfile{"kindle-oasis", "Kindle Oasis (2019)", 1264, 1680,
                  "Amazon, Kindle Oasis (10th generation) technical details"},
    DeviceProfile{"kindle-scribe", "Kindle Scribe", 1860, 2480,
                  "Amazon, Kindle Scribe technical details"},
    DeviceProfile{"kobo-clara", "Kobo Clara BW / Colour / 2E", 1072, 1448,
                  "Rakuten Kobo, eReader specifications"},
    DeviceProfile{"kobo-libra", "Kobo Libra 2 / Colour", 1264, 1680,
                  "Rakuten Kobo, eReader specifications"},
    DeviceProfile{"kobo-sage", "Kobo Sage", 1440, 1920, "Rakuten Kobo, eReader specifications"},
    DeviceProfile{"kobo-elipsa", "Kobo Elipsa 2E", 1404, 1872,
                  "Rakuten Kobo, eReader specifications"},
    DeviceProfile{"kobo-nia", "Kobo Nia", 758, 1024, "Rakuten Kobo, eReader specifications"},
    DeviceProfile{"pocketbook-verse-pro", "PocketBook Verse Pro", 1072, 1448,
                  "PocketBook, Verse Pro specifications"},
    DeviceProfile{"pocketbook-era", "PocketBook Era", 1264, 1680, "PocketBook, Era specifications"},
    DeviceProfile{"pocketbook-inkpad-4", "PocketBook InkPad 4", 1404, 1872,
                  "PocketBook, InkPad 4 specifications"},
    DeviceProfile{"pocketbook-inkpad-x-pro", "PocketBook InkPad X Pro", 1404, 1872,
                  "PocketBook, InkPad X Pro specifications"},
    DeviceProfile{"remarkable-2", "reMarkable 2", 1404, 1872,
                  "reMarkable, reMarkable 2 tech specs"},
    DeviceProfile{"remarkable-paper-pro", "reMarkable Paper Pro", 1620, 2160,
                  "reMarkable, Paper Pro tech specs"},
    DeviceProfile{"ipad", "iPad (10th generation)", 1640, 2360,
                  "Apple, iPad technical specifications"},
    DeviceProfile{"ipad-mini", "iPad mini (6th generation)", 1488, 2266,
                  "Apple, iPad mini technical specifications"},
    DeviceProfile{"ipad-pro-11", "iPad Pro 11-inch (M4)", 1668, 2420,
                  "Apple, iPad Pro technical specifications"},
    DeviceProfile{"ipad-pro-13", "iPad Pro 13-inch (M4)", 2064, 2752,
                  "Apple, iPad Pro technical specifications"},
    DeviceProfile{"galaxy-tab-s9", "Samsung Galaxy Tab S9", 1600, 2560,
                  "Samsung, Galaxy Tab S9 specifications"},
    DeviceProfile{"galaxy-tab-a9-plus", "Samsung Galaxy Tab A9+", 1200, 1920,
                  "Samsung, Galaxy Tab A9+ specifications"},
    DeviceProfile{"fire-hd-10", "Amazon Fire HD 10 (2023)", 1200, 1920,
                  "Amazon, Fire HD 10 technical details"},
    DeviceProfile{"fire-hd-8", "Amazon Fire HD 8 (2022)", 800, 1280,
                  "Amazon, Fire HD 8 technical details"},
};

constexpr int kMinSide = 16;
constexpr int kMaxSide = 16384;

bool sameId(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// A whole number of digits only; false past `limit`.
bool parseNumber(std::string_view text, int limit, int& value) {
    if (text.empty())
        return false;
    long n = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        n = n * 10 + (c - '0');
        if (n > limit)
            return false;
    }
    value = static_cast<int>(n);
    return true;
}

void setError(std::string* error, std::string text) {
    if (error)
        *error = std::move(text);
}

}  // namespace

std::span<const DeviceProfile> deviceProfiles() {
    return kProfiles;
}

const DeviceProfile* findDevice(std::string_view id) {
    for (const DeviceProfile& p : kProfiles)
        if (sameId(p.id, id))
            return &p;
    return nullptr;
}

std::optional<FitBox> parseFitBox(std::string_view text, std::string* error) {
    if (const DeviceProfile* p = findDevice(text))
        return FitBox{p->width, p->height, p};
    const size_t x = text.find_first_of("xX");
    int w = 0, h = 0;
    if (x != std::string_view::npos && parseNumber(text.substr(0, x), kMaxSide, w) &&
        parseNumber(text.substr(x + 1), kMaxSide, h)) {
        if (w >= kMinSide && h >= kMinSide)
            return FitBox{w, h, nullptr};
        setError(error, "A screen is at least " + std::to_string(kMinSide) + " pixels each way");
        return std::nullopt;
    }
    if (x != std::string_view::npos && !text.empty() &&
        std::isdigit(static_cast<unsigned char>(text[0])))
        setError(error, "Not a screen size from " + std::to_string(kMinSide) + "x" +
                            std::to_string(kMinSide) + " to " + std::to_string(kMaxSide) + "x" +
                            std::to_string(kMaxSide) + ": " + std::string(text));
    else
        setError(error, "Unknown device \"" + std::string(text) +
                            "\" (--list-devices shows them, or give WIDTHxHEIGHT)");
    return std::nullopt;
}

std::optional<int> parseQuality(std::string_view text, std::string* error) {
    int q = 0;
    if (parseNumber(text, 100, q) && q >= 1)
        return q;
    setError(error,
             "The quality is a whole number from 1 to 100, not \"" + std::string(text) + "\"");
    return std::nullopt;
}

std::string deviceListText() {
    std::string out;
    char line[160];
    for (const DeviceProfile& p : kProfiles) {
        std::snprintf(line, sizeof line, "%-24s %5d x %-5d %s\n", p.id, p.width, p.height, p.name);
        out += line;
    }
    return out;
}

}  // namespace pagelume::fit
