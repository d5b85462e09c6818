#pragma once

#include <functional>
#include <string>

// The folders of an installed program and of its user, after the freedesktop
// conventions. Plain C++ and POSIX; ProgramPaths (settings.h) decides with them.
namespace pagelume::app {

// A user's own folders for settings and for files that may be thrown away.
struct UserDirs {
    std::string configHome;  // $XDG_CONFIG_HOME, else $HOME/.config
    std::string cacheHome;   // $XDG_CACHE_HOME, else $HOME/.cache
    bool known() const { return !configHome.empty() && !cacheHome.empty(); }
};

using Environment = std::function<const char*(const char*)>;

// The user's folders from the environment. A relative or empty XDG value is
// ignored, as the base directory rules say; without HOME the password
// database gives the home folder. Both stay empty when no home can be found.
UserDirs userDirsFrom(const Environment& env);
UserDirs currentUserDirs();

// Where an installed copy in exeDir (<prefix>/bin) finds its data and
// documentation: <prefix>/share/pagelume and <prefix>/share/doc/pagelume.
std::string installedDataDir(const std::string& exeDir);
std::string installedDocDir(const std::string& exeDir);

// True when the current user may create files in dir.
bool directoryWritable(const std::string& dir);

// Creates the directory and any missing parents; the ones it creates only the
// user may enter, since settings and books in the making are private. True
// when the directory exists afterwards.
bool createPrivateDirectories(const std::string& path);

// True when path is a folder itself (not a link to one), owned by the
// current user, that no one else may write.
bool folderIsPrivate(const std::string& path);

// The staging directory's container files, relative to it.
inline constexpr const char* kContainerFiles[] = {"mimetype", "META-INF/container.xml"};

// Copies each container file from sourceDir into stagingDir when it is missing
// there or differs. A file is replaced in one step (written beside it, then
// renamed), so a copy that starts at the same moment never reads half of one.
// False, with the reason in *error, when a file could not be put in place.
bool syncContainerFiles(const std::string& sourceDir, const std::string& stagingDir,
                        std::string* error);

}  // namespace pagelume::app
