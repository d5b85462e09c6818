#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "fit/pixels.h"

// Fitting one page to a screen: decoded, turned upright, scaled down to fit
// inside the box keeping its proportions, made grey when asked, written as a
// baseline JPEG.
namespace pagelume::fit {

struct FitOptions {
    int boxWidth = 0;
    int boxHeight = 0;
    bool grey = false;
    int quality = 85;  // 1-100
    // A JPEG at least twice the size it is fitted to is decoded at a half,
    // a quarter or an eighth of its size by libjpeg: much faster, a little
    // softer than scaling all of it.
    bool shrinkOnLoad = true;
};

enum class FitStatus {
    Unchanged,  // within the box and of a format every reader shows: copy it as it is
    Written,    // the fitted JPEG was made; width and height say its size
    Failed,     // reason says why; nothing was written
    Stopped,    // stop was asked for; nothing was written
};

struct FitResult {
    FitStatus status = FitStatus::Failed;
    int width = 0;
    int height = 0;
    std::string reason;
};

struct Size {
    int width = 0;
    int height = 0;
    bool operator==(const Size&) const = default;
};

// The size a width x height page takes in the box: its own when it fits
// already, else scaled down so one side meets the box and the other stays
// within it, proportions kept, rounded to the nearest pixel, at least 1.
Size fittedSize(int width, int height, int boxWidth, int boxHeight);

// Fits the page at sourcePath and writes the JPEG to outPath (only when the
// result is Written; a failure leaves no file behind). Never throws for a
// bad page: a page that cannot be read or decoded is Failed.
FitResult fitPage(const std::string& sourcePath, const std::string& outPath,
                  const FitOptions& options, StopFlag stop = nullptr);

// The same, with the JPEG handed back in `jpeg` instead of written.
FitResult fitPageToMemory(const std::string& sourcePath, const FitOptions& options,
                          std::vector<uint8_t>& jpeg, StopFlag stop = nullptr);

// The same up to the fitted pixels, which `pixels` receives instead of being
// encoded (quality is not used): for comparing the scaling on its own.
FitResult fitPageToPixmap(const std::string& sourcePath, const FitOptions& options, Pixmap& pixels,
                          StopFlag stop = nullptr);

}  // namespace pagelume::fit
