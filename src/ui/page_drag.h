#pragma once

#include <QStringList>

class QDropEvent;
class QMimeData;
class QObject;

// What both views of the pages (rows and thumbnails) do with a drag.
namespace pagelume::ui {

// Pages of this view, files from another program, or anything else.
enum class PageDragKind { None, Rows, Files, Other };

// The local files and folders among the URLs of a drag, in its order.
QStringList localPaths(const QMimeData* mime);

// What a drag over view brings: its own pages when it started there, files
// when it comes from outside the program with local paths.
PageDragKind pageDragKind(const QObject* view, const QObject* source, const QMimeData* mime);

// Accepts a drag entering or moving over a view: files are copied, never
// moved (the file manager keeps them). A drag from outside that brings no
// file is refused as it enters (false).
bool acceptPageDrag(QDropEvent* event, PageDragKind kind, bool entering);

}  // namespace pagelume::ui
