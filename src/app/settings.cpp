#include "app/settings.h"

#include <utility>

#include "platform/exception.h"
#include "platform/files.h"
#include "platform/profile.h"

namespace pagelume::app {

ProgramPaths::ProgramPaths(const std::string& exeDir)
    : stagingDir(exeDir + "/epubfiles"),
      contentDir(stagingDir + "/OEBPS"),
      configFile(exeDir + "/config.ini"),
      readme(exeDir + "/README.md") {}

ProgramPaths ProgramPaths::forProgramIn(const std::string& exeDir) {
    return choose(exeDir, directoryWritable(exeDir), currentUserDirs());
}

ProgramPaths ProgramPaths::choose(const std::string& exeDir, bool exeDirWritable,
                                  const UserDirs& user) {
    ProgramPaths paths(exeDir);
    const std::string installedStaging = installedDataDir(exeDir) + "/epubfiles";
    const bool besideHasStaging = platform::directoryExists(paths.stagingDir);
    const bool installedLayout = !besideHasStaging && platform::directoryExists(installedStaging);
    // Root may write /usr/bin, but settings and books in the making do not
    // belong there: an installed layout counts as installed for everyone.
    if ((exeDirWritable && !installedLayout) || !user.known())
        return paths;

    paths.stagingDir = user.cacheHome + "/pagelume/epubfiles";
    paths.contentDir = paths.stagingDir + "/OEBPS";
    paths.configFile = user.configHome + "/pagelume/config.ini";
    // A read-only unpacked copy carries its own container files and README.
    paths.containerSource = installedLayout ? installedStaging : exeDir + "/epubfiles";
    if (!platform::fileExists(paths.readme))
        paths.readme = installedDocDir(exeDir) + "/README.md";
    return paths;
}

std::string loadSavePath(const std::string& configFile) {
    return platform::readProfileString(configFile, "Options", "SavePath", "");
}

namespace {

void storeOption(const std::string& configFile, const char* key, const std::string& value) {
    const std::string folder = platform::directoryPart(configFile);
    if (!folder.empty() && !platform::directoryExists(folder))
        createPrivateDirectories(folder.substr(0, folder.size() - 1));
    if (!platform::writeProfileString(configFile, "Options", key, value))
        throw Exception("Unable to write to " + configFile);
}

}  // namespace

void storeSavePath(const std::string& configFile, const std::string& savePath) {
    storeOption(configFile, "SavePath", savePath);
}

namespace {

constexpr std::pair<epub::BookKind, const char*> kKindNames[] = {
    {epub::BookKind::Default, "default"},
    {epub::BookKind::Strict, "strict"},
    {epub::BookKind::FixedLayout, "fixed-layout"},
};

}  // namespace

epub::BookKind loadBookKind(const std::string& configFile) {
    const std::string name = platform::readProfileString(configFile, "Options", "BookKind", "");
    for (const auto& [kind, known] : kKindNames) {
        if (name == known)
            return kind;
    }
    return platform::readProfileString(configFile, "Options", "StrictEpub", "0") == "1"
               ? epub::BookKind::Strict
               : epub::BookKind::Default;
}

void storeBookKind(const std::string& configFile, epub::BookKind kind) {
    storeOption(configFile, "StrictEpub", kind == epub::BookKind::Strict ? "1" : "0");
    for (const auto& [known, name] : kKindNames) {
        if (known == kind)
            storeOption(configFile, "BookKind", name);
    }
}

FitChoice loadFitChoice(const std::string& configFile) {
    FitChoice c;
    c.device = platform::readProfileString(configFile, "Options", "FitDevice", "");
    c.size = platform::readProfileString(configFile, "Options", "FitSize", "");
    c.grey = platform::readProfileString(configFile, "Options", "Greyscale", "0") == "1";
    return c;
}

// Written only once fitting was chosen, so that other settings files stay as they were.
void storeFitChoice(const std::string& configFile, const FitChoice& choice) {
    if (choice.device.empty() && choice.size.empty() && !choice.grey &&
        platform::readProfileString(configFile, "Options", "FitDevice", "").empty() &&
        platform::readProfileString(configFile, "Options", "Greyscale", "").empty())
        return;
    storeOption(configFile, "FitDevice", choice.device);
    storeOption(configFile, "FitSize", choice.size);
    storeOption(configFile, "Greyscale", choice.grey ? "1" : "0");
}

bool loadRightToLeft(const std::string& configFile) {
    return platform::readProfileString(configFile, "Options", "RightToLeft", "0") == "1";
}

void storeRightToLeft(const std::string& configFile, bool rightToLeft) {
    storeOption(configFile, "RightToLeft", rightToLeft ? "1" : "0");
}

bool stagingDirectoryIsPrivate(const ProgramPaths& paths, std::string* problem) {
    if (paths.containerSource.empty())
        return true;
    createPrivateDirectories(paths.stagingDir);
    const std::string parent = platform::directoryPart(paths.stagingDir);
    for (const std::string& dir : {parent.substr(0, parent.size() - 1), paths.stagingDir}) {
        if (!folderIsPrivate(dir)) {
            if (problem)
                *problem = "The staging folder " + dir +
                           " is not yours alone (another user owns it, others may write to it, "
                           "or it is a link). Remove it and start Pagelume again.";
            return false;
        }
    }
    return true;
}

namespace {

// A whole number of at most six digits with an optional sign, nothing else.
std::optional<int> smallNumber(const std::string& text) {
    std::size_t i = text.size() > 0 && text[0] == '-' ? 1 : 0;
    if (text.size() == i || text.size() - i > 6)
        return std::nullopt;
    int value = 0;
    for (std::size_t k = i; k < text.size(); ++k) {
        if (text[k] < '0' || text[k] > '9')
            return std::nullopt;
        value = value * 10 + (text[k] - '0');
    }
    return i ? -value : value;
}

}  // namespace

std::optional<WindowPlacement> loadWindowPlacement(const std::string& configFile) {
    const std::string text = platform::readProfileString(configFile, "Options", "Window", "");
    int values[4];
    std::size_t start = 0;
    for (int k = 0; k < 4; ++k) {
        const std::size_t comma = text.find(',', start);
        if ((k < 3) != (comma != std::string::npos))
            return std::nullopt;
        const auto n = smallNumber(text.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (!n)
            return std::nullopt;
        values[k] = *n;
        start = comma + 1;
    }
    constexpr int kLargest = 32767;
    if (values[2] <= 0 || values[3] <= 0 || values[2] > kLargest || values[3] > kLargest)
        return std::nullopt;
    WindowPlacement p{values[0], values[1], values[2], values[3], false};
    p.maximized = platform::readProfileString(configFile, "Options", "WindowMaximized", "0") == "1";
    return p;
}

void storeWindowPlacement(const std::string& configFile, const WindowPlacement& p) {
    storeOption(configFile, "Window",
                std::to_string(p.left) + "," + std::to_string(p.top) + "," +
                    std::to_string(p.width) + "," + std::to_string(p.height));
    storeOption(configFile, "WindowMaximized", p.maximized ? "1" : "0");
}

bool loadThumbnailView(const std::string& configFile) {
    return platform::readProfileString(configFile, "Options", "Thumbnails", "0") == "1";
}

void storeThumbnailView(const std::string& configFile, bool thumbnails) {
    storeOption(configFile, "Thumbnails", thumbnails ? "1" : "0");
}

bool prepareStagingDirectory(const ProgramPaths& paths, std::string* error) {
    if (paths.containerSource.empty())
        return true;
    return syncContainerFiles(paths.containerSource, paths.stagingDir, error);
}

}  // namespace pagelume::app
