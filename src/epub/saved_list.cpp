#include "epub/saved_list.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string_view>
#include <utility>

#include "epub/book_details.h"
#include "fit/devices.h"
#include "platform/files.h"
#include "xml/utf8.h"

namespace pagelume::epub {

namespace {

constexpr const char* kFirstLine = "pagelume list 1";
constexpr std::string_view kVersionPrefix = "pagelume list ";

constexpr std::pair<BookKind, const char*> kKinds[] = {
    {BookKind::Default, "default"},
    {BookKind::Strict, "strict"},
    {BookKind::FixedLayout, "fixed-layout"},
};

constexpr std::pair<pages::ContentKind, const char*> kContentKinds[] = {
    {pages::ContentKind::Png, "png"},  {pages::ContentKind::Jpeg, "jpeg"},
    {pages::ContentKind::Gif, "gif"},  {pages::ContentKind::Zip, "zip"},
    {pages::ContentKind::Rar, "rar"},  {pages::ContentKind::SevenZip, "7z"},
    {pages::ContentKind::Tar, "tar"},
};

bool isControl(char32_t c) {
    return c < 0x20 || c == 0x7F;
}

const char* kHex = "0123456789ABCDEF";

// A value as it goes into the file: UTF-8 text stays as it is; tab, line
// breaks, backslash, other control characters and bytes that are no UTF-8
// become escapes, so a name keeps its bytes and the file stays text.
std::string escaped(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size();) {
        const std::size_t from = i;
        const char32_t c = xml::nextChar(s, i);
        if (c == '\\')
            out += "\\\\";
        else if (c == '\t')
            out += "\\t";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else if (c == xml::kBadChar || isControl(c)) {
            const auto b = static_cast<unsigned char>(s[from]);
            out += "\\x";
            out += kHex[b >> 4];
            out += kHex[b & 15];
        } else
            out.append(s.substr(from, i - from));
    }
    return out;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// Where the reading is, for messages.
struct Reader {
    const std::string& name;
    std::size_t line = 0;

    [[noreturn]] void fail(const std::string& what) const {
        throw ESavedList(name + ", line " + std::to_string(line) + ": " + what);
    }

    std::string unescaped(std::string_view s) const {
        std::string out;
        out.reserve(s.size());
        for (std::size_t i = 0; i < s.size(); ++i) {
            if (s[i] != '\\') {
                out += s[i];
                continue;
            }
            const char e = i + 1 < s.size() ? s[i + 1] : '\0';
            ++i;
            if (e == '\\')
                out += '\\';
            else if (e == 't')
                out += '\t';
            else if (e == 'n')
                out += '\n';
            else if (e == 'r')
                out += '\r';
            else if (e == 'x' && i + 2 < s.size() && hexDigit(s[i + 1]) >= 0 &&
                     hexDigit(s[i + 2]) >= 0) {
                out += static_cast<char>(hexDigit(s[i + 1]) * 16 + hexDigit(s[i + 2]));
                i += 2;
            } else
                fail("a backslash that starts no known escape (\\\\, \\t, \\n, \\r, \\xHH)");
        }
        return out;
    }
};

// A path as the list holds it: relative when it lies in folder or below it.
std::string relativePath(const std::string& path, const std::string& folder) {
    if (path.empty())
        return path;
    std::error_code ec;
    const std::filesystem::path full = std::filesystem::absolute(path, ec);
    if (ec)
        return path;
    const std::string normal = full.lexically_normal().string();
    if (normal == folder || normal == folder + "/")
        return ".";
    if (normal.size() > folder.size() + 1 && normal.compare(0, folder.size(), folder) == 0 &&
        normal[folder.size()] == '/')
        return normal.substr(folder.size() + 1);
    return full.string();
}

std::string resolvedPath(const std::string& path, const std::string& folder) {
    if (path.empty() || path[0] == '/')
        return path;
    if (path == ".")
        return folder;
    return folder + "/" + path;
}

std::string folderOf(const std::string& listPath) {
    std::error_code ec;
    std::filesystem::path full = std::filesystem::absolute(listPath, ec);
    if (ec)
        full = listPath;
    std::string folder = full.lexically_normal().parent_path().string();
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    return folder;
}

std::vector<std::string_view> fieldsOf(std::string_view line) {
    std::vector<std::string_view> fields;
    for (std::size_t from = 0;;) {
        const std::size_t tab = line.find('\t', from);
        fields.push_back(line.substr(from, tab == std::string_view::npos ? tab : tab - from));
        if (tab == std::string_view::npos)
            return fields;
        from = tab + 1;
    }
}

// The single-valued entries, each at most once.
enum class Key {
    Title, Author, Cover, SaveFolder, Kind, RightToLeft, Fit, Grey, Language, Series,
    SeriesIndex, Description, Count
};
constexpr std::pair<Key, std::string_view> kKeys[] = {
    {Key::Title, "title"},
    {Key::Author, "author"},
    {Key::Cover, "cover"},
    {Key::SaveFolder, "save-folder"},
    {Key::Kind, "kind"},
    {Key::RightToLeft, "right-to-left"},
    {Key::Fit, "fit"},
    {Key::Grey, "grey"},
    {Key::Language, "language"},
    {Key::Series, "series"},
    {Key::SeriesIndex, "series-index"},
    {Key::Description, "description"},
};

bool yesNo(const Reader& r, const std::string& value, std::string_view key) {
    if (value == "yes" || value == "no")
        return value == "yes";
    r.fail(std::string(key) + " must be yes or no");
}

void setValue(const Reader& r, SavedList& list, Key key, std::string_view keyName,
              const std::string& value) {
    switch (key) {
        case Key::Title:
            list.title = value;
            break;
        case Key::Author:
            list.author = value;
            break;
        case Key::Cover:
            list.cover = value;
            break;
        case Key::SaveFolder:
            list.saveFolder = value;
            break;
        case Key::Kind: {
            bool known = false;
            for (const auto& [kind, name] : kKinds)
                if (value == name) {
                    list.kind = kind;
                    known = true;
                }
            if (!known)
                r.fail("unknown kind of book (default, strict or fixed-layout)");
            break;
        }
        case Key::RightToLeft:
            list.rightToLeft = yesNo(r, value, keyName);
            break;
        case Key::Fit: {
            std::string problem;
            if (!fit::parseFitBox(value, &problem))
                r.fail("fit: " + problem);
            list.fit = value;
            break;
        }
        case Key::Grey:
            list.grey = yesNo(r, value, keyName);
            break;
        case Key::Language:
            if (!isLanguageTag(value))
                r.fail("not a language tag (such as ja or fr-CA)");
            list.details.language = value;
            break;
        case Key::Series:
            list.details.series = value;
            break;
        case Key::SeriesIndex:
            if (!isSeriesIndex(value))
                r.fail("the number in the series is not a number (such as 3 or 2.5)");
            list.details.seriesIndex = value;
            break;
        case Key::Description:
            list.details.description = value;
            break;
        case Key::Count:
            break;
    }
}

void appendLine(std::string& out, std::string_view key, const std::string& value) {
    out.append(key);
    out += '\t';
    out += escaped(value);
    out += '\n';
}

}  // namespace

bool SavedList::sameAs(const SavedList& o) const {
    if (pages.size() != o.pages.size())
        return false;
    for (std::size_t i = 0; i < pages.size(); ++i)
        if (!(pages[i] == o.pages[i]) || pages[i].chapter != o.pages[i].chapter)
            return false;
    return title == o.title && author == o.author && cover == o.cover &&
           saveFolder == o.saveFolder && kind == o.kind && rightToLeft == o.rightToLeft &&
           fit == o.fit && grey == o.grey && details == o.details;
}

bool isSavedListName(const std::string& path) {
    constexpr std::string_view ext = ".pagelume";
    return path.size() > ext.size() &&
           platform::equalsNoCase(path.substr(path.size() - ext.size()), std::string(ext));
}

std::string savedListText(const SavedList& list, const std::string& folder) {
    std::string out = std::string(kFirstLine) + "\n";
    appendLine(out, "title", list.title);
    appendLine(out, "author", list.author);
    if (!list.cover.empty())
        appendLine(out, "cover", relativePath(list.cover, folder));
    if (!list.saveFolder.empty())
        appendLine(out, "save-folder", relativePath(list.saveFolder, folder));
    for (const auto& [kind, name] : kKinds)
        if (kind == list.kind)
            appendLine(out, "kind", name);
    if (list.rightToLeft)
        appendLine(out, "right-to-left", "yes");
    if (!list.fit.empty())
        appendLine(out, "fit", list.fit);
    if (list.grey)
        appendLine(out, "grey", "yes");
    const BookDetails& d = list.details;
    if (!d.language.empty())
        appendLine(out, "language", d.language);
    if (!d.series.empty())
        appendLine(out, "series", d.series);
    if (!d.seriesIndex.empty())
        appendLine(out, "series-index", d.seriesIndex);
    if (!d.description.empty())
        appendLine(out, "description", d.description);
    for (const pages::Page& page : list.pages) {
        if (page.startsChapter())
            appendLine(out, "chapter", page.chapter);
        out += "page\t";
        out += escaped(relativePath(page.file, folder));
        if (page.inArchive()) {
            out += '\t';
            out += escaped(page.member);
            for (const auto& [kind, name] : kContentKinds)
                if (kind == page.kind)
                    (out += '\t') += name;
        }
        out += '\n';
    }
    return out;
}

SavedList parseSavedList(const std::string& text, const std::string& folder,
                         const std::string& name) {
    SavedList list;
    Reader r{name};
    bool seen[static_cast<int>(Key::Count)] = {};
    std::string chapter;
    std::size_t chapterLine = 0;
    std::string_view rest = text;
    if (rest.substr(0, 3) == "\xEF\xBB\xBF")
        rest.remove_prefix(3);  // a byte order mark that an editor put there
    bool first = true;
    while (!rest.empty() || first) {
        ++r.line;
        const std::size_t end = rest.find('\n');
        std::string_view line = rest.substr(0, end);
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
        if (line.size() > kMaxSavedListLine)
            r.fail("a line longer than " + std::to_string(kMaxSavedListLine) + " bytes");
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);  // written on Windows
        for (std::size_t i = 0; i < line.size();) {
            const char32_t c = xml::nextChar(line, i);
            if (c == xml::kBadChar)
                r.fail("not UTF-8 text");
            if (c == 0)
                r.fail("a NUL byte");
            if (isControl(c) && c != '\t')
                r.fail("a control character (write it as an escape)");
        }
        if (first) {
            first = false;
            if (line == kFirstLine)
                continue;
            if (line.substr(0, kVersionPrefix.size()) == kVersionPrefix)
                r.fail("a list of a version this program does not know (it reads version 1)");
            r.fail("not a Pagelume page list (it starts with \"pagelume list 1\")");
        }
        if (line.empty() || line[0] == '#')
            continue;
        const std::vector<std::string_view> fields = fieldsOf(line);
        const std::string_view key = fields[0];
        if (key == "page") {
            if (fields.size() < 2 || fields.size() > 4)
                r.fail("a page takes a file, or an archive, its member and its kind");
            pages::Page page;
            page.file = resolvedPath(r.unescaped(fields[1]), folder);
            if (fields.size() >= 3)
                page.member = r.unescaped(fields[2]);
            if (page.file.empty())
                r.fail(fields.size() >= 3 ? "an archive member without its archive"
                                          : "a page without a file");
            if (fields.size() >= 3 && page.member.empty())
                r.fail("an archive page without its member");
            if (fields.size() == 4) {
                bool known = false;
                for (const auto& [kind, kindName] : kContentKinds)
                    if (fields[3] == kindName) {
                        page.kind = kind;
                        known = true;
                    }
                if (!known)
                    r.fail("unknown kind of page (png, jpeg, gif, zip, rar, 7z or tar)");
            }
            if (list.pages.size() >= kMaxSavedListPages)
                r.fail("more than " + std::to_string(kMaxSavedListPages) + " pages");
            page.chapter = std::move(chapter);
            chapter.clear();
            list.pages.push_back(std::move(page));
            continue;
        }
        if (fields.size() != 2)
            r.fail(std::string(fields.size() < 2 ? "no value after " : "more than one value after ") +
                   (key.size() <= 40 ? std::string(key) : "the entry"));
        const std::string value = r.unescaped(fields[1]);
        if (key == "chapter") {
            if (!chapter.empty())
                r.fail("a second chapter mark before the page the first one starts");
            if (value.empty())
                r.fail("a chapter without a title");
            chapter = value;
            chapterLine = r.line;
            continue;
        }
        Key which = Key::Count;
        for (const auto& [k, keyName] : kKeys)
            if (key == keyName)
                which = k;
        // A later version's entry may change the book; making it without that
        // change would be wrong without a word, so the list is refused.
        if (which == Key::Count)
            r.fail(key.size() <= 40 ? "unknown entry \"" + std::string(key) + "\""
                                    : std::string("unknown entry"));
        bool& once = seen[static_cast<int>(which)];
        if (once)
            r.fail(std::string(key) + " given twice");
        once = true;
        const bool isPath = which == Key::Cover || which == Key::SaveFolder;
        setValue(r, list, which, key, isPath ? resolvedPath(value, folder) : value);
    }
    if (!chapter.empty()) {
        r.line = chapterLine;
        r.fail("a chapter mark with no page after it");
    }
    return list;
}

SavedList readSavedList(const std::string& path) {
    // Not blocking: a pipe or a device named like a list must not hang the program.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        throw EInOutError(path + ": " + platform::errorText(errno));
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        throw EInOutError(path + ": " + platform::errorText(errno));
    if (!S_ISREG(st.st_mode))
        throw ESavedList(path + ": not a page list (not a regular file)");
    const auto tooLarge = [&] {
        return ESavedList(path + ": larger than 64 MiB, too large for a page list");
    };
    if (static_cast<std::uint64_t>(st.st_size) > kMaxSavedListBytes)
        throw tooLarge();
    // The file may still grow while it is read: never more than the limit.
    std::string text(static_cast<std::size_t>(st.st_size), '\0');
    std::size_t got = 0;
    for (;;) {
        if (got == text.size()) {
            if (text.size() > kMaxSavedListBytes)
                throw tooLarge();
            text.resize(std::min<std::size_t>(text.size() + 65536, kMaxSavedListBytes + 1));
        }
        const ssize_t n = ::read(fd, text.data() + got, text.size() - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throw EInOutError(path + ": " + platform::errorText(errno));
        if (n == 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    text.resize(got);
    return parseSavedList(text, folderOf(path), path);
}

void writeSavedList(const std::string& path, const SavedList& list) {
    std::string error;
    if (!platform::replaceFile(path, savedListText(list, folderOf(path)), &error))
        throw EInOutError(path + ": " + error);
}

}  // namespace pagelume::epub
