#include "epub/archive_request.h"

#include <exception>

#include "epub/book.h"
#include "zip/zip_writer.h"

namespace pagelume::epub {

bool archiveRequest(const std::string& stagingDir, const std::string& outputPath,
                    const ArchiveProgress& progress, std::string* error,
                    zip::DeflateCache* cache) {
    std::string dir = stagingDir;
    if (!dir.empty() && dir.back() == '/')
        dir.pop_back();
    try {
        zip::TZipWriter writer;
        writer.setRootDir(dir);
        writer.setRelativePaths(true);
        writer.FilesList().clear();
        writer.setZipName(outputPath);
        // Reading systems expect mimetype as the first entry, uncompressed and
        // without an extra field, so it is named first. Only what a book is
        // made of is packed: anything else that lands in the folder (a stray
        // notes.txt) stays out of every book.
        writer.FilesList().push_back("mimetype");
        writer.FilesList().push_back(dir + "/META-INF/*.*");
        writer.FilesList().push_back(dir + "/OEBPS/*.*");
        writer.NoCompressList().push_back("mimetype");
        writer.setOnProgress(progress);
        writer.setDeflateCache(cache);
        if (progress)
            progress(0, 0);
        writer.Zip();
        return true;
    } catch (const ERunInterrupted&) {
        throw;  // not a failure of the book: the run is over
    } catch (const std::exception& e) {
        if (error)
            *error = e.what();
        return false;
    } catch (...) {
        if (error)
            *error = "unknown error";
        return false;
    }
}

}  // namespace pagelume::epub
