#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "pages/page.h"
#include "platform/exception.h"

// Comic archives (CBZ, CBR, CB7, CBT and their plain ZIP, RAR, 7z and tar
// forms), read with libarchive. Member names are untrusted: they are shown
// and handed to the image namer, never used as paths.
namespace pagelume::pages {

// A path given as pages holds none, or could not be opened as what it claims to be.
PAGELUME_DEFINE_EXCEPTION(ENotPageSource, Exception);

// What a file's first bytes say it is (a tar archive needs 262 of them).
ContentKind contentKindOf(const unsigned char* head, std::size_t size);
ContentKind fileContentKind(const std::string& path);
inline bool isImageKind(ContentKind k) {
    return k == ContentKind::Png || k == ContentKind::Jpeg || k == ContentKind::Gif;
}
inline bool isArchiveKind(ContentKind k) {
    return k == ContentKind::Zip || k == ContentKind::Rar || k == ContentKind::SevenZip ||
           k == ContentKind::Tar;
}

// Members larger than this are not unpacked.
inline constexpr std::uint64_t kMemberLimit = std::uint64_t{1} << 30;

struct ArchiveListing {
    // The page images, in natural order of their paths, with their kinds.
    std::vector<std::string> members;
    std::vector<ContentKind> kinds;
    // ComicInfo.xml at the top of the archive, when there is one (at most 1 MiB).
    std::optional<std::string> comicInfo;
};

// Reads an archive's table of members once. Images are the members named
// .png, .jpg, .jpeg or .gif whose first bytes do not say otherwise; hidden
// files, __MACOSX/, links, devices and names that are absolute or hold ".."
// are left out. Throws ENotPageSource with libarchive's reason when the file
// is not an archive it can read.
ArchiveListing listArchive(const std::string& path);

// One member's bytes, at most max of them; nullopt with the reason otherwise.
std::optional<std::string> readArchiveMember(const std::string& path, const std::string& member,
                                             std::size_t max, std::string* error);

// A member to unpack into a new file (created, never overwritten).
struct MemberCopy {
    std::string member;
    std::string target;
    bool done = false;         // the target holds the whole member
    bool writeFailed = false;  // the target could not be written (the disk, not the archive)
    std::string reason;        // why it is not done
};

// Unpacks the wanted members in one pass over the archive, in its own order,
// streaming each into its target; each(copy) is called once per wanted member
// as it is finished, in the archive's order, then for those not found. A
// failed copy leaves no target behind. each may throw to stop; the archive
// is closed and a partial target removed on the way out.
void extractMembers(const std::string& path, std::vector<MemberCopy>& wanted,
                    const std::function<void(const MemberCopy&)>& each);

}  // namespace pagelume::pages
