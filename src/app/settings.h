#pragma once

#include <optional>
#include <string>

#include "app/paths.h"
#include "epub/book.h"

namespace pagelume::app {

// Where the program keeps its files. This is the one place that decides it.
//
// A program whose folder its user may write (a build folder, an unpacked
// copy) keeps everything beside the executable. An installed one keeps each
// user's settings in $XDG_CONFIG_HOME/pagelume and staging tree in
// $XDG_CACHE_HOME/pagelume, so that users of one copy never share them, and
// takes the container files from its installed data.
struct ProgramPaths {
    // Everything beside the executable in exeDir.
    explicit ProgramPaths(const std::string& exeDir);

    // The paths for the program in exeDir, run by the current user.
    static ProgramPaths forProgramIn(const std::string& exeDir);
    // The decision itself, for a user who may (or may not) write exeDir.
    static ProgramPaths choose(const std::string& exeDir, bool exeDirWritable,
                               const UserDirs& user);

    std::string stagingDir;  // .../epubfiles
    std::string contentDir;  // staging dir + "/OEBPS"
    std::string configFile;  // .../config.ini
    std::string readme;      // what Home opens
    // Where the staging directory's container files are copied from at
    // start-up; empty when they live in the staging directory itself.
    std::string containerSource;
};

// The remembered output folder: [Options] SavePath of config.ini.
std::string loadSavePath(const std::string& configFile);
// Creates the settings file's folder when it is missing (only the user may
// enter it). Throws pagelume::Exception("Unable to write to <file>") when it
// cannot write.
void storeSavePath(const std::string& configFile, const std::string& savePath);

// The kind of book the window makes: [Options] BookKind of config.ini,
// "default", "strict" or "fixed-layout". Without a BookKind that reads as one
// of them, StrictEpub "1" (what earlier versions wrote) means strict, and
// anything else default. Stored as storeSavePath does, with StrictEpub kept
// in step for earlier versions.
epub::BookKind loadBookKind(const std::string& configFile);
void storeBookKind(const std::string& configFile, epub::BookKind kind);

// Whether a fixed-layout book reads right to left: [Options] RightToLeft,
// "1" or "0" (anything else, or nothing, reads as off).
bool loadRightToLeft(const std::string& configFile);

// Fitting pages to a screen: [Options] FitDevice (a device id, "custom", or
// empty for the original pages), FitSize (the custom WxH) and Greyscale.
struct FitChoice {
    std::string device, size;
    bool grey = false;
};
FitChoice loadFitChoice(const std::string& configFile);
void storeFitChoice(const std::string& configFile, const FitChoice& choice);
void storeRightToLeft(const std::string& configFile, bool rightToLeft);

// An installed copy's staging folder (in a cache folder that others may
// share) is used only when it is the user's alone: it and the folder holding
// it are real folders (not links), owned by the user, and no one else may
// write them. Creates them (private) when missing. False, with a message
// naming the folder in *problem, otherwise; the program then stops. A copy
// that keeps its staging folder beside itself is not checked.
bool stagingDirectoryIsPrivate(const ProgramPaths& paths, std::string* problem);

// Where the window stood and how large it was: [Options] Window of
// config.ini, "left,top,width,height", and WindowMaximized "1" or "0".
// Anything that is not four whole numbers with a sensible size reads as
// nothing (the window opens at its usual place).
struct WindowPlacement {
    int left = 0, top = 0, width = 0, height = 0;
    bool maximized = false;
};
std::optional<WindowPlacement> loadWindowPlacement(const std::string& configFile);
void storeWindowPlacement(const std::string& configFile, const WindowPlacement& placement);

// Whether the pages show as thumbnails: [Options] Thumbnails, "1" or "0".
bool loadThumbnailView(const std::string& configFile);
void storeThumbnailView(const std::string& configFile, bool thumbnails);

// Gets the staging directory ready before anything uses it: copies the
// container files when they are kept elsewhere. False, with the reason in
// *error, when it could not; a conversion then refuses to run.
bool prepareStagingDirectory(const ProgramPaths& paths, std::string* error);

}  // namespace pagelume::app
