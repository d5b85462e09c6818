#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "xml/dom.h"

namespace pagelume::xml::dom {

// A file written the safe way: into a hidden temporary file beside path,
// which takes path's place only when commit() has put every byte on disk.
// Destroyed uncommitted, it removes the temporary file, so a failed save
// leaves any earlier file untouched. Failures throw EDOMError naming path.
class OutputFile {
public:
    explicit OutputFile(std::string path);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    const std::string& path() const { return path_; }
    void write(std::string_view bytes);
    void commit();

private:
    [[noreturn]] void failed(int error);

    std::string path_;
    std::string temp_;
    int fd_ = -1;
};

// Writes a document while it is still being built, so that what is finished
// stops taking memory: the bytes come out exactly as serialize() would write
// the whole tree. Whatever comes before a node in document order no longer
// changes once the node is there (a builder only ever appends), so
// writeBefore() writes it, takes it out of the tree and frees it; what is
// left is the line of elements from the root to the node, whose start tags
// are written and which take no further attributes, and their children from
// there on.
class DocumentStream {
public:
    // released hears of every node just before it is freed.
    DocumentStream(Document& doc, std::string path, std::function<void(const Node*)> released = {});

    const std::string& path() const { return file_.path(); }
    // Writes and frees what comes before node, a child of an element of the
    // document (nothing when the node is not in the document).
    void writeBefore(const Node* node);
    // Whether the start tag of an element has been written.
    bool started(const Node* element) const;
    // Whether anything has been written: the declaration is final then.
    bool begun() const { return begun_; }
    // Writes the rest of the document, which is left empty, and puts the file
    // in its place.
    void finish();

private:
    void writeTop(Node* node, bool startOnly);
    void writeStartTag(Node* element);
    void writeAndFree(Node* node);
    void closeDeepest();
    void spill(bool all);

    Document& doc_;
    OutputFile file_;
    std::function<void(const Node*)> released_;
    std::vector<Node*> open_;  // started elements, from the root down
    std::vector<const Node*> path_;
    std::string out_;
    bool begun_ = false;
};

}  // namespace pagelume::xml::dom
